#include "input.h"

namespace standin {

namespace {

constexpr int kNormalizedRange = 65536;
constexpr int kSettleTries = 50;
constexpr DWORD kSettleStepMs = 10;

LONG Normalize(LONG pixel, int extent) {
  // The centre of the pixel, so that rounding either way lands on it.
  return static_cast<LONG>((static_cast<long long>(pixel) * kNormalizedRange + kNormalizedRange / 2) / extent);
}

bool Send(INPUT& input) { return ::SendInput(1, &input, sizeof(INPUT)) == 1; }

}  // namespace

bool MovePointer(POINT screen) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = Normalize(screen.x, ::GetSystemMetrics(SM_CXSCREEN));
  input.mi.dy = Normalize(screen.y, ::GetSystemMetrics(SM_CYSCREEN));
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  if (!Send(input)) return false;
  for (int i = 0; i < kSettleTries; ++i) {
    POINT at;
    if (::GetCursorPos(&at) && at.x == screen.x && at.y == screen.y) return true;
    ::Sleep(kSettleStepMs);
  }
  return false;
}

bool PressButton(bool right, bool down) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                           : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  return Send(input);
}

bool PressKey(WORD vk, bool down) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, 0));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  return Send(input);
}

}  // namespace standin
