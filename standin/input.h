// Real input through SendInput: the pointer, the mouse buttons and keys.
#pragma once

#include <windows.h>

namespace standin {

// Moves the pointer to a screen point with one absolute movement; true when
// the pointer is there afterwards.
bool MovePointer(POINT screen);
bool PressButton(bool right, bool down);
bool PressKey(WORD vk, bool down);

}  // namespace standin
