#include "guardenv.h"

#include "dllcomm.h"
#include "handles.h"
#include "module.h"
#include "urlop.h"
#include "wintable.h"

namespace qp {

namespace {

KillSoundCalls g_soundCalls = {::MessageBeep, ::Beep};

bool KeyHeld(int key) { return ::GetKeyState(key) < 0; }  // high bit of the state

}  // namespace

KillSoundCalls SetKillSoundCalls(const KillSoundCalls& calls) {
  const KillSoundCalls previous = g_soundCalls;
  g_soundCalls = calls;
  return previous;
}

void PlayKillSound() {
  if (module::IsWin9x()) {
    g_soundCalls.messageBeep(0);
  } else {
    g_soundCalls.beep(kKillBeepHz, kKillBeepMs);
  }
}

ShareInfo* BrowserPopupEnvironment::Settings() { return GetShareInfo(); }

bool BrowserPopupEnvironment::ShiftOrCtrlHeld() { return KeyHeld(VK_SHIFT) || KeyHeld(VK_CONTROL); }

bool BrowserPopupEnvironment::PageAddress(std::wstring& address) {
  if (!browser_) return false;
  unique_bstr url;
  if (browser_->get_LocationURL(url.put()) != S_OK) return false;
  address.assign(url.get() != nullptr ? url.get() : L"", url.get() != nullptr ? ::SysStringLen(url.get()) : 0);
  return true;
}

bool BrowserPopupEnvironment::IsWhiteListed(const std::wstring& address) { return IsUrlWhiteListed(address.c_str()); }

void BrowserPopupEnvironment::PlayKillSound() { qp::PlayKillSound(); }

void BrowserPopupEnvironment::PostToTray(std::uint32_t code, std::intptr_t lParam) {
  PostToTrayProgram(code, static_cast<LPARAM>(lParam));
}

}  // namespace qp
