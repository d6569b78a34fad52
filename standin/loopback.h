// Serves downloaded images over HTTP on the loopback address, for systems
// whose WinInet does not read its cache when it is offline (Wine 8 goes to the
// network instead). Only images whose address is http://127.0.0.1:PORT/...
// are served, on that port, and each only after a page has downloaded it,
// so that an image the browser has not stored yet is still not found.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace standin {

class LoopbackServer {
 public:
  // Opens a listening socket for every port that a downloaded image names;
  // false (reported) when one cannot be opened.
  static bool Start(const Scenario& scenario);
  static void Stop();
  // A page has downloaded the image at url: from now on it is served.
  static void Offer(const std::string& url, const std::vector<unsigned char>* bytes);
};

}  // namespace standin
