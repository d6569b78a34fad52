// The table of watched browser windows in the shared region, the broadcast of
// commands to them, posting to the tray program, and the test for a running
// tray program.
//
// Error policy: truth values only, nothing is shown or raised (apart from
// std::bad_alloc of the enumeration list). A table lock not obtained within
// its limit is a plain failure. The region can be written by any process, so
// nothing read from it is trusted: a record counts as in use only when its
// flag is exactly 1, and a window handle from the table or from TrayWnd gets a
// message only after IsWindow confirms it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qp {

// Window handle and message id of one record in use, as enumeration copies it.
struct CWinHandle {
  HWND hwnd;
  UINT msgId;
};

// Time a broadcast waits for each window.
constexpr UINT kBroadcastTimeoutMs = 100;

// Adds the window to the table. True when it is in the table afterwards
// (also when it already was); false when the lock was not obtained, the table
// is full, the handle is null, or there is no mapped region.
bool RegisterWindow(HWND hwnd, UINT msgId);
// Frees the window's record. False only when the table lock was not obtained
// (or there is no mapped region); true whether or not the window was found.
bool UnregisterWindow(HWND hwnd);
// Appends the record of every window in use, in record order. False, with
// nothing appended, when the lock was not obtained.
bool EnumerateWindows(std::vector<CWinHandle>& out);

// Applies a mode code (120 to 330) to ShareInfo, then sends the command
// message with wParam = code to every live window in the table, waiting at
// most kBroadcastTimeoutMs for each. Records of windows that are gone are
// freed and get no message.
void BroadcastToWindows(std::uint32_t code);

// Posts the command message to the tray program's window (TrayWnd). False
// when there is no region, no message id, or TrayWnd names no window.
bool PostToTrayProgram(std::uint32_t code, LPARAM lParam = 0);

// The id of "vex_dlg_message1" in this process (0 when it cannot be registered).
UINT CommandMessageId();

// Whether a tray program runs: its event "Quellpane_Event1" exists.
bool IsTrayProgramRunning();

}  // namespace qp
