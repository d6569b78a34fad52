// WinInet, bound at run time: the extension reads images only from the
// browser's own cache of downloaded files and never links the library.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace qp {

struct WininetEntries {
  decltype(&::InternetOpenA) InternetOpenA = nullptr;
  decltype(&::InternetOpenUrlA) InternetOpenUrlA = nullptr;
  decltype(&::InternetReadFile) InternetReadFile = nullptr;
  decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
};

// Binds the library for one attached browser window; true when bound (or
// already bound). Each successful call is matched by one FreeWininet.
bool InitWininet();
// Gives one window's binding back. A module that this library loaded itself
// is freed only when the last attached window has given its binding back,
// so the other windows' cache never calls into an unloaded module.
void FreeWininet();
// The entry points as bound now; all null while unbound.
WininetEntries BoundWininet();
// Number of windows holding the binding (for tests).
int WininetBindings();

}  // namespace qp
