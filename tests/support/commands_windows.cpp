#include "commands_windows.h"

#include <cstdio>
#include <fstream>

#include "wintable.h"

namespace qp::test {

namespace {

constexpr char kClassName[] = "QpCommandRecorder";

bool RegisterClassOnce(WNDPROC proc) {
  static const ATOM atom = [proc] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    return ::RegisterClassA(&wc);
  }();
  return atom != 0;
}

}  // namespace

LRESULT CALLBACK CommandWindows::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* window = reinterpret_cast<Window*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (window != nullptr) {
    if (msg == CommandMessageId() && msg != 0) {
      window->codes.push_back(static_cast<std::uint32_t>(wParam));
      window->lParams.push_back(lParam);
      return 0;
    }
    if (msg == WM_CLOSE) {
      ++window->owner->closeRequests_;
      return 0;
    }
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

CommandWindows::~CommandWindows() {
  for (int i = 0; i < size(); ++i) Destroy(i);
}

bool CommandWindows::Create(int count) {
  if (!RegisterClassOnce(WindowProc)) return false;
  for (int i = 0; i < count; ++i) {
    auto window = std::make_unique<Window>();
    window->owner = this;
    window->hwnd = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     ::GetModuleHandleA(nullptr), window.get());
    if (window->hwnd == nullptr) return false;
    window->alive = true;
    windows_.push_back(std::move(window));
  }
  return true;
}

bool CommandWindows::Destroy(int i) {
  Window& window = *windows_.at(i);
  if (!window.alive) return false;
  window.alive = false;
  ::SetWindowLongPtrA(window.hwnd, GWLP_USERDATA, 0);
  return ::DestroyWindow(window.hwnd) != FALSE;
}

std::uint64_t CommandWindows::TotalReceived() const {
  std::uint64_t total = 0;
  for (const auto& window : windows_) total += window->codes.size();
  return total;
}

bool CommandWindows::ServeUntil(HANDLE event, DWORD ms) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    const DWORD spent = ::GetTickCount() - start;
    if (spent >= ms) return false;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &event, FALSE, ms - spent, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r == WAIT_FAILED) return false;
  }
}

bool CommandWindows::WriteReceived(const std::string& path) const {
  std::ofstream out(path);
  for (const auto& window : windows_) {
    for (std::size_t k = 0; k < window->codes.size(); ++k) out << (k ? " " : "") << window->codes[k];
    out << '\n';
  }
  return static_cast<bool>(out);
}

std::string TempPath(const char* stem) {
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  static LONG counter = 0;
  char name[96];
  std::snprintf(name, sizeof(name), "qp_%s_%lu_%ld.txt", stem, ::GetCurrentProcessId(),
                ::InterlockedIncrement(&counter));
  return std::string(folder) + name;
}

}  // namespace qp::test
