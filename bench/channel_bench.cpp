// The shared channel under Windows: the host lists behind their named
// mutexes and the white-list test as the extension calls it.
#include <windows.h>

#include <string>

#include "benchutil.h"
#include "dllcomm.h"
#include "urlop.h"

using namespace qp;

int main() {
  CreateChannelLocks();
  if (!InitShareInfo()) {
    std::fprintf(stderr, "the shared region could not be mapped\n");
    return 1;
  }
  std::printf("shared channel (Windows build)\n");
  UrlList& big = GetUrlList(1);
  big.Clear();
  for (std::uint32_t i = 0; i < big.capacity(); ++i) big.Add(("host" + std::to_string(i) + ".example.com").c_str());
  bench::Time("UrlList::Find, full list of 1920, text absent", 21, 100,
              [&] { bench::Keep(big.Find("absent.example.com")); });

  const auto compileStart = std::chrono::steady_clock::now();
  bench::Keep(browser::GetUrlHost("http://www.example.com/"));
  const auto compileEnd = std::chrono::steady_clock::now();
  bench::Report("first browser::GetUrlHost (patterns compiled)",
                std::chrono::duration<double, std::nano>(compileEnd - compileStart).count());
  bench::Time("later browser::GetUrlHost", 21, 1000,
              [&] { bench::Keep(browser::GetUrlHost("http://www.example.com/")); });

  UrlList& white = GetUrlList(kWhiteList);
  white.Clear();
  for (std::uint32_t i = 0; i < white.capacity(); ++i) white.Add(("host" + std::to_string(i) + ".example.com").c_str());
  bench::Time("IsUrlWhiteListed, full white list, host absent", 21, 1000,
              [&] { bench::Keep(IsUrlWhiteListed(L"http://www.absent.example/page.html")); });
  bench::Time("IsUrlWhiteListed, full white list, last entry", 21, 1000,
              [&] { bench::Keep(IsUrlWhiteListed(L"http://HOST127.example.com/page.html")); });
  big.Clear();
  white.Clear();
  ReleaseShareInfo();
  DeleteChannelLocks();
  return 0;
}
