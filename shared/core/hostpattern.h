// Host of a page address as the browser reports it, found with two regular
// expressions: "http://([^:/]+)" anywhere in the text, else the first run of
// characters that are neither ':' nor '/'. Compiling the patterns is the
// expensive part, so one HostPatterns object serves a whole process; matching
// on it is safe from several threads at once. Portable: no Windows API.
#pragma once

#include <regex>
#include <string>
#include <string_view>

namespace qp {

// Only this many leading characters of an address are searched. The regular
// expression engine recurses once per matched character, and a browser
// thread's stack is small; no host that a list can hold (30 characters) is
// found further in than this in any address a browser produces.
constexpr std::size_t kMaxHostSearchChars = 1024;

class HostPatterns {
 public:
  HostPatterns();

  // The host, or the empty text when neither pattern matches.
  std::string Extract(std::string_view address) const;

 private:
  std::regex withScheme_;
  std::regex firstRun_;
};

}  // namespace qp
