// The per-process cache of image verdicts: a download buffer, a WinInet root
// handle opened offline (so only files the browser already downloaded are
// read), and the URLs already judged. It lives from the first attached
// browser window of the process to the detach of the last one.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "inetbinding.h"

namespace qp {

constexpr std::size_t kGifBufferSize = 1048576;

class CGifCache {
 public:
  explicit CGifCache(const WininetEntries& wininet);
  ~CGifCache();
  CGifCache(const CGifCache&) = delete;
  CGifCache& operator=(const CGifCache&) = delete;

  bool HasBuffer() const { return !buffer_.empty(); }
  HINTERNET root() const { return root_; }

 private:
  WininetEntries wininet_;
  std::vector<unsigned char> buffer_;
  HINTERNET root_ = nullptr;
  std::set<std::string> animatedUrls_;
  std::set<std::string> stillUrls_;
  CRITICAL_SECTION animatedLock_;
  CRITICAL_SECTION stillLock_;
};

// One reference per attached browser window. InitGifCache is true when the
// window holds a reference; only such a window calls ReleaseGifCache, so a
// window whose cache could not be built never takes another window's away.
bool InitGifCache();
void ReleaseGifCache();
// The cache and its reference count (for tests); null and 0 when there is none.
CGifCache* CurrentGifCache();
int GifCacheRefs();

}  // namespace qp
