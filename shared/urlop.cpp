// UrlList: the slot operations of one host list under its named mutex, and
// its list file.
#include <windows.h>

#include "core/listfile.h"
#include "dllcomm.h"

namespace qp {

namespace {

int CompareSystemNoCase(const char* a, const char* b) { return ::lstrcmpiA(a, b); }

constexpr DWORD kFileChunk = 64 * 1024;
constexpr char kNewLine[] = "\r\n";

bool WriteAll(HANDLE file, const char* data, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

void UrlList::Attach(std::uint8_t* first, unique_handle mutex, std::uint32_t capacity) {
  first_ = first;
  mutex_ = std::move(mutex);
  capacity_ = capacity;
}

bool UrlList::Find(const char* text) {
  if (!IsSearchableText(text) || !Mapped()) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;
  return Slots().FindIndex(text, CompareSystemNoCase) >= 0;
}

bool UrlList::Remove(const char* text) {
  if (!IsSearchableText(text) || !Mapped()) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;
  const int index = Slots().FindIndex(text, CompareSystemNoCase);
  if (index < 0) return false;
  Slots().Free(static_cast<std::uint32_t>(index));
  return true;
}

bool UrlList::Add(const char* text) {
  // An empty text could never be found or removed again, and a longer one
  // would not fit its slot: both are refused.
  if (!IsStorableText(text) || !Mapped()) return false;
  if (Find(text)) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;
  return Slots().Store(text);
}

bool UrlList::Clear() {
  if (!Mapped()) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;
  Slots().Clear();
  return true;
}

bool UrlList::GetAll(std::vector<std::string>& out) {
  if (!Mapped()) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;
  Slots().AppendEntries(out);
  return true;
}

bool UrlList::LoadFile(const char* fileName) {
  unique_hfile file(::CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  ListFileReader reader([this](const std::string& entry) { Add(entry.c_str()); });
  std::string chunk(kFileChunk, '\0');
  DWORD read = 0;
  while (::ReadFile(file.get(), &chunk[0], kFileChunk, &read, nullptr) && read > 0) {
    reader.Feed(chunk.data(), read);
  }
  reader.Finish();
  return true;
}

bool UrlList::SaveFile(const char* fileName) {
  if (!Mapped()) return false;
  NamedLock lock(mutex_.get(), kListWaitMs);
  if (!lock.locked()) return false;

  // Written beside the list file first and then put in its place, so a write
  // that fails half-way leaves the old file whole.
  const std::string temp = std::string(fileName) + ".tmp";
  {
    unique_hfile file(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::vector<std::string> entries;
    Slots().AppendEntries(entries);
    std::string text;
    for (const std::string& entry : entries) text += entry + kNewLine;
    if (!WriteAll(file.get(), text.data(), static_cast<DWORD>(text.size()))) {
      file.reset();
      ::DeleteFileA(temp.c_str());
      return false;
    }
  }
  if (!::MoveFileExA(temp.c_str(), fileName, MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace qp
