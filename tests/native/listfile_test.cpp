#include "listfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qp {
namespace {

std::vector<std::string> Split(const std::string& data, std::size_t chunk) {
  std::vector<std::string> out;
  ListFileReader reader([&](const std::string& e) { out.push_back(e); });
  for (std::size_t i = 0; i < data.size(); i += chunk) {
    reader.Feed(data.data() + i, std::min(chunk, data.size() - i));
  }
  reader.Finish();
  return out;
}

struct Case {
  const char* name;
  std::string data;
  std::vector<std::string> entries;
};

TEST(ListFileReader, SplitsLinesWholeAndRefusesWhatCannotFitASlot) {
  const std::string s29(29, 'a'), s30(30, 'b'), s31(31, 'c'), s40(40, 'd');
  const std::vector<Case> cases = {
      {"LF", "one.example\ntwo.example\n", {"one.example", "two.example"}},
      {"CRLF", "one.example\r\ntwo.example\r\n", {"one.example", "two.example"}},
      {"no final line end", "one.example\r\ntwo.example", {"one.example", "two.example"}},
      {"empty lines skipped", "\n\r\none\n\n\r\n", {"one"}},
      {"29, 30 and 31 characters", s29 + "\n" + s30 + "\r\n" + s31 + "\n", {s29, s30}},
      {"long line refused whole", s40 + "\nafter\n", {"after"}},
      {"long last line", "x\n" + s40, {"x"}},
      {"zero byte refuses the line", std::string("ba\0d\nok\n", 8), {"ok"}},
      {"lone CR stays in the middle", "a\rb\n", {"a\rb"}},
      {"empty file", "", {}},
  };
  for (const Case& c : cases) {
    for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      EXPECT_EQ(Split(c.data, chunk), c.entries) << c.name << ", chunk " << chunk;
    }
  }
}

TEST(ListFileReader, BinaryGarbageYieldsOnlyShortLines) {
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  for (const std::string& e : Split(garbage, 333)) {
    EXPECT_FALSE(e.empty());
    EXPECT_LE(e.size(), 30u);
    EXPECT_EQ(e.find('\0'), std::string::npos);
    EXPECT_EQ(e.find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace qp
