// Feeds arbitrary bytes, in chunks whose sizes come from the input, to the
// list-file reader and checks every entry it hands out fits a slot.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "layout.h"
#include "listfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t chunk = 1 + data[0] % 64;
  const char* text = reinterpret_cast<const char*>(data + 1);
  std::size_t rest = size - 1;
  qp::ListFileReader reader([](const std::string& entry) {
    if (entry.empty() || entry.size() > qp::kSlotMaxChars || entry.find('\n') != std::string::npos ||
        entry.find('\0') != std::string::npos) {
      std::abort();
    }
  });
  while (rest > 0) {
    const std::size_t n = rest < chunk ? rest : chunk;
    reader.Feed(text, n);
    text += n;
    rest -= n;
  }
  reader.Finish();
  return 0;
}
