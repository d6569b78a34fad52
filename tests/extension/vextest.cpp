#include "vextest.h"

#include "dllcomm.h"
#include "wintest.h"

namespace qp::test {

std::string VexPath() { return ProgramFolder() + "vex.dll"; }

VexLibrary::VexLibrary() : module_(::LoadLibraryA(VexPath().c_str())) {
  if (!module_) return;
  HMODULE m = module_.get();
  // GetProcAddress answers a generic function pointer; each is cast to its export's type.
  auto find = [m](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(m, name)); };
  DllCanUnloadNow = reinterpret_cast<decltype(DllCanUnloadNow)>(find("DllCanUnloadNow"));
  DllGetClassObject = reinterpret_cast<decltype(DllGetClassObject)>(find("DllGetClassObject"));
  DllRegisterServer = reinterpret_cast<decltype(DllRegisterServer)>(find("DllRegisterServer"));
  DllUnregisterServer = reinterpret_cast<decltype(DllUnregisterServer)>(find("DllUnregisterServer"));
  CreateShortcut = reinterpret_cast<decltype(CreateShortcut)>(find("CreateShortcut"));
}

RegionRef::RegionRef() : ok_(InitShareInfo()) {}

RegionRef::~RegionRef() { ReleaseShareInfo(); }

TempFolder::TempFolder(const std::string& name) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  path_ = std::string(temp) + UniqueName(name.c_str()) + "\\";
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAA found;
  const std::string pattern = path_ + "*";
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileA((path_ + found.cFileName).c_str());
    } while (::FindNextFileA(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(path_.c_str());
}

std::string TestProgramPath() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace qp::test
