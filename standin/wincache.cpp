#include "wincache.h"

#include <windows.h>
#include <wininet.h>

#include "com.h"

namespace standin {

namespace {

std::string Extension(const std::string& url) {
  const auto query = url.find_first_of("?#");
  const std::string path = url.substr(0, query);
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return path.substr(dot + 1);
}

std::string LastErrorText(const char* call) { return std::string(call) + " failed with error " + std::to_string(::GetLastError()); }

}  // namespace

bool StoreDownloadedFile(const std::string& url, const std::vector<unsigned char>& bytes, std::string* error) {
  const std::string extension = Extension(url);
  char file[MAX_PATH] = {};
  if (!::CreateUrlCacheEntryA(url.c_str(), static_cast<DWORD>(bytes.size()),
                              extension.empty() ? nullptr : extension.c_str(), file, 0)) {
    *error = LastErrorText("CreateUrlCacheEntryA");
    return false;
  }
  {
    unique_hfile out(::CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!out || !::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      *error = LastErrorText("writing the cache file");
      ::DeleteFileA(file);
      return false;
    }
  }
  // The response headers a download of this file would have stored.
  const std::string headers = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(bytes.size()) + "\r\n\r\n";
  const FILETIME never = {};
  if (!::CommitUrlCacheEntryA(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY,
                              reinterpret_cast<BYTE*>(const_cast<char*>(headers.data())),
                              static_cast<DWORD>(headers.size()), extension.empty() ? nullptr : extension.c_str(),
                              nullptr)) {
    *error = LastErrorText("CommitUrlCacheEntryA");
    ::DeleteFileA(file);
    return false;
  }
  return true;
}

}  // namespace standin
