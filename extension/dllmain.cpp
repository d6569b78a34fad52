// The entry point and the exports of vex.dll.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "comerror.h"
#include "hostprocess.h"
#include "module.h"
#include "server.h"
#include "shortcut.h"

namespace {

// The full path of the process's executable, or empty when it cannot be read.
std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], size);
    if (length == 0) return std::wstring();
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

BOOL ProcessAttach(HINSTANCE instance) {
  const std::wstring executable = ExecutablePath();
  // Never active inside the shell: only in browsers and in the tray program.
  if (executable.empty() || qp::IsShellProcessPath(executable)) return FALSE;
  if (!qp::module::Attach(instance)) {
    qp::module::Detach(false);
    return FALSE;
  }
  ::DisableThreadLibraryCalls(instance);
  return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        return ProcessAttach(instance);
      case DLL_PROCESS_DETACH:
        qp::module::Detach(reserved != nullptr);
        return TRUE;
      default:
        return TRUE;
    }
  } catch (...) {
    return FALSE;
  }
}

STDAPI DllCanUnloadNow() { return qp::server::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  try {
    return qp::server::GetClassObject(clsid, riid, ppv);
  }
  QP_CATCH_RETURN()
}

STDAPI DllRegisterServer() {
  try {
    const std::wstring path = qp::module::ModulePath();
    if (path.empty()) return qp::LastErrorResult();
    QP_RETURN_IF_FAILED(qp::server::RegisterClasses(qp::reg::SystemRoots(), path));
    return qp::server::RegisterTypeLibrary(path);
  }
  QP_CATCH_RETURN()
}

STDAPI DllUnregisterServer() {
  try {
    const std::wstring path = qp::module::ModulePath();
    qp::server::UnregisterClasses(qp::reg::SystemRoots(), path);
    qp::server::UnregisterTypeLibrary(path);
  }
  QP_CATCH_ALL()
  return S_OK;
}

// Writes a shell shortcut; 1 on success, 0 on failure.
extern "C" BYTE WINAPI CreateShortcut(LPCSTR target, LPCSTR description, LPCSTR workingFolder, LPCSTR linkName,
                                      int folder) {
  try {
    return qp::CreateShortcutFile(target, description, workingFolder, linkName, folder) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
