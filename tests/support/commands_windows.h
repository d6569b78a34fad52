// Windows that record the commands they receive with the registered command
// message, for tests and benchmarks of the broadcast and of posts to the tray
// program. All windows of one object belong to the thread that created them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qp::test {

class CommandWindows {
 public:
  CommandWindows() = default;
  ~CommandWindows();
  CommandWindows(const CommandWindows&) = delete;
  CommandWindows& operator=(const CommandWindows&) = delete;

  // Adds count message-only windows.
  bool Create(int count);
  // The handle of window i; it stays known after Destroy.
  HWND at(int i) const { return windows_.at(i)->hwnd; }
  int size() const { return static_cast<int>(windows_.size()); }
  bool Destroy(int i);

  // Command codes (wParam) window i received, in order, and their lParams.
  const std::vector<std::uint32_t>& Received(int i) const { return windows_.at(i)->codes; }
  LPARAM FirstLParam(int i) const { return windows_.at(i)->lParams.at(0); }
  LPARAM LastLParam(int i) const { return windows_.at(i)->lParams.back(); }
  std::uint64_t TotalReceived() const;
  // WM_CLOSE requests that reached any of the windows (they are refused).
  int CloseRequests() const { return closeRequests_; }

  // Serves this thread's messages until the event is set or ms have passed.
  bool ServeUntil(HANDLE event, DWORD ms);
  // One line per window: its codes separated by spaces.
  bool WriteReceived(const std::string& path) const;

 private:
  struct Window {
    CommandWindows* owner = nullptr;
    HWND hwnd = nullptr;
    bool alive = false;
    std::vector<std::uint32_t> codes;
    std::vector<LPARAM> lParams;
  };
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::vector<std::unique_ptr<Window>> windows_;
  int closeRequests_ = 0;
};

// A file name in the temporary folder that no other test run uses.
std::string TempPath(const char* stem);

}  // namespace qp::test
