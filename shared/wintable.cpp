#include "wintable.h"

#include "core/commands.h"
#include "core/layout.h"
#include "core/settings_convert.h"
#include "dllcomm.h"
#include "handles.h"

namespace qp {

namespace {

constexpr std::uint32_t kRecordInUse = 1;
constexpr std::uint32_t kRecordFree = 0;
constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;

// Records are written by other processes; each field is read once, as it is now.
std::uint32_t Load(const std::uint32_t& field) { return *static_cast<const volatile std::uint32_t*>(&field); }
void Store(std::uint32_t& field, std::uint32_t value) { *static_cast<volatile std::uint32_t*>(&field) = value; }

bool InUse(const WinSlot& slot) { return Load(slot.inUse) == kRecordInUse; }

std::uint32_t HandleValue(HWND hwnd) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd)); }
HWND HandleFromValue(std::uint32_t value) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value)); }

// The index of the record in use that holds hwnd; the caller holds the lock.
std::uint32_t FindRecord(const WinList& table, HWND hwnd) {
  const std::uint32_t wanted = HandleValue(hwnd);
  for (std::uint32_t i = 0; i < table.capacity; ++i) {
    if (InUse(table.records[i]) && Load(table.records[i].hwnd) == wanted) return i;
  }
  return kNoRecord;
}

std::uint32_t FindFreeRecord(const WinList& table) {
  for (std::uint32_t i = 0; i < table.capacity; ++i) {
    if (!InUse(table.records[i])) return i;
  }
  return kNoRecord;
}

}  // namespace

bool RegisterWindow(HWND hwnd, UINT msgId) {
  if (hwnd == nullptr) return false;
  WinList* table = GetWinList();
  if (table == nullptr) return false;
  NamedLock lock(table->mutex.get(), kTableWaitMs);
  if (!lock.locked()) return false;
  if (FindRecord(*table, hwnd) != kNoRecord) return true;
  const std::uint32_t index = FindFreeRecord(*table);
  if (index == kNoRecord) return false;
  WinSlot& slot = table->records[index];
  Store(slot.inUse, kRecordInUse);
  Store(slot.hwnd, HandleValue(hwnd));
  Store(slot.msgId, msgId);
  return true;
}

bool UnregisterWindow(HWND hwnd) {
  WinList* table = GetWinList();
  if (table == nullptr) return false;
  NamedLock lock(table->mutex.get(), kTableWaitMs);
  if (!lock.locked()) return false;
  const std::uint32_t index = FindRecord(*table, hwnd);
  // Handle and message id stay behind in the freed record.
  if (index != kNoRecord) Store(table->records[index].inUse, kRecordFree);
  return true;
}

bool EnumerateWindows(std::vector<CWinHandle>& out) {
  WinList* table = GetWinList();
  if (table == nullptr) return false;
  std::vector<CWinHandle> found;
  found.reserve(table->capacity);  // no allocation while the lock is held
  {
    NamedLock lock(table->mutex.get(), kTableWaitMs);
    if (!lock.locked()) return false;
    for (std::uint32_t i = 0; i < table->capacity; ++i) {
      const WinSlot& slot = table->records[i];
      if (!InUse(slot)) continue;
      found.push_back(CWinHandle{HandleFromValue(Load(slot.hwnd)), Load(slot.msgId)});
    }
  }
  out.insert(out.end(), found.begin(), found.end());
  return true;
}

void BroadcastToWindows(std::uint32_t code) {
  if (ShareInfo* info = GetShareInfo()) ApplyModeCode(code, *info);

  std::vector<CWinHandle> windows;
  EnumerateWindows(windows);  // the lock is not held while sending

  // Every process gets the same id for the message name, so this equals
  // MsgId of the block; the block is not used for it because any process can
  // write there, and a stray number would send some other message (WM_CLOSE,
  // say) to every window in the table.
  const UINT message = CommandMessageId();
  for (const CWinHandle& window : windows) {
    if (!::IsWindow(window.hwnd)) {
      UnregisterWindow(window.hwnd);  // when the lock is busy the record waits for a later broadcast
      continue;
    }
    if (message == 0) continue;
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutA(window.hwnd, message, code, 0, SMTO_NORMAL, kBroadcastTimeoutMs, &answer);
  }
}

bool PostToTrayProgram(std::uint32_t code, LPARAM lParam) {
  const ShareInfo* info = GetShareInfo();
  const UINT message = CommandMessageId();
  if (info == nullptr || message == 0) return false;
  // A null handle would post to this thread's own queue and HWND_BROADCAST to
  // every top-level window; only a real window is posted to.
  const HWND tray = HandleFromValue(*static_cast<const volatile std::uint32_t*>(&info->TrayWnd));
  if (!::IsWindow(tray)) return false;
  return ::PostMessageA(tray, message, code, lParam) != FALSE;
}

UINT CommandMessageId() {
  static const UINT id = ::RegisterWindowMessageA(kCommandMessageName);
  return id;
}

bool IsTrayProgramRunning() {
  unique_handle event(::OpenEventA(EVENT_ALL_ACCESS, FALSE, kTrayEventName));
  return static_cast<bool>(event);
}

}  // namespace qp
