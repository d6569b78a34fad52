// The shared region as one process sees it: the mapping, the five host lists,
// the window table and the settings block, all owned by one reference-counted
// VexCommUnit per process.
//
// Error policy: operations on the shared structures return truth values and
// never show anything; a lock not obtained in time is a plain failure. Only a
// creation guard that cannot be made raises mine::CMutexError, and only
// GetUrlList raises a range error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/layout.h"
#include "core/slotlist.h"
#include "handles.h"

namespace mine {
class CMutexError : public std::runtime_error {
 public:
  CMutexError() : std::runtime_error("Can't create Mutex") {}
};
}  // namespace mine

namespace qp {

// Holder of one mutex handle; used for the region's creation guard.
class CMutex {
 public:
  // Creates or opens the named mutex, not initially owned.
  bool Create(const char* name);
  // True when the mutex was obtained (signalled or abandoned) within ms.
  bool Wait(DWORD ms);
  void Release();
  void Close() { handle_.reset(); }

 private:
  unique_handle handle_;
};

// Waits for a named list or table mutex and releases it exactly once.
// A missing handle, a time-out or a failed wait all count as not locked.
class NamedLock {
 public:
  NamedLock(HANDLE mutex, DWORD ms) noexcept;
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;
  bool locked() const noexcept { return locked_; }

 private:
  HANDLE mutex_;
  bool locked_;
};

// Creates (or opens) a named mutex, not initially owned; empty on failure.
unique_handle CreateNamedMutex(const std::string& name);

// The mapping of the region in this process.
class ShareUrlList {
 public:
  explicit ShareUrlList(const char* regionName);
  std::uint8_t* view() const { return static_cast<std::uint8_t*>(view_.get()); }
  std::uint32_t size() const { return size_; }

 private:
  // Declared in this order so that the view is unmapped before the mapping closes.
  unique_handle mapping_;
  unique_mapview view_;
  std::uint32_t size_ = kRegionSize;
};

// One host list as this process sees it.
class UrlList {
 public:
  UrlList() = default;
  void Attach(std::uint8_t* first, unique_handle mutex, std::uint32_t capacity);

  bool Add(const char* text);
  bool Find(const char* text);
  bool Remove(const char* text);
  bool Clear();
  bool GetAll(std::vector<std::string>& out);
  bool LoadFile(const char* fileName);
  bool SaveFile(const char* fileName);

  std::uint32_t capacity() const { return capacity_; }
  HANDLE mutex() const { return mutex_.get(); }

 private:
  SlotSpan Slots() const { return SlotSpan(first_, capacity_); }
  bool Mapped() const { return first_ != nullptr; }

  std::uint8_t* first_ = nullptr;
  unique_handle mutex_;
  std::uint32_t capacity_ = 0;
};

// The window table as this process sees it; its operations are in wintable.h.
struct WinList {
  WinSlot* records = nullptr;
  std::uint32_t capacity = 0;
  unique_handle mutex;
};

// Owns every handle of the channel in this process. Members are destroyed in
// reverse order: the table mutex, the list mutexes 5 to 1, then the view and
// the mapping.
struct VexCommUnit {
  VexCommUnit();

  ShareUrlList region;
  UrlList lists[kListCount];
  WinList winList;
  std::int32_t refs = 0;
};

// The process-wide lock around creating, counting and destroying the unit,
// and the lock around the one-time compilation of the host patterns. The
// host program creates them before anything uses the channel and deletes them
// last (the tray program at start and end, the extension at library attach and
// detach).
void CreateChannelLocks();
void DeleteChannelLocks();
CRITICAL_SECTION& CommUnitLock();
CRITICAL_SECTION& HostPatternLock();

// Takes one reference to the process's unit, creating it first when there is
// none. True when the unit exists and its view is mapped. Raises
// mine::CMutexError when the creation guard cannot be made.
bool InitShareInfo();
// Gives one reference back; the last one destroys the unit.
void ReleaseShareInfo();
// The settings block, or null while the process has no mapped region.
ShareInfo* GetShareInfo();
// The list of index 0 to 4; any other index raises std::out_of_range
// "Error : GetUrlList". A process without a unit gets std::runtime_error;
// a unit whose view is not mapped gives lists on which every operation fails.
UrlList& GetUrlList(int index);
// The window table, or null while the process has no mapped region.
WinList* GetWinList();
// The reference count of the process's unit (0 when there is none).
std::int32_t ShareInfoRefs();

}  // namespace qp
