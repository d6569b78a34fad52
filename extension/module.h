// Process-wide state of the extension library: what the library's entry
// point sets up when it is loaded into a process, and the helpers every part
// of the extension shares.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace qp {
class CClosePopup;
}

namespace qp::module {

// Sets up the process-wide state: instance handle, thread slot, the
// channel's locks and the image-cache lock. False when something could not
// be made; Detach then frees what was.
bool Attach(HINSTANCE instance);
// Frees what Attach made, in reverse order. processEnding: the process is
// exiting, so COM objects held for the process are left alone.
void Detach(bool processEnding);

HINSTANCE Instance();
// The full path of the library file.
std::wstring ModulePath();

// The module's lock count: every live object, every class-factory
// reference handed out and every LockServer(TRUE). Never goes below zero.
void Lock();
void Unlock();
LONG LockCount();

// The helper object that the current thread's hooks and window procedure
// serve (one thread-local slot); null when the thread has none.
CClosePopup* ThreadObject();
void SetThreadObject(CClosePopup* object);

// Whether the platform is Windows 95, 98 or Me (chooses the kill sound).
bool IsWin9x();
void SetIsWin9x(bool win9x);
// Reads the platform with the version query and stores the answer.
void ReadPlatform();

// The lock of the per-process animated-image cache.
CRITICAL_SECTION& ImageCacheLock();

// Type information of one interface or class from the library's own type
// library (resource 1), loaded once per process and cached.
HRESULT GetTypeInfoOf(REFGUID guid, ITypeInfo** info);

}  // namespace qp::module
