#include "slotlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qp {
namespace {

struct Block {
  explicit Block(std::uint32_t capacity) : bytes(capacity * kSlotSize, 0), slots(bytes.data(), capacity) {}
  std::vector<std::uint8_t> bytes;
  SlotSpan slots;
};

TEST(SlotSpan, StoresInLowestFreeSlotAndFindsWithoutCase) {
  Block b(4);
  ASSERT_TRUE(b.slots.Store("a.example"));
  ASSERT_TRUE(b.slots.Store("b.example"));
  ASSERT_TRUE(b.slots.Store("c.example"));
  EXPECT_EQ(b.slots.FindIndex("B.EXAMPLE", CompareAsciiNoCase), 1);
  EXPECT_EQ(b.slots.FindIndex("www.b.example", CompareAsciiNoCase), -1);
  b.slots.Free(1);
  EXPECT_EQ(b.slots.FindIndex("b.example", CompareAsciiNoCase), -1);
  ASSERT_TRUE(b.slots.Store("d.example"));
  EXPECT_EQ(b.slots.FindIndex("d.example", CompareAsciiNoCase), 1);  // the gap, not the end
  ASSERT_TRUE(b.slots.Store("e.example"));
  EXPECT_FALSE(b.slots.Store("f.example"));  // full
  std::vector<std::string> all;
  b.slots.AppendEntries(all);
  EXPECT_EQ(all, (std::vector<std::string>{"a.example", "d.example", "c.example", "e.example"}));
}

TEST(SlotSpan, RefusesTextsThatDoNotFitASlot) {
  Block b(2);
  EXPECT_FALSE(b.slots.Store(""));
  EXPECT_FALSE(b.slots.Store(std::string(31, 'x').c_str()));
  EXPECT_TRUE(b.slots.Store(std::string(30, 'x').c_str()));
  EXPECT_EQ(b.bytes[kSlotSize], 0) << "nothing written into the next slot";
  EXPECT_FALSE(IsSearchableText(""));
  EXPECT_TRUE(IsSearchableText(std::string(31, 'x').c_str()));
  EXPECT_FALSE(IsSearchableText(std::string(32, 'x').c_str()));
}

TEST(SlotSpan, ReadsAreBoundedByTheSlotWhateverAnotherProcessWrote) {
  Block b(2);
  std::memset(b.bytes.data(), 'Z', b.bytes.size());  // markers set, no zero byte anywhere
  std::vector<std::string> all;
  b.slots.AppendEntries(all);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0], std::string(31, 'Z'));
  EXPECT_EQ(b.slots.FindIndex(std::string(31, 'z').c_str(), CompareAsciiNoCase), 0);
  b.slots.Clear();
  all.clear();
  b.slots.AppendEntries(all);
  EXPECT_TRUE(all.empty());
}

}  // namespace
}  // namespace qp
