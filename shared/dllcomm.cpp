#include "dllcomm.h"

#include <memory>

namespace qp {

namespace {

CRITICAL_SECTION g_unitLock;
CRITICAL_SECTION g_hostPatternLock;
bool g_locksCreated = false;
std::unique_ptr<VexCommUnit> g_unit;

bool WaitLocks(HANDLE h, DWORD ms) {
  const DWORD r = ::WaitForSingleObject(h, ms);
  return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
}

}  // namespace

bool CMutex::Create(const char* name) {
  handle_.reset(::CreateMutexA(nullptr, FALSE, name));
  return static_cast<bool>(handle_);
}

bool CMutex::Wait(DWORD ms) { return handle_ && WaitLocks(handle_.get(), ms); }

void CMutex::Release() {
  if (handle_) ::ReleaseMutex(handle_.get());
}

NamedLock::NamedLock(HANDLE mutex, DWORD ms) noexcept
    : mutex_(mutex), locked_(mutex != nullptr && WaitLocks(mutex, ms)) {}

NamedLock::~NamedLock() {
  if (locked_) ::ReleaseMutex(mutex_);
}

unique_handle CreateNamedMutex(const std::string& name) {
  return unique_handle(::CreateMutexA(nullptr, FALSE, name.c_str()));
}

ShareUrlList::ShareUrlList(const char* regionName) {
  CMutex guard;
  const std::string guardName = std::string(regionName) + kRegionGuardSuffix;
  if (!guard.Create(guardName.c_str())) throw mine::CMutexError();
  if (!guard.Wait(kGuardWaitMs)) return;

  mapping_.reset(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, regionName));
  if (mapping_) {
    view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, size_));
    if (!view_) mapping_.reset();
  }
  if (!view_) {
    mapping_.reset(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size_, regionName));
    if (mapping_) {
      view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, size_));
      if (view_) {
        ::ZeroMemory(view_.get(), size_);
      } else {
        mapping_.reset();
      }
    }
  }
  guard.Release();
}

VexCommUnit::VexCommUnit() : region(kRegionName) {
  std::uint8_t* view = region.view();
  for (int i = 0; i < kListCount; ++i) {
    unique_handle mutex = CreateNamedMutex(kMutexNamePrefix + std::to_string(i + 1));
    lists[i].Attach(view ? view + kListOffset[i] : nullptr, std::move(mutex), kListCapacity[i]);
  }
  winList.records = view ? reinterpret_cast<WinSlot*>(view + kWinTableOffset) : nullptr;
  winList.capacity = kWinTableCapacity;
  winList.mutex = CreateNamedMutex(kMutexNamePrefix + std::to_string(kListCount + 1));
}

void CreateChannelLocks() {
  if (g_locksCreated) return;
  ::InitializeCriticalSection(&g_unitLock);
  ::InitializeCriticalSection(&g_hostPatternLock);
  g_locksCreated = true;
}

void DeleteChannelLocks() {
  if (!g_locksCreated) return;
  g_locksCreated = false;
  ::DeleteCriticalSection(&g_hostPatternLock);
  ::DeleteCriticalSection(&g_unitLock);
}

CRITICAL_SECTION& CommUnitLock() { return g_unitLock; }
CRITICAL_SECTION& HostPatternLock() { return g_hostPatternLock; }

bool InitShareInfo() {
  if (!g_locksCreated) return false;
  CriticalSectionLock lock(g_unitLock);
  if (!g_unit) g_unit = std::make_unique<VexCommUnit>();
  ++g_unit->refs;
  return g_unit->region.view() != nullptr;
}

void ReleaseShareInfo() {
  if (!g_locksCreated) return;
  CriticalSectionLock lock(g_unitLock);
  if (!g_unit) return;
  if (--g_unit->refs <= 0) g_unit.reset();
}

ShareInfo* GetShareInfo() {
  VexCommUnit* unit = g_unit.get();
  if (unit == nullptr || unit->region.view() == nullptr) return nullptr;
  return reinterpret_cast<ShareInfo*>(unit->region.view() + kShareInfoOffset);
}

UrlList& GetUrlList(int index) {
  if (index < 0 || index >= kListCount) throw std::out_of_range("Error : GetUrlList");
  VexCommUnit* unit = g_unit.get();
  if (unit == nullptr) throw std::runtime_error("GetUrlList: no shared region in this process");
  return unit->lists[index];
}

WinList* GetWinList() {
  VexCommUnit* unit = g_unit.get();
  if (unit == nullptr || unit->winList.records == nullptr) return nullptr;
  return &unit->winList;
}

std::int32_t ShareInfoRefs() {
  if (!g_locksCreated) return 0;
  CriticalSectionLock lock(g_unitLock);
  return g_unit ? g_unit->refs : 0;
}

}  // namespace qp
