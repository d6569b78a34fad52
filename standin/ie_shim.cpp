// In-process server of the browser application class for the stand-in.
// Registered in a test prefix as the class's InprocServer32, it hands out the
// class object of the stand-in it is loaded into (standin.exe exports it);
// loaded into any other program it serves nothing.
#include <windows.h>

namespace {

using GetClassObject = HRESULT (*)(const CLSID*, const IID*, void**);

}  // namespace

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto get = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(nullptr), "StandinGetClassObject")));
  if (!get) return CLASS_E_CLASSNOTAVAILABLE;
  return get(&clsid, &iid, out);
}

// The objects live in standin.exe; this library holds nothing.
extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_OK; }
