// The browser's cache of downloaded files (WinInet), where a downloaded
// image is stored so that a later offline read finds it.
#pragma once

#include <string>
#include <vector>

namespace standin {

// Stores bytes under url as a committed cache entry; false with a reason otherwise.
bool StoreDownloadedFile(const std::string& url, const std::vector<unsigned char>& bytes, std::string* error);

}  // namespace standin
