// The window table in the shared region, broadcasts to windows of this and of
// other processes, posting to the tray program, and its presence event.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "commands_windows.h"
#include "core/commands.h"
#include "dllcomm.h"
#include "wintable.h"
#include "wintest.h"

namespace qp {
namespace {

using test::CommandWindows;

HWND FakeHandle(std::uint32_t i) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x00010000u + i * 4)); }

class WinTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitShareInfo());
    table_ = GetWinList();
    ASSERT_NE(table_, nullptr);
    info_ = GetShareInfo();
    ClearTable();
    std::memset(info_, 0, sizeof(*info_));
  }
  void TearDown() override {
    ClearTable();
    std::memset(info_, 0, sizeof(*info_));
    ReleaseShareInfo();
  }
  void ClearTable() { std::memset(table_->records, 0, table_->capacity * sizeof(WinSlot)); }
  std::vector<std::uint32_t> InUseIndices() const {
    std::vector<std::uint32_t> used;
    for (std::uint32_t i = 0; i < table_->capacity; ++i) {
      if (table_->records[i].inUse != 0) used.push_back(i);
    }
    return used;
  }
  void PutRecord(std::uint32_t index, std::uint32_t inUse, HWND hwnd, std::uint32_t msgId = 0xC0DE) {
    table_->records[index] = WinSlot{inUse, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd)), msgId};
  }

  WinList* table_ = nullptr;
  ShareInfo* info_ = nullptr;
};

TEST_F(WinTableTest, RegisterTwiceKeepsOneRecord) {
  EXPECT_TRUE(RegisterWindow(FakeHandle(1), 0xC100));
  EXPECT_TRUE(RegisterWindow(FakeHandle(1), 0xC100));
  EXPECT_EQ(InUseIndices(), std::vector<std::uint32_t>{0});
  EXPECT_EQ(table_->records[0].inUse, 1u);
  EXPECT_EQ(table_->records[0].hwnd, reinterpret_cast<std::uintptr_t>(FakeHandle(1)));
  EXPECT_EQ(table_->records[0].msgId, 0xC100u);
  EXPECT_FALSE(RegisterWindow(nullptr, 0xC100)) << "a null handle is never a window";

  EXPECT_TRUE(UnregisterWindow(FakeHandle(2))) << "a window that is not there";
  EXPECT_EQ(InUseIndices(), std::vector<std::uint32_t>{0});
  EXPECT_TRUE(UnregisterWindow(FakeHandle(1)));
  EXPECT_TRUE(InUseIndices().empty());
  EXPECT_EQ(table_->records[0].hwnd, reinterpret_cast<std::uintptr_t>(FakeHandle(1))) << "left behind when freed";
}

TEST_F(WinTableTest, FullTableRefusesAndAFreedRecordIsReusedFirst) {
  for (std::uint32_t i = 0; i < kWinTableCapacity; ++i) ASSERT_TRUE(RegisterWindow(FakeHandle(i), 0xC100)) << i;
  std::vector<WinSlot> full(table_->records, table_->records + kWinTableCapacity);
  EXPECT_FALSE(RegisterWindow(FakeHandle(9999), 0xC100));
  EXPECT_EQ(std::memcmp(full.data(), table_->records, full.size() * sizeof(WinSlot)), 0) << "nothing changed";

  ASSERT_TRUE(UnregisterWindow(FakeHandle(300)));
  ASSERT_TRUE(UnregisterWindow(FakeHandle(37)));
  EXPECT_TRUE(RegisterWindow(FakeHandle(9999), 0xC200));
  EXPECT_EQ(table_->records[37].hwnd, reinterpret_cast<std::uintptr_t>(FakeHandle(9999))) << "lowest free record";
  EXPECT_EQ(table_->records[37].msgId, 0xC200u);
  EXPECT_EQ(table_->records[300].inUse, 0u);

  std::vector<CWinHandle> listed;
  ASSERT_TRUE(EnumerateWindows(listed));
  ASSERT_EQ(listed.size(), kWinTableCapacity - 1);
  EXPECT_EQ(listed[36].hwnd, FakeHandle(36));
  EXPECT_EQ(listed[37].hwnd, FakeHandle(9999)) << "record order";
  EXPECT_EQ(listed[37].msgId, 0xC200u);
}

TEST_F(WinTableTest, LeftoversInFreeRecordsAreIgnored) {
  // Free records with stale contents, and flags another writer left that are not 1.
  for (std::uint32_t i = 0; i < 10; ++i) PutRecord(i, 0, FakeHandle(5), 0xDEAD);
  PutRecord(10, 0xFFFFFFFFu, FakeHandle(5));
  PutRecord(11, 2, FakeHandle(6));
  std::vector<CWinHandle> listed;
  ASSERT_TRUE(EnumerateWindows(listed));
  EXPECT_TRUE(listed.empty());

  EXPECT_TRUE(RegisterWindow(FakeHandle(5), 0xC100));
  EXPECT_EQ(table_->records[0].inUse, 1u);
  EXPECT_EQ(table_->records[0].msgId, 0xC100u);
  ASSERT_TRUE(EnumerateWindows(listed));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].hwnd, FakeHandle(5));
}

TEST_F(WinTableTest, BroadcastReachesLiveWindowsAndFreesRecordsOfGoneOnes) {
  CommandWindows windows;
  ASSERT_TRUE(windows.Create(4));
  const HWND live1 = windows.at(0), gone = windows.at(1), live2 = windows.at(2), stale = windows.at(3);
  ASSERT_TRUE(RegisterWindow(live1, CommandMessageId()));
  ASSERT_TRUE(RegisterWindow(gone, CommandMessageId()));
  PutRecord(2, 1, FakeHandle(77));  // in use, but not a window at all
  ASSERT_FALSE(::IsWindow(FakeHandle(77)));
  ASSERT_TRUE(RegisterWindow(live2, CommandMessageId()));
  PutRecord(4, 0, stale);  // a live window in a free record
  ASSERT_TRUE(windows.Destroy(1));
  // Whatever another process left in the block's MsgId, only the command message goes out.
  info_->MsgId = WM_CLOSE;

  BroadcastToWindows(CMD_ENABLE_CHANGED);

  EXPECT_EQ(windows.Received(0), std::vector<std::uint32_t>{CMD_ENABLE_CHANGED});
  EXPECT_EQ(windows.Received(2), std::vector<std::uint32_t>{CMD_ENABLE_CHANGED});
  EXPECT_TRUE(windows.Received(3).empty()) << "a free record gets no message";
  EXPECT_EQ(windows.CloseRequests(), 0);
  EXPECT_EQ(InUseIndices(), (std::vector<std::uint32_t>{0, 3})) << "records of gone windows are freed";
}

// Child: creates windows that record the commands they receive, registers
// them, tells the parent, optionally hangs without reading messages, then
// serves messages until told to end and writes what each window received.
// Arguments: count, ready event, done event, result file, hang ms.
QP_CHILD_ROLE(CommandWindows) {
  if (!InitShareInfo()) return 10;
  int result = 0;
  {
    CommandWindows windows;
    const int count = std::stoi(args.at(0));
    if (!windows.Create(count)) result = 11;
    for (int i = 0; result == 0 && i < count; ++i) {
      if (!RegisterWindow(windows.at(i), CommandMessageId())) result = 12;
    }
    unique_handle done = test::CreateNamedEvent(args.at(2));
    test::SetNamedEvent(args.at(1));
    ::Sleep(static_cast<DWORD>(std::stoul(args.at(4))));
    windows.ServeUntil(done.get(), 30000);
    for (int i = 0; i < count; ++i) UnregisterWindow(windows.at(i));
    if (result == 0 && !windows.WriteReceived(args.at(3))) result = 13;
  }
  ReleaseShareInfo();
  return result;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct WindowsProcess {
  std::string ready = test::UniqueName("ready"), done = test::UniqueName("done");
  std::string file = test::TempPath("received");
  unique_handle readyEvent = test::CreateNamedEvent(ready), doneEvent = test::CreateNamedEvent(done);
  test::ChildProcess child;

  bool Start(int count, DWORD hangMs) {
    return child.Start("CommandWindows", {std::to_string(count), ready, done, file, std::to_string(hangMs)}) &&
           ::WaitForSingleObject(readyEvent.get(), 20000) == WAIT_OBJECT_0;
  }
  int Finish() {
    ::SetEvent(doneEvent.get());
    return child.Wait(30000);
  }
  ~WindowsProcess() { ::DeleteFileA(file.c_str()); }
};

TEST_F(WinTableTest, BroadcastReachesWindowsOfAnotherProcess) {
  WindowsProcess other;
  ASSERT_TRUE(other.Start(3, 0));
  ASSERT_EQ(InUseIndices().size(), 3u);
  for (std::uint32_t code : {CMD_KILLPOPUP_CHANGED, CMD_FLASH_SHOW, CMD_FLASH_ICON}) BroadcastToWindows(code);
  ASSERT_EQ(other.Finish(), 0);
  EXPECT_EQ(ReadLines(other.file), std::vector<std::string>(3, "5 130 3004"));
  EXPECT_TRUE(InUseIndices().empty()) << "the child took its windows out again";
}

TEST_F(WinTableTest, AHungWindowHoldsTheBroadcastForItsTimeOutOnly) {
  WindowsProcess hung;
  ASSERT_TRUE(hung.Start(1, 3000));  // reads no messages for 3 s
  CommandWindows mine;
  ASSERT_TRUE(mine.Create(1));
  ASSERT_TRUE(RegisterWindow(mine.at(0), CommandMessageId()));  // after the hung window

  const DWORD start = ::GetTickCount();
  BroadcastToWindows(CMD_SETTINGS_CHANGED);
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, kBroadcastTimeoutMs - 20) << "the hung window was waited for";
  EXPECT_LT(elapsed, 400u);
  EXPECT_EQ(mine.Received(0), std::vector<std::uint32_t>{CMD_SETTINGS_CHANGED}) << "the next window still got it";
  EXPECT_EQ(InUseIndices().size(), 2u) << "a slow window is not a gone window";
  EXPECT_EQ(hung.Finish(), 0);
}

// Child: holds the table lock until told to let go.
QP_CHILD_ROLE(HoldTableLock) {
  if (!InitShareInfo()) return 10;
  int result = 0;
  {
    NamedLock lock(GetWinList()->mutex.get(), 1000);
    if (lock.locked()) {
      test::SetNamedEvent(args.at(0));
      test::WaitForNamedEvent(args.at(1), 30000);
    } else {
      result = 11;
    }
  }
  ReleaseShareInfo();
  return result;
}

TEST_F(WinTableTest, ModeCodesApplyEvenWithAnEmptyOrBusyTable) {
  info_->IFLASH = kModeShow;
  BroadcastToWindows(CMD_FLASH_HIDE);
  EXPECT_EQ(info_->IFLASH, kModeHide) << "empty table";

  CommandWindows windows;
  ASSERT_TRUE(windows.Create(2));
  ASSERT_TRUE(RegisterWindow(windows.at(0), CommandMessageId()));
  ASSERT_TRUE(RegisterWindow(windows.at(1), CommandMessageId()));
  ASSERT_TRUE(windows.Destroy(1));
  info_->IFLASH = kModeShow;

  const std::string held = test::UniqueName("held"), go = test::UniqueName("go");
  unique_handle heldEvent = test::CreateNamedEvent(held), goEvent = test::CreateNamedEvent(go);
  test::ChildProcess child;
  ASSERT_TRUE(child.Start("HoldTableLock", {held, go}));
  ASSERT_EQ(::WaitForSingleObject(heldEvent.get(), 20000), WAIT_OBJECT_0);

  const DWORD start = ::GetTickCount();
  BroadcastToWindows(CMD_FLASH_HIDE);
  EXPECT_GE(::GetTickCount() - start, kTableWaitMs - 50) << "waited for the lock's limit";
  EXPECT_EQ(info_->IFLASH, kModeHide) << "busy table";
  EXPECT_TRUE(windows.Received(0).empty()) << "nothing is sent without the table";
  EXPECT_FALSE(RegisterWindow(FakeHandle(1), 0xC100));
  EXPECT_FALSE(UnregisterWindow(windows.at(0)));
  std::vector<CWinHandle> listed;
  EXPECT_FALSE(EnumerateWindows(listed));
  EXPECT_TRUE(listed.empty());
  ::SetEvent(goEvent.get());
  EXPECT_EQ(child.Wait(20000), 0);
  EXPECT_EQ(InUseIndices(), (std::vector<std::uint32_t>{0, 1})) << "the gone window's record waits for a later broadcast";
}

TEST_F(WinTableTest, CommandsOutsideTheModeCodesLeaveTheBlockAlone) {
  CommandWindows windows;
  ASSERT_TRUE(windows.Create(1));
  ASSERT_TRUE(RegisterWindow(windows.at(0), CommandMessageId()));
  std::memset(info_, 0x33, sizeof(*info_));
  const ShareInfo before = *info_;
  BroadcastToWindows(CMD_ENABLE_CHANGED);
  EXPECT_EQ(std::memcmp(&before, info_, sizeof(before)), 0);
  EXPECT_EQ(windows.Received(0), std::vector<std::uint32_t>{CMD_ENABLE_CHANGED});
}

TEST_F(WinTableTest, PostsReachOnlyARealTrayWindow) {
  CommandWindows windows;
  ASSERT_TRUE(windows.Create(2));
  const HWND tray = windows.at(0);
  info_->TrayWnd = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(tray));
  EXPECT_TRUE(PostToTrayProgram(CMD_DELAY_CLOSE, 0x1234));
  EXPECT_TRUE(PostToTrayProgram(CMD_FLASH_ICON));
  test::PumpMessages(50);
  EXPECT_EQ(windows.Received(0), (std::vector<std::uint32_t>{CMD_DELAY_CLOSE, CMD_FLASH_ICON}));
  EXPECT_EQ(windows.LastLParam(0), 0);
  EXPECT_EQ(windows.FirstLParam(0), 0x1234);

  ASSERT_TRUE(windows.Destroy(1));
  for (std::uint32_t bad : {0u, 0xFFFFu, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(windows.at(1)))}) {
    info_->TrayWnd = bad;
    EXPECT_FALSE(PostToTrayProgram(CMD_FLASH_ICON)) << bad;
  }
  MSG msg;
  EXPECT_FALSE(::PeekMessageA(&msg, reinterpret_cast<HWND>(-1), CommandMessageId(), CommandMessageId(), PM_REMOVE))
      << "nothing posted to this thread's own queue";
}

// Child: keeps the tray program's event open until told to let go.
QP_CHILD_ROLE(HoldTrayEvent) {
  unique_handle event(::CreateEventA(nullptr, FALSE, FALSE, kTrayEventName));
  if (!event) return 10;
  test::SetNamedEvent(args.at(0));
  return test::WaitForNamedEvent(args.at(1), 30000) ? 0 : 11;
}

TEST(TrayProgram, RunningExactlyWhileAnotherProcessHoldsItsEvent) {
  EXPECT_FALSE(IsTrayProgramRunning());
  const std::string held = test::UniqueName("held"), go = test::UniqueName("go");
  unique_handle heldEvent = test::CreateNamedEvent(held), goEvent = test::CreateNamedEvent(go);
  test::ChildProcess child;
  ASSERT_TRUE(child.Start("HoldTrayEvent", {held, go}));
  ASSERT_EQ(::WaitForSingleObject(heldEvent.get(), 20000), WAIT_OBJECT_0);
  EXPECT_TRUE(IsTrayProgramRunning());
  EXPECT_TRUE(IsTrayProgramRunning()) << "the test closes what it opened and sees the same";
  ::SetEvent(goEvent.get());
  EXPECT_EQ(child.Wait(20000), 0);
  EXPECT_FALSE(IsTrayProgramRunning());
}

}  // namespace
}  // namespace qp
