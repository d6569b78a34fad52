// The popup decision's surroundings in a browser process: the keyboard
// state, the page address of the helper object's browser, the white list in
// the shared region, the kill sound and the posts to the tray program.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <wrl/client.h>

#include "popupguard.h"

namespace qp {

// The two platform calls of the kill sound; tests put recorders in their place.
struct KillSoundCalls {
  BOOL(WINAPI* messageBeep)(UINT type);
  BOOL(WINAPI* beep)(DWORD frequency, DWORD duration);
};
// Installs other sound calls and returns the ones in use before.
KillSoundCalls SetKillSoundCalls(const KillSoundCalls& calls);

constexpr DWORD kKillBeepHz = 400;
constexpr DWORD kKillBeepMs = 100;

// MessageBeep(0) on Windows 95, 98 and Me; a 400 Hz beep of 100 ms elsewhere.
void PlayKillSound();

class BrowserPopupEnvironment final : public PopupEnvironment {
 public:
  // browser: the helper object's browser reference, read at every use.
  explicit BrowserPopupEnvironment(const Microsoft::WRL::ComPtr<IWebBrowser2>& browser) : browser_(browser) {}

  ShareInfo* Settings() override;
  bool ShiftOrCtrlHeld() override;
  bool PageAddress(std::wstring& address) override;
  bool IsWhiteListed(const std::wstring& address) override;
  void PlayKillSound() override;
  void PostToTray(std::uint32_t code, std::intptr_t lParam) override;

 private:
  const Microsoft::WRL::ComPtr<IWebBrowser2>& browser_;
};

}  // namespace qp
