#include "settings.h"

#include <shlwapi.h>

#include <cstring>

#include "core/settings_convert.h"

namespace qp {

namespace {

constexpr DWORD kNumberBytes = sizeof(std::uint32_t);

}  // namespace

bool ReadSettingNumber(const char* valueName, std::uint32_t& number) {
  DWORD type = REG_NONE;
  std::uint8_t buffer[kNumberBytes] = {};
  DWORD size = sizeof(buffer);
  if (::SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, valueName, &type, buffer, &size) != ERROR_SUCCESS) {
    return false;
  }
  // A shorter value fills only part of the buffer; anything but a full
  // 32-bit number is not one of our values.
  if (type != REG_DWORD || size != kNumberBytes) return false;
  std::memcpy(&number, buffer, kNumberBytes);
  return true;
}

LONG WriteSettingNumber(const char* valueName, std::uint32_t number) {
  const DWORD data = number;
  return static_cast<LONG>(
      ::SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, valueName, REG_DWORD, &data, sizeof(data)));
}

std::string GetInstallFolder() {
  char buffer[kInstallPathBufferChars];
  DWORD type = REG_NONE;
  DWORD size = sizeof(buffer);
  if (::SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, kInstallPathValue, &type, buffer, &size) != ERROR_SUCCESS) {
    return std::string();
  }
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > sizeof(buffer)) return std::string();
  // The stored text need not end in a zero; a text that fills the whole
  // buffer leaves no room for one and counts as too long.
  const void* zero = std::memchr(buffer, '\0', size);
  const std::size_t length = zero ? static_cast<const char*>(zero) - buffer : size;
  if (length >= sizeof(buffer)) return std::string();
  return std::string(buffer, length) + '\\';
}

bool IsIEStartupSet() {
  std::uint32_t number = 0;
  return ReadSettingNumber(kIEStartupValue, number) && number != 0;
}

}  // namespace qp
