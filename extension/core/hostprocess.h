// Which processes the extension library refuses to run in. Portable: no
// Windows API.
#pragma once

#include <string_view>

namespace qp {

// The shell's executable name; the library never runs inside the shell.
constexpr std::wstring_view kShellExecutable = L"explorer.exe";

// Whether an executable path ends in the shell's name: its last 12
// characters (the whole path when it is shorter) compared without regard to
// the case of ASCII letters.
bool IsShellProcessPath(std::wstring_view path);

}  // namespace qp
