// The extension's host extraction and white-list test.
#include <windows.h>

#include <memory>

#include "core/hostpattern.h"
#include "dllcomm.h"
#include "urlop.h"

namespace qp {

namespace {
std::unique_ptr<HostPatterns> g_patterns;  // compiled on first use, kept for the process

const HostPatterns* Patterns() {
  CriticalSectionLock lock(HostPatternLock());
  if (!g_patterns) g_patterns = std::make_unique<HostPatterns>();
  return g_patterns.get();
}

std::string ToAnsi(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size) - 1);
  return out;
}
}  // namespace

std::string browser::GetUrlHost(const char* address) {
  if (address == nullptr) return std::string();
  try {
    return Patterns()->Extract(address);
  } catch (...) {
    return std::string();
  }
}

bool IsUrlWhiteListed(const wchar_t* url) {
  if (url == nullptr || GetShareInfo() == nullptr) return false;
  try {
    return GetUrlList(kWhiteList).Find(browser::GetUrlHost(ToAnsi(url).c_str()).c_str());
  } catch (...) {
    return false;
  }
}

}  // namespace qp
