// Layout of the named shared region that the tray program and every browser
// process map. Everything here sits at a fixed offset so that each process
// computes the same addresses without any exchange. Portable: no Windows API.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qp {

constexpr char kRegionName[] = "VEX_SHARE_MEM_NAME_1";
constexpr char kRegionGuardSuffix[] = "_ShareUrlList_Mutex";
constexpr char kMutexNamePrefix[] = "VEX_SHARE_MUTEX_NAME_";  // followed by 1..6

constexpr std::uint32_t kRegionSize = 0x2E800;

// Wait limits of the named mutexes, in milliseconds.
constexpr std::uint32_t kGuardWaitMs = 500000;
constexpr std::uint32_t kListWaitMs = 5000;
constexpr std::uint32_t kTableWaitMs = 500;

// Host lists: 32-byte slots, list n follows list n-1.
constexpr int kListCount = 5;
constexpr int kWhiteList = 0;
constexpr std::uint32_t kSlotSize = 32;
constexpr std::uint32_t kSlotTextOffset = 1;
constexpr std::uint32_t kSlotTextBytes = kSlotSize - kSlotTextOffset;  // 31, zero byte included
constexpr std::uint32_t kSlotMaxChars = 30;
constexpr std::uint8_t kSlotInUse = 'A';
constexpr std::uint8_t kSlotFree = 0;

constexpr std::uint32_t kListCapacity[kListCount] = {128, 1920, 1024, 128, 1920};
constexpr std::uint32_t kListOffset[kListCount] = {0x00000, 0x01000, 0x10000, 0x18000, 0x19000};
constexpr const char* kListFile[kListCount] = {"Popup.lst", "NoPopup.lst", "Forbiden.lst", "adserv.lst",
                                               "fadserv.lst"};

constexpr std::uint32_t ListOffsetFromCapacities(int index) {
  std::uint32_t slots = 0;
  for (int i = 0; i < index; ++i) slots += kListCapacity[i];
  return slots * kSlotSize;
}
static_assert(kListOffset[0] == ListOffsetFromCapacities(0));
static_assert(kListOffset[1] == ListOffsetFromCapacities(1));
static_assert(kListOffset[2] == ListOffsetFromCapacities(2));
static_assert(kListOffset[3] == ListOffsetFromCapacities(3));
static_assert(kListOffset[4] == ListOffsetFromCapacities(4));

// Window table: 512 records of 12 bytes after the lists.
constexpr std::uint32_t kWinTableOffset = 0x28000;
constexpr std::uint32_t kWinTableCapacity = 512;
static_assert(kWinTableOffset == ListOffsetFromCapacities(kListCount));

struct WinSlot {
  std::uint32_t inUse;   // 1 in use, 0 free
  std::uint32_t hwnd;    // top-level browser frame window
  std::uint32_t msgId;   // id of "vex_dlg_message1" in the process that added it
};
static_assert(sizeof(WinSlot) == 12);
static_assert(offsetof(WinSlot, inUse) == 0);
static_assert(offsetof(WinSlot, hwnd) == 4);
static_assert(offsetof(WinSlot, msgId) == 8);

// Settings and counters block. Single bytes and aligned 32-bit values only,
// each written in one store; there is no lock.
struct ShareInfo {
  std::uint32_t reserved0;
  std::uint8_t WINSTARTUP;
  std::uint8_t IESTARTUP;
  std::uint8_t DELAYCLOSE;
  std::uint8_t InPageEnable;
  std::uint8_t FLASHENABLE;
  std::uint8_t GIFENABLE;
  std::uint8_t MARQENABLE;
  std::uint8_t reserved11;
  std::int32_t IFLASH;  // 0 Show, 1 Stop, 2 Hide
  std::int32_t IGIF;    // 0 Show, 1 Stop, 2 Hide
  std::uint8_t RunMarq;  // 1 Play, 0 Stop
  std::uint8_t Enable;
  std::uint8_t KillPopup;
  std::uint8_t BEEP;
  std::uint8_t FlashIcon;
  std::uint8_t PopupEnable;
  std::uint8_t NoPopupEnable;
  std::uint8_t FPopupEnable;
  std::uint8_t AdServEnable;
  std::uint8_t FAdServEnable;
  std::uint8_t reserved30[2];
  std::int32_t BlockCount;
  std::int32_t FlashCount;
  std::int32_t GifCount;
  std::int32_t MarqCount;
  std::uint32_t TrayWnd;
  std::uint32_t MsgId;
};
static_assert(offsetof(ShareInfo, reserved0) == 0);
static_assert(offsetof(ShareInfo, WINSTARTUP) == 4);
static_assert(offsetof(ShareInfo, IESTARTUP) == 5);
static_assert(offsetof(ShareInfo, DELAYCLOSE) == 6);
static_assert(offsetof(ShareInfo, InPageEnable) == 7);
static_assert(offsetof(ShareInfo, FLASHENABLE) == 8);
static_assert(offsetof(ShareInfo, GIFENABLE) == 9);
static_assert(offsetof(ShareInfo, MARQENABLE) == 10);
static_assert(offsetof(ShareInfo, IFLASH) == 12);
static_assert(offsetof(ShareInfo, IGIF) == 16);
static_assert(offsetof(ShareInfo, RunMarq) == 20);
static_assert(offsetof(ShareInfo, Enable) == 21);
static_assert(offsetof(ShareInfo, KillPopup) == 22);
static_assert(offsetof(ShareInfo, BEEP) == 23);
static_assert(offsetof(ShareInfo, FlashIcon) == 24);
static_assert(offsetof(ShareInfo, PopupEnable) == 25);
static_assert(offsetof(ShareInfo, NoPopupEnable) == 26);
static_assert(offsetof(ShareInfo, FPopupEnable) == 27);
static_assert(offsetof(ShareInfo, AdServEnable) == 28);
static_assert(offsetof(ShareInfo, FAdServEnable) == 29);
static_assert(offsetof(ShareInfo, BlockCount) == 32);
static_assert(offsetof(ShareInfo, FlashCount) == 36);
static_assert(offsetof(ShareInfo, GifCount) == 40);
static_assert(offsetof(ShareInfo, MarqCount) == 44);
static_assert(offsetof(ShareInfo, TrayWnd) == 48);
static_assert(offsetof(ShareInfo, MsgId) == 52);
static_assert(sizeof(ShareInfo) == 56);

constexpr std::uint32_t kShareInfoOffset = kWinTableOffset + kWinTableCapacity * sizeof(WinSlot);
constexpr std::uint32_t kShareInfoBlockSize = 20480;
static_assert(kShareInfoOffset == 0x29800);
static_assert(kShareInfoOffset + kShareInfoBlockSize == kRegionSize);

// Flash and GIF modes as stored in IFLASH and IGIF.
constexpr std::int32_t kModeShow = 0;
constexpr std::int32_t kModeStop = 1;
constexpr std::int32_t kModeHide = 2;

}  // namespace qp
