// The popup decision of one browser window: evidence of what the user did
// (key presses, clicks) and of what the page did (loads, unloads, script
// links), and the answer to each new-window request. Plain state with plain
// operations; everything it needs from outside comes through PopupEnvironment,
// so the whole decision runs without a browser. Portable: no Windows API.
//
// All operations run on the thread of the guard's browser window; nothing is
// locked. Failures of the environment surface as exceptions and are caught by
// the caller at the boundary to the browser.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "layout.h"

namespace qp {

// The program's own dispatch code: the onload hook of a page window fired.
constexpr std::int32_t ONLOAD_HOOK_CODE = static_cast<std::int32_t>(0x80011790u);
// Dispatch ids of the page window's events.
constexpr std::int32_t kDispIdWindowOnload = 1003;
constexpr std::int32_t kDispIdWindowOnunload = 1008;
constexpr std::int32_t kDispIdWindowOnbeforeunload = 1017;

// Values of the browser's Cancel flag (a VARIANT_BOOL).
constexpr std::int16_t kCancelSet = -1;
constexpr std::int16_t kCancelClear = 0;

// What the guard reads from and does to the world around it.
class PopupEnvironment {
 public:
  // The settings and counters block, or null while the process has no region.
  virtual ShareInfo* Settings() = 0;
  // Whether Shift or Ctrl is held right now.
  virtual bool ShiftOrCtrlHeld() = 0;
  // The address of the page shown in the guard's browser window; false when
  // it cannot be read.
  virtual bool PageAddress(std::wstring& address) = 0;
  // Whether the host of an address is on the white list.
  virtual bool IsWhiteListed(const std::wstring& address) = 0;
  // The sound of a killed popup.
  virtual void PlayKillSound() = 0;
  // Posts a command code with an argument to the tray program.
  virtual void PostToTray(std::uint32_t code, std::intptr_t lParam) = 0;

 protected:
  ~PopupEnvironment() = default;
};

// Whether a navigation address, as 8-bit text, goes to a script: after leading
// white space it begins with the word javascript or vbscript, in any case.
bool IsScriptAddress(std::string_view address);

class CPopupGuard {
 public:
  explicit CPopupGuard(PopupEnvironment& environment) : env_(environment) {}
  CPopupGuard(const CPopupGuard&) = delete;
  CPopupGuard& operator=(const CPopupGuard&) = delete;

  void SetAllow(bool allow) { allow_ = allow; }
  void OnUserKey() { SetAllow(true); }
  void OnUserClick() { SetAllow(true); }
  void OnUserMove();
  // address: the navigation's address as 8-bit text, or null when the event's
  // argument held no text.
  void OnBeforeNavigate(const char* address);
  void OnNavigateComplete() { scriptUnload_ = false; }
  void OnDocumentComplete() { scriptUnload_ = false; }
  // A page-window event (1003, 1008, 1017) or ONLOAD_HOOK_CODE; others do nothing.
  void OnWindowEvent(std::int32_t code);
  void OnBrowserQuit();

  // Answers one new-window request: may set cancel; always consumes the
  // gesture and the script-link unload.
  void Decide(std::int16_t& cancel);

  // A whole new-window request: Decide, then the steps that follow a cancel
  // (set by Decide or already set on arrival): with delayed closing the
  // cancel is cleared and openHidden runs; otherwise the kill sound, the
  // tray program's icon flash and the count of blocked windows.
  void OnNewWindow(std::int16_t& cancel, const std::function<void()>& openHidden);

  bool allow() const { return allow_; }
  bool quitting() const { return quitting_; }
  bool scriptLink() const { return scriptLink_; }
  bool scriptUnload() const { return scriptUnload_; }

 private:
  bool ShouldCancel();
  void Reset();

  bool allow_ = false;
  bool quitting_ = false;
  bool scriptLink_ = false;
  bool scriptUnload_ = false;
  PopupEnvironment& env_;
};

}  // namespace qp
