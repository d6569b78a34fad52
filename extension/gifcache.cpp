#include "gifcache.h"

#include "handles.h"
#include "module.h"

namespace qp {

namespace {

constexpr DWORD kOpenPreconfig = INTERNET_OPEN_TYPE_PRECONFIG;

std::unique_ptr<CGifCache> g_cache;
int g_cacheRefs = 0;

}  // namespace

CGifCache::CGifCache(const WininetEntries& wininet) : wininet_(wininet) {
  ::InitializeCriticalSection(&animatedLock_);
  ::InitializeCriticalSection(&stillLock_);
  try {
    buffer_.resize(kGifBufferSize);
  } catch (const std::bad_alloc&) {
    buffer_.clear();
  }
  if (HasBuffer() && wininet_.InternetOpenA != nullptr) {
    root_ = wininet_.InternetOpenA(nullptr, kOpenPreconfig, nullptr, nullptr, INTERNET_FLAG_OFFLINE);
  }
}

CGifCache::~CGifCache() {
  ::DeleteCriticalSection(&stillLock_);
  ::DeleteCriticalSection(&animatedLock_);
  if (root_ != nullptr && wininet_.InternetCloseHandle != nullptr) wininet_.InternetCloseHandle(root_);
}

bool InitGifCache() {
  CriticalSectionLock lock(module::ImageCacheLock());
  if (!g_cache) {
    try {
      g_cache = std::make_unique<CGifCache>(BoundWininet());
    } catch (...) {
      return false;  // no cache: every image counts as not animated
    }
  }
  ++g_cacheRefs;
  return true;
}

void ReleaseGifCache() {
  CriticalSectionLock lock(module::ImageCacheLock());
  if (g_cacheRefs == 0) return;
  if (--g_cacheRefs == 0) g_cache.reset();
}

CGifCache* CurrentGifCache() {
  CriticalSectionLock lock(module::ImageCacheLock());
  return g_cache.get();
}

int GifCacheRefs() {
  CriticalSectionLock lock(module::ImageCacheLock());
  return g_cacheRefs;
}

}  // namespace qp
