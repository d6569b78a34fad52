#include "hostprocess.h"

namespace qp {

namespace {
wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
}  // namespace

bool IsShellProcessPath(std::wstring_view path) {
  if (path.size() < kShellExecutable.size()) return false;
  const std::wstring_view tail = path.substr(path.size() - kShellExecutable.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (LowerAscii(tail[i]) != kShellExecutable[i]) return false;
  }
  return true;
}

}  // namespace qp
