// Command codes carried in wParam of the registered message "vex_dlg_message1",
// shared by the tray program and the extension. Portable: no Windows API.
#pragma once

#include <cstdint>

namespace qp {

constexpr char kCommandMessageName[] = "vex_dlg_message1";
constexpr char kTrayEventName[] = "Quellpane_Event1";

enum Command : std::uint32_t {
  // Tray program to every watched browser window (broadcast).
  CMD_KILLPOPUP_CHANGED = 5,
  CMD_ENABLE_CHANGED = 7,
  CMD_REGISTER_AGAIN = 11,  // the browser window registers itself in the table again
  CMD_SETTINGS_CHANGED = 12,
  CMD_FLASH_HIDE = 120,
  CMD_FLASH_SHOW = 130,
  CMD_FLASH_STOP = 140,
  CMD_GIF_HIDE = 220,
  CMD_GIF_SHOW = 230,
  CMD_GIF_STOP = 240,
  CMD_MARQUEE_STOP = 320,
  CMD_MARQUEE_PLAY = 330,
  // Posted to the tray program's window (TrayWnd).
  CMD_SECOND_INSTANCE = 1002,
  CMD_DELAY_CLOSE = 3002,  // lParam: the hidden popup's window handle
  CMD_FLASH_ICON = 3004,
};

}  // namespace qp
