#include "hostpattern.h"

namespace qp {

HostPatterns::HostPatterns()
    : withScheme_("http://([^:/]+)", std::regex::icase | std::regex::ECMAScript),
      firstRun_("[^:/]+", std::regex::icase | std::regex::ECMAScript) {}

std::string HostPatterns::Extract(std::string_view address) const {
  if (address.size() > kMaxHostSearchChars) address = address.substr(0, kMaxHostSearchChars);
  std::cmatch m;
  const char* begin = address.data();
  const char* end = begin + address.size();
  if (std::regex_search(begin, end, m, withScheme_)) return m[1].str();
  if (std::regex_search(begin, end, m, firstRun_)) return m[0].str();
  return std::string();
}

}  // namespace qp
