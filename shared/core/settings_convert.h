// The settings stored under the registry key and how each stored number maps
// to a field of ShareInfo or to the tray program's skin; also the effect of
// the mode commands on ShareInfo. Portable: no Windows API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "layout.h"

namespace qp {

// HKEY_CURRENT_USER sub-key of every setting.
constexpr char kSettingsKey[] = "Software\\Quellpane";
constexpr char kInstallPathValue[] = "INSTALLPATH";
constexpr char kIEStartupValue[] = "IESTARTUP";

// Text buffer of the installation folder, terminating zero included.
constexpr std::size_t kInstallPathBufferChars = 260;

// The tray program's skins: 1 MacOS, 2 WinXP, 3 DeepBlue, 4 Protein, 5 BlueGlass.
constexpr std::int32_t kFirstSkin = 1;
constexpr std::int32_t kLastSkin = 5;
constexpr std::int32_t kDefaultSkin = 1;

// How a stored number feeds its field, and what is written back.
enum class SettingKind {
  Switch,     // byte field: 1 from any non-zero number; written as 0 or 1
  ByteValue,  // byte field: 1 from any non-zero number; written as the byte as it is
  Mode,       // 32-bit field: 0, 1 or 2 kept, anything else gives 0; written as it is
  Skin,       // the tray program's skin: 1 to 5 kept, anything else leaves it; written as it is
};

struct SettingValue {
  const char* name;  // the registry value name
  SettingKind kind;
  std::uint8_t ShareInfo::*byteField;  // Switch and ByteValue
  std::int32_t ShareInfo::*modeField;  // Mode
  int assertLine;                      // line reported when writing this value fails
};

// Lines of the assertions that check each write in the tray program's
// settings glue; they appear in the text of a failed write.
namespace write_line {
constexpr int WINSTARTUP = 140;
constexpr int IESTARTUP = 146;
constexpr int DELAYCLOSE = 152;
constexpr int FLASHENABLE = 158;
constexpr int GIFENABLE = 164;
constexpr int MARQENABLE = 170;
constexpr int BEEP = 176;
constexpr int IFLASH = 182;
constexpr int IGIF = 188;
constexpr int RunMarq = 194;
constexpr int UIStyle = 200;
constexpr int KillPopup = 206;
constexpr int Enable = 212;
constexpr int InPageEnable = 218;
}  // namespace write_line

constexpr std::size_t kSettingCount = 14;

// The values in the order they are written; each write is checked before the next.
extern const SettingValue kSettingsWriteOrder[kSettingCount];
// The same values in the order they are read (the skin comes last).
extern const SettingValue kSettingsReadOrder[kSettingCount];

// Stores a number read from the registry into its field or the skin.
void ApplyStoredNumber(const SettingValue& value, std::uint32_t number, ShareInfo& info, std::int32_t& skin);
// The number to store for a value.
std::uint32_t NumberToStore(const SettingValue& value, const ShareInfo& info, std::int32_t skin);

// The text shown when a settings write fails:
// "Assertion failed: nRet == ERROR_SUCCESS, file dlg/dlginit, line N".
std::string WriteAssertionText(int line);

// The mode commands (120 to 330) set IFLASH, IGIF or RunMarq before they are
// sent; true when code is one of them. Every other code leaves info as it is.
bool ApplyModeCode(std::uint32_t code, ShareInfo& info);

}  // namespace qp
