// The browser application class (CLSID_InternetExplorer) inside a running
// stand-in: a new hidden browser window on a thread of its own, which a page
// can be opened into and which closes on WM_CLOSE. standin_ie.dll, registered
// as the class's in-process server, reaches it through the export below.
#pragma once

#include <windows.h>

extern "C" __declspec(dllexport) HRESULT StandinGetClassObject(const CLSID* clsid, const IID* iid, void** out);

namespace standin {

// Writes or removes the class's InprocServer32 entry naming standin_ie.dll
// beside standin.exe (HKEY_LOCAL_MACHINE\Software\Classes); returns the exit code.
int RegisterBrowserClass(bool install);

}  // namespace standin
