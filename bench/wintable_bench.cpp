// The window table under Windows: a broadcast to 1, 64 and 512 live windows
// of another process, and RegisterWindow on a table with 511 records in use.
// Started with "--windows N READY DONE RESULT" the program is that other
// process: it creates and registers N windows, serves them until DONE is set
// and writes the number of commands they received to RESULT.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "benchutil.h"
#include "commands_windows.h"
#include "core/commands.h"
#include "dllcomm.h"
#include "wintable.h"

using namespace qp;

namespace {

constexpr DWORD kChildWaitMs = 60000;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string ProgramPath() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string UniqueName(const char* stem, int n) {
  return std::string("qp_bench_") + stem + "_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(n);
}

int ServeWindows(int count, const char* ready, const char* done, const char* result) {
  if (!InitShareInfo()) return 10;
  std::uint64_t received = 0;
  int status = 0;
  {
    test::CommandWindows windows;
    if (!windows.Create(count)) status = 11;
    for (int i = 0; status == 0 && i < count; ++i) {
      if (!RegisterWindow(windows.at(i), CommandMessageId())) status = 12;
    }
    unique_handle doneEvent(::CreateEventA(nullptr, TRUE, FALSE, done));
    unique_handle readyEvent(::CreateEventA(nullptr, TRUE, FALSE, ready));
    ::SetEvent(readyEvent.get());
    windows.ServeUntil(doneEvent.get(), kChildWaitMs);
    for (int i = 0; i < count; ++i) UnregisterWindow(windows.at(i));
    received = windows.TotalReceived();
  }
  std::ofstream(result) << received << '\n';
  ReleaseShareInfo();
  return status;
}

void ClearTable() {
  WinList* table = GetWinList();
  std::memset(table->records, 0, table->capacity * sizeof(WinSlot));
}

std::uint32_t RecordsInUse() {
  std::vector<CWinHandle> windows;
  EnumerateWindows(windows);
  return static_cast<std::uint32_t>(windows.size());
}

// Times broadcasts to count windows that live in a second process.
bool TimeBroadcast(int count, int broadcasts) {
  const std::string ready = UniqueName("ready", count), done = UniqueName("done", count);
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string result = std::string(temp) + UniqueName("received", count) + ".txt";
  unique_handle readyEvent(::CreateEventA(nullptr, TRUE, FALSE, ready.c_str()));
  unique_handle doneEvent(::CreateEventA(nullptr, TRUE, FALSE, done.c_str()));

  std::string command = Quote(ProgramPath()) + " --windows " + std::to_string(count) + " " + Quote(ready) + " " +
                        Quote(done) + " " + Quote(result);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  ::CloseHandle(pi.hThread);
  unique_handle process(pi.hProcess);
  const HANDLE started[] = {readyEvent.get(), process.get()};
  if (::WaitForMultipleObjects(2, started, FALSE, kChildWaitMs) != WAIT_OBJECT_0) return false;

  const std::uint32_t registered = RecordsInUse();
  const double nanos = bench::MedianNanos(broadcasts, 1, [] { BroadcastToWindows(CMD_SETTINGS_CHANGED); });
  ::SetEvent(doneEvent.get());
  DWORD exitCode = 1;
  if (::WaitForSingleObject(process.get(), kChildWaitMs) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &exitCode);
  std::uint64_t received = 0;
  std::ifstream(result) >> received;
  ::DeleteFileA(result.c_str());

  const std::string what = "BroadcastToWindows, " + std::to_string(count) + " live windows in another process";
  bench::Report(what.c_str(), nanos);
  std::printf("    %u records in use; %llu of %llu messages delivered; child exit %lu\n", registered,
              static_cast<unsigned long long>(received), static_cast<unsigned long long>(count) * broadcasts,
              exitCode);
  return exitCode == 0 && received == static_cast<std::uint64_t>(count) * broadcasts;
}

// Times RegisterWindow of one more window on a table with inUse records in
// use (records 0 to inUse-1); the window is taken out again between calls.
void TimeRegister(std::uint32_t inUse, const char* what) {
  ClearTable();
  const auto handle = [](std::uint32_t i) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10000 + 4 * i)); };
  for (std::uint32_t i = 0; i < inUse; ++i) RegisterWindow(handle(i), CommandMessageId());
  const HWND extra = handle(kWinTableCapacity);
  std::vector<double> perCall;
  bool allRegistered = true;
  for (int rep = 0; rep < 201; ++rep) {
    const auto start = std::chrono::steady_clock::now();
    allRegistered = RegisterWindow(extra, CommandMessageId()) && allRegistered;
    const auto end = std::chrono::steady_clock::now();
    perCall.push_back(std::chrono::duration<double, std::nano>(end - start).count());
    UnregisterWindow(extra);
  }
  std::sort(perCall.begin(), perCall.end());
  bench::Report(what, perCall[perCall.size() / 2]);
  if (!allRegistered) std::printf("    a registration failed\n");
  ClearTable();
}

}  // namespace

int main(int argc, char** argv) {
  CreateChannelLocks();
  int status = 0;
  if (argc == 6 && std::strcmp(argv[1], "--windows") == 0) {
    status = ServeWindows(std::atoi(argv[2]), argv[3], argv[4], argv[5]);
  } else if (!InitShareInfo()) {
    std::fprintf(stderr, "the shared region could not be mapped\n");
    status = 1;
  } else {
    std::printf("window table (Windows build)\n");
    ClearTable();
    const struct {
      int windows;
      int broadcasts;
    } runs[] = {{1, 101}, {64, 51}, {512, 11}};
    for (const auto& run : runs) {
      if (!TimeBroadcast(run.windows, run.broadcasts)) status = 2;
      ClearTable();
    }
    TimeRegister(kWinTableCapacity - 1, "RegisterWindow, 511 records in use (takes the last one)");
    TimeRegister(0, "RegisterWindow, empty table (for comparison)");
    ReleaseShareInfo();
  }
  DeleteChannelLocks();
  return status;
}
