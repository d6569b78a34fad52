// The portable core: list scans and host extraction. Built natively and for
// Windows, so the same figures come from both.
#include <string>
#include <vector>

#include "benchutil.h"
#include "hostpattern.h"
#include "slotlist.h"

using namespace qp;

namespace {

std::vector<std::uint8_t> FullList(std::uint32_t capacity, SlotSpan& slots) {
  std::vector<std::uint8_t> block(capacity * kSlotSize);
  slots = SlotSpan(block.data(), capacity);
  for (std::uint32_t i = 0; i < capacity; ++i) slots.Store(("host" + std::to_string(i) + ".example.com").c_str());
  return block;
}

}  // namespace

int main() {
  std::printf("core (%s)\n",
#ifdef _WIN32
              "Windows build"
#else
              "native build"
#endif
  );
  SlotSpan big(nullptr, 0);
  auto bigBlock = FullList(kListCapacity[1], big);
  bench::Time("Find, full list of 1920, text absent", 21, 200,
              [&] { bench::Keep(big.FindIndex("absent.example.com", CompareAsciiNoCase)); });
  bench::Time("Find, full list of 1920, last entry", 21, 200,
              [&] { bench::Keep(big.FindIndex("HOST1919.example.com", CompareAsciiNoCase)); });

  const auto compileStart = std::chrono::steady_clock::now();
  const HostPatterns patterns;
  const std::string first = patterns.Extract("http://www.example.com/index.html");
  const auto compileEnd = std::chrono::steady_clock::now();
  bench::Report("first host extraction (patterns compiled)",
                std::chrono::duration<double, std::nano>(compileEnd - compileStart).count());
  bench::Time("later host extraction", 21, 1000,
              [&] { bench::Keep(patterns.Extract("http://www.example.com/index.html")); });

  SlotSpan white(nullptr, 0);
  auto whiteBlock = FullList(kListCapacity[kWhiteList], white);
  bench::Time("white-list test (host + scan of 128), host absent", 21, 1000, [&] {
    const std::string host = patterns.Extract("http://www.absent.example/page.html");
    bench::Keep(white.FindIndex(host.c_str(), CompareAsciiNoCase));
  });
  return 0;
}
