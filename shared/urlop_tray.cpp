// The tray program's list operations by index, and its host splitter, which
// links the system's URL splitter.
#include <windows.h>
#include <wininet.h>

#include <cstring>

#include "dllcomm.h"
#include "urlop.h"

namespace qp {

namespace {
constexpr char kWebScheme[] = "http://";
constexpr DWORD kWebSchemeChars = 7;
constexpr DWORD kPartBuffer = 255;
}  // namespace

std::string tray::GetUrlHost(const char* text) {
  if (text == nullptr) return std::string();
  std::string url = text;
  if (url.size() < kWebSchemeChars || ::_strnicmp(url.c_str(), kWebScheme, kWebSchemeChars) != 0) {
    url = kWebScheme + url;
  }
  char scheme[kPartBuffer], host[kPartBuffer], user[kPartBuffer], password[kPartBuffer],
      path[kPartBuffer], extra[kPartBuffer];
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszScheme = scheme;
  parts.dwSchemeLength = kPartBuffer;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kPartBuffer;
  parts.lpszUserName = user;
  parts.dwUserNameLength = kPartBuffer;
  parts.lpszPassword = password;
  parts.dwPasswordLength = kPartBuffer;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPartBuffer;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = kPartBuffer;
  if (!::InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), ICU_DECODE, &parts)) {
    return std::string();
  }
  return std::string(host, strnlen(host, kPartBuffer));
}

void AddUrlToList(int index, const char* url) {
  try {
    GetUrlList(index).Add(tray::GetUrlHost(url).c_str());
  } catch (...) {
  }
}

void RemoveUrlFromList(int index, const char* url) {
  try {
    GetUrlList(index).Remove(tray::GetUrlHost(url).c_str());
  } catch (...) {
  }
}

void ClearList(int index) {
  try {
    GetUrlList(index).Clear();
  } catch (...) {
  }
}

bool LoadAllLists() {
  for (int i = 0; i < kListCount; ++i) {
    try {
      GetUrlList(i).LoadFile(kListFile[i]);
    } catch (...) {
    }
  }
  return true;
}

bool SaveAllLists() {
  for (int i = 0; i < kListCount; ++i) {
    try {
      GetUrlList(i).SaveFile(kListFile[i]);
    } catch (...) {
    }
  }
  return true;
}

}  // namespace qp
