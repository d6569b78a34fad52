// A list's slots as another process may have left them: any bytes at all.
// Every read must stay inside the block, and stores must keep the layout.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "slotlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::uint32_t kSlots = 8;
  std::vector<std::uint8_t> block(kSlots * qp::kSlotSize);
  std::memcpy(block.data(), data, size < block.size() ? size : block.size());
  qp::SlotSpan slots(block.data(), kSlots);

  std::string probe;
  if (size > block.size()) probe.assign(reinterpret_cast<const char*>(data + block.size()), size - block.size());
  const std::string text = probe.substr(0, probe.find('\0'));

  std::vector<std::string> entries;
  slots.AppendEntries(entries);
  for (const std::string& e : entries) {
    if (e.size() > qp::kSlotTextBytes) std::abort();
  }
  if (qp::IsSearchableText(text.c_str())) slots.FindIndex(text.c_str(), qp::CompareAsciiNoCase);
  const bool stored = slots.Store(text.c_str());
  if (stored && slots.FindIndex(text.c_str(), qp::CompareAsciiNoCase) < 0) std::abort();
  if (stored != (qp::IsStorableText(text.c_str()) && entries.size() < kSlots)) std::abort();
  return 0;
}
