#include "shortcut.h"

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>

#include "comerror.h"

namespace qp {

namespace {

constexpr int kShowNormal = SW_SHOWNORMAL;

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// The file-system path of a shell special folder.
bool SpecialFolderPath(int folder, char (&path)[MAX_PATH]) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(::SHGetSpecialFolderLocation(nullptr, folder, &items)) || items == nullptr) return false;
  const bool found = ::SHGetPathFromIDListA(items, path) != FALSE;
  Microsoft::WRL::ComPtr<IMalloc> shellAllocator;
  if (SUCCEEDED(::SHGetMalloc(&shellAllocator))) shellAllocator->Free(items);
  return found;
}

// folder + "\" (when it does not end in one) + name, when it fits the buffer.
bool JoinPath(const char* folder, const char* name, char (&joined)[kShortcutPathChars]) {
  const std::size_t folderLength = std::strlen(folder);
  const bool separator = folderLength > 0 && folder[folderLength - 1] != '\\';
  const std::size_t nameLength = std::strlen(name);
  const std::size_t total = folderLength + (separator ? 1 : 0) + nameLength;
  if (total >= kShortcutPathChars) return false;
  std::memcpy(joined, folder, folderLength);
  std::size_t at = folderLength;
  if (separator) joined[at++] = '\\';
  std::memcpy(joined + at, name, nameLength);
  joined[total] = '\0';
  return true;
}

}  // namespace

bool CreateShortcutFile(const char* target, const char* description, const char* workingFolder,
                        const char* linkName, int folder) {
  if (linkName == nullptr) return false;
  Microsoft::WRL::ComPtr<IShellLinkA> link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)))) return false;
  link->SetPath(TextOrEmpty(target));
  link->SetDescription(TextOrEmpty(description));
  link->SetShowCmd(kShowNormal);
  link->SetWorkingDirectory(TextOrEmpty(workingFolder));

  Microsoft::WRL::ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file))) return false;

  char folderPath[MAX_PATH] = {};
  if (!SpecialFolderPath(folder, folderPath)) return false;
  char fullPath[kShortcutPathChars] = {};
  if (!JoinPath(folderPath, linkName, fullPath)) return false;

  wchar_t widePath[kShortcutPathChars] = {};
  if (::MultiByteToWideChar(CP_ACP, 0, fullPath, -1, widePath, static_cast<int>(kShortcutPathChars)) == 0) {
    return false;
  }
  file->Save(widePath, TRUE);
  return true;
}

}  // namespace qp
