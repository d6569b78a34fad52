#include "module.h"

#include <wrl/client.h>

#include "comerror.h"
#include "commands.h"
#include "dllcomm.h"
#include "handles.h"

namespace qp::module {

namespace {

constexpr DWORD kNoSlot = TLS_OUT_OF_INDEXES;

HINSTANCE g_instance = nullptr;
LONG g_lockCount = 0;
DWORD g_threadSlot = kNoSlot;
bool g_channelLocks = false;
bool g_imageCacheLockMade = false;
CRITICAL_SECTION g_imageCacheLock;
bool g_typeLibLockMade = false;
CRITICAL_SECTION g_typeLibLock;  // guards the cached type library
ITypeLib* g_typeLib = nullptr;
volatile LONG g_isWin9x = 0;

}  // namespace

bool Attach(HINSTANCE instance) {
  g_instance = instance;
  ::InitializeCriticalSection(&g_typeLibLock);
  g_typeLibLockMade = true;
  g_threadSlot = ::TlsAlloc();
  if (g_threadSlot == kNoSlot) return false;
  CreateChannelLocks();
  g_channelLocks = true;
  ::InitializeCriticalSection(&g_imageCacheLock);
  g_imageCacheLockMade = true;
  return true;
}

void Detach(bool processEnding) {
  if (g_imageCacheLockMade) {
    g_imageCacheLockMade = false;
    ::DeleteCriticalSection(&g_imageCacheLock);
  }
  if (g_channelLocks) {
    g_channelLocks = false;
    DeleteChannelLocks();
  }
  if (g_threadSlot != kNoSlot) {
    ::TlsFree(g_threadSlot);
    g_threadSlot = kNoSlot;
  }
  // At process exit the type library's own module may already be gone.
  if (g_typeLib != nullptr && !processEnding) g_typeLib->Release();
  g_typeLib = nullptr;
  if (g_typeLibLockMade) {
    g_typeLibLockMade = false;
    ::DeleteCriticalSection(&g_typeLibLock);
  }
}

HINSTANCE Instance() { return g_instance; }

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = ::GetModuleFileNameW(g_instance, &path[0], size);
    if (length == 0) return std::wstring();
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void Lock() { ::InterlockedIncrement(&g_lockCount); }

void Unlock() {
  LONG current = g_lockCount;
  while (current > 0) {
    const LONG seen = ::InterlockedCompareExchange(&g_lockCount, current - 1, current);
    if (seen == current) return;
    current = seen;
  }
}

LONG LockCount() { return ::InterlockedCompareExchange(&g_lockCount, 0, 0); }

CClosePopup* ThreadObject() {
  if (g_threadSlot == kNoSlot) return nullptr;
  return static_cast<CClosePopup*>(::TlsGetValue(g_threadSlot));
}

void SetThreadObject(CClosePopup* object) {
  if (g_threadSlot != kNoSlot) ::TlsSetValue(g_threadSlot, object);
}

bool IsWin9x() { return g_isWin9x != 0; }

void SetIsWin9x(bool win9x) { ::InterlockedExchange(&g_isWin9x, win9x ? 1 : 0); }

void ReadPlatform() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) SetIsWin9x(true);
}

CRITICAL_SECTION& ImageCacheLock() { return g_imageCacheLock; }

HRESULT GetTypeInfoOf(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (!g_typeLibLockMade) return E_UNEXPECTED;
  Microsoft::WRL::ComPtr<ITypeLib> typeLib;
  {
    CriticalSectionLock lock(g_typeLibLock);
    if (g_typeLib == nullptr) {
      const std::wstring path = ModulePath();
      if (path.empty()) return LastErrorResult();
      const HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &g_typeLib);
      if (FAILED(hr)) {
        g_typeLib = nullptr;
        return hr;
      }
    }
    typeLib = g_typeLib;
  }
  return typeLib->GetTypeInfoOfGuid(guid, info);
}

}  // namespace qp::module
