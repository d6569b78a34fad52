// Host lists by index and host names of URLs.
#pragma once

#include <string>

namespace qp {

// Tray program side: the text a user typed, with or without a scheme, split
// by the system's URL splitter. Empty when it cannot be split.
namespace tray {
std::string GetUrlHost(const char* text);
}

// Browser side: the page address as the browser reports it, matched by the
// two host patterns (compiled once per process under their own lock).
namespace browser {
std::string GetUrlHost(const char* address);
}

// Operations of the tray program by list index; every exception inside is
// caught and dropped, so a bad index or a missing region changes nothing.
void AddUrlToList(int index, const char* url);
void RemoveUrlFromList(int index, const char* url);
void ClearList(int index);
// Load or save list i with the i-th list file, in the current directory.
bool LoadAllLists();
bool SaveAllLists();

// Whether the host of a page address is on the white list (list 0).
bool IsUrlWhiteListed(const wchar_t* url);

}  // namespace qp
