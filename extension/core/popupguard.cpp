#include "popupguard.h"

#include "commands.h"

namespace qp {

namespace {

constexpr std::string_view kScriptWords[] = {"javascript", "vbscript"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view lowerWord) {
  if (text.size() < lowerWord.size()) return false;
  for (std::size_t i = 0; i < lowerWord.size(); ++i) {
    if (LowerAscii(text[i]) != lowerWord[i]) return false;
  }
  return true;
}

}  // namespace

bool IsScriptAddress(std::string_view address) {
  std::size_t start = 0;
  while (start < address.size() && IsBlank(address[start])) ++start;
  address.remove_prefix(start);
  for (std::string_view word : kScriptWords) {
    if (StartsWithNoCase(address, word)) return true;
  }
  return false;
}

void CPopupGuard::OnUserMove() {
  SetAllow(false);
  scriptUnload_ = false;
}

void CPopupGuard::OnBeforeNavigate(const char* address) {
  scriptLink_ = false;
  if (address == nullptr) return;
  scriptLink_ = IsScriptAddress(address);
}

void CPopupGuard::OnWindowEvent(std::int32_t code) {
  switch (code) {
    case kDispIdWindowOnload:
    case kDispIdWindowOnunload:
      SetAllow(false);
      break;
    case kDispIdWindowOnbeforeunload:
      // A script link that unloads the page may open the next window.
      if (scriptLink_) scriptUnload_ = true;
      scriptLink_ = false;
      SetAllow(false);
      break;
    case ONLOAD_HOOK_CODE:
      scriptUnload_ = false;
      SetAllow(false);
      break;
    default:
      break;
  }
}

void CPopupGuard::OnBrowserQuit() {
  quitting_ = true;
  scriptUnload_ = false;
}

void CPopupGuard::Reset() {
  scriptUnload_ = false;
  SetAllow(false);
}

// The rules in the order they are tested; the first that lets the window open wins.
bool CPopupGuard::ShouldCancel() {
  const ShareInfo* info = env_.Settings();
  if (info == nullptr || info->Enable == 0 || info->KillPopup == 0) return false;
  if (env_.ShiftOrCtrlHeld()) return false;
  std::wstring address;
  if (!env_.PageAddress(address)) return false;
  if (env_.IsWhiteListed(address)) return false;
  if (scriptUnload_) return false;
  return quitting_ || !allow_;
}

void CPopupGuard::Decide(std::int16_t& cancel) {
  const bool cancelIt = ShouldCancel();
  if (cancelIt) cancel = kCancelSet;
  Reset();
}

void CPopupGuard::OnNewWindow(std::int16_t& cancel, const std::function<void()>& openHidden) {
  Decide(cancel);
  ShareInfo* info = env_.Settings();
  if (info == nullptr) return;
  if (cancel != kCancelClear && info->DELAYCLOSE != 0) {
    // The tray program closes the hidden window later and does its own
    // sound, flash and count.
    cancel = kCancelClear;
    if (openHidden) openHidden();
  }
  if (cancel != kCancelClear && info->BEEP != 0) env_.PlayKillSound();
  if (cancel != kCancelClear && info->FlashIcon != 0) env_.PostToTray(CMD_FLASH_ICON, 0);
  if (cancel != kCancelClear) {
    // A plain increment, shared with other processes without a lock; it
    // wraps instead of overflowing.
    info->BlockCount = static_cast<std::int32_t>(static_cast<std::uint32_t>(info->BlockCount) + 1u);
  }
}

}  // namespace qp
