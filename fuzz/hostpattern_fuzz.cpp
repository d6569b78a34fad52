// Page addresses of any content and length through the host patterns.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hostpattern.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const qp::HostPatterns patterns;
  const std::string_view address(reinterpret_cast<const char*>(data), size);
  const std::string host = patterns.Extract(address);
  if (host.size() > qp::kMaxHostSearchChars) std::abort();
  if (host.find(':') != std::string::npos || host.find('/') != std::string::npos) std::abort();
  return 0;
}
