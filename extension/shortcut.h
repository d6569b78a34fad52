// Shell shortcuts written by the library's CreateShortcut export.
#pragma once

#include <windows.h>

#include <cstddef>

namespace qp {

// The size of the buffer that holds the shortcut's full path.
constexpr std::size_t kShortcutPathChars = MAX_PATH + 1;

// Writes a shortcut file named linkName into the shell special folder
// `folder` (a CSIDL number), pointing at target, with the description and
// working folder given and a normal window. True when the link object, its
// persist interface and the folder's path were had and the full path fits
// the buffer; the save itself is not checked. The caller's thread must have
// COM initialised.
bool CreateShortcutFile(const char* target, const char* description, const char* workingFolder,
                        const char* linkName, int folder);

}  // namespace qp
