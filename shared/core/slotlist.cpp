#include "slotlist.h"

#include <cstring>

namespace qp {

namespace {
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

int CompareAsciiNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const char x = AsciiLower(*a);
    const char y = AsciiLower(*b);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    if (x == '\0') return 0;
  }
}

bool IsSearchableText(const char* text) {
  if (text == nullptr) return false;
  const std::size_t n = strnlen(text, kSlotTextBytes + 1);
  return n > 0 && n <= kSlotTextBytes;
}

bool IsStorableText(const char* text) {
  if (text == nullptr) return false;
  const std::size_t n = strnlen(text, kSlotMaxChars + 1);
  return n > 0 && n <= kSlotMaxChars;
}

bool SlotSpan::InUse(std::uint32_t index) const { return Slot(index)[0] != kSlotFree; }

void SlotSpan::ReadText(std::uint32_t index, char (&out)[kSlotTextBytes + 1]) const {
  std::memcpy(out, Slot(index) + kSlotTextOffset, kSlotTextBytes);
  out[kSlotTextBytes] = '\0';
}

int SlotSpan::FindIndex(const char* text, TextCompare compare) const {
  char stored[kSlotTextBytes + 1];
  for (std::uint32_t i = 0; i < capacity_; ++i) {
    if (!InUse(i)) continue;
    ReadText(i, stored);
    if (compare(stored, text) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool SlotSpan::Store(const char* text) {
  if (!IsStorableText(text)) return false;
  for (std::uint32_t i = 0; i < capacity_; ++i) {
    if (InUse(i)) continue;
    std::uint8_t* slot = Slot(i);
    slot[0] = kSlotInUse;
    std::memcpy(slot + kSlotTextOffset, text, std::strlen(text) + 1);
    return true;
  }
  return false;
}

void SlotSpan::Free(std::uint32_t index) {
  if (index < capacity_) Slot(index)[0] = kSlotFree;
}

void SlotSpan::Clear() {
  for (std::uint32_t i = 0; i < capacity_; ++i) Slot(i)[0] = kSlotFree;
}

void SlotSpan::AppendEntries(std::vector<std::string>& out) const {
  char stored[kSlotTextBytes + 1];
  for (std::uint32_t i = 0; i < capacity_; ++i) {
    if (!InUse(i)) continue;
    ReadText(i, stored);
    out.emplace_back(stored);
  }
}

}  // namespace qp
