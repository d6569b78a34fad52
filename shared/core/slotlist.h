// Operations on the 32-byte slots of one host list inside the shared region.
// The region can be written by any process on the desktop, so every read is
// bounded by the slot: a text is at most 31 bytes even when no zero byte ends
// it. Callers hold the list's lock around each call. Portable: no Windows API.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout.h"

namespace qp {

// Compares two texts; 0 when they are equal. The Windows build passes the
// system's case-insensitive comparison, the native build an ASCII one.
using TextCompare = int (*)(const char* a, const char* b);

int CompareAsciiNoCase(const char* a, const char* b);

// A text that Find and Remove may look for: not empty and at most 31 characters.
bool IsSearchableText(const char* text);
// A text that a slot can hold: not empty and at most 30 characters.
bool IsStorableText(const char* text);

class SlotSpan {
 public:
  SlotSpan(std::uint8_t* first, std::uint32_t capacity) : first_(first), capacity_(capacity) {}

  std::uint32_t capacity() const { return capacity_; }
  bool InUse(std::uint32_t index) const;
  // Copies the text of a slot into out, always zero-terminated.
  void ReadText(std::uint32_t index, char (&out)[kSlotTextBytes + 1]) const;

  // Index of the first slot in use whose text equals text, or -1.
  int FindIndex(const char* text, TextCompare compare) const;
  // Stores text in the free slot with the lowest index; false when the text
  // is not storable or no slot is free.
  bool Store(const char* text);
  void Free(std::uint32_t index);
  void Clear();
  // Appends the texts of the slots in use, in slot order.
  void AppendEntries(std::vector<std::string>& out) const;

 private:
  std::uint8_t* Slot(std::uint32_t index) const { return first_ + index * kSlotSize; }

  std::uint8_t* first_;
  std::uint32_t capacity_;
};

}  // namespace qp
