// Helpers of the extension's Windows tests: the COM apartment, the built
// library loaded into the test process, a reference on the shared region,
// a window that stands for the tray program, and programs run from copies.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "handles.h"
#include "wintest.h"

namespace qp::test {

// Takes over a reference the caller already owns. (mingw's ComPtr::Attach
// adds a reference of its own, unlike the documented one.)
template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* owned) {
  Microsoft::WRL::ComPtr<T> pointer;
  *pointer.GetAddressOf() = owned;
  return pointer;
}

// An apartment-threaded COM apartment for the current thread.
class ComApartment {
 public:
  ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

// The path of the built vex.dll, copied beside the test program.
std::string VexPath();

// vex.dll loaded into the test process with its exports.
class VexLibrary {
 public:
  VexLibrary();
  bool loaded() const { return static_cast<bool>(module_); }
  HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;
  HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(WINAPI* DllRegisterServer)() = nullptr;
  HRESULT(WINAPI* DllUnregisterServer)() = nullptr;
  BYTE(WINAPI* CreateShortcut)(LPCSTR, LPCSTR, LPCSTR, LPCSTR, int) = nullptr;

 private:
  unique_hmodule module_;
};

// One reference on the shared region for the life of the object.
class RegionRef {
 public:
  RegionRef();
  ~RegionRef();
  RegionRef(const RegionRef&) = delete;
  RegionRef& operator=(const RegionRef&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// A folder of its own under the temporary folder, removed with its files.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name);
  ~TempFolder();
  const std::string& path() const { return path_; }  // with a trailing backslash

 private:
  std::string path_;
};

// The path of the running test program.
std::string TestProgramPath();

}  // namespace qp::test
