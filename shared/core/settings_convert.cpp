#include "settings_convert.h"

#include "commands.h"

namespace qp {

namespace {

constexpr SettingValue Switch(const char* name, std::uint8_t ShareInfo::*field, int line) {
  return {name, SettingKind::Switch, field, nullptr, line};
}
constexpr SettingValue Byte(const char* name, std::uint8_t ShareInfo::*field, int line) {
  return {name, SettingKind::ByteValue, field, nullptr, line};
}
constexpr SettingValue Mode(const char* name, std::int32_t ShareInfo::*field, int line) {
  return {name, SettingKind::Mode, nullptr, field, line};
}
constexpr SettingValue Skin(const char* name, int line) { return {name, SettingKind::Skin, nullptr, nullptr, line}; }

constexpr SettingValue kWinStartup = Switch("WINSTARTUP", &ShareInfo::WINSTARTUP, write_line::WINSTARTUP);
constexpr SettingValue kIEStartup = Switch("IESTARTUP", &ShareInfo::IESTARTUP, write_line::IESTARTUP);
constexpr SettingValue kDelayClose = Switch("DELAYCLOSE", &ShareInfo::DELAYCLOSE, write_line::DELAYCLOSE);
constexpr SettingValue kFlashEnable = Switch("FLASHENABLE", &ShareInfo::FLASHENABLE, write_line::FLASHENABLE);
constexpr SettingValue kGifEnable = Switch("GIFENABLE", &ShareInfo::GIFENABLE, write_line::GIFENABLE);
constexpr SettingValue kMarqEnable = Switch("MARQENABLE", &ShareInfo::MARQENABLE, write_line::MARQENABLE);
constexpr SettingValue kBeep = Switch("BEEP", &ShareInfo::BEEP, write_line::BEEP);
constexpr SettingValue kIFlash = Mode("IFLASH", &ShareInfo::IFLASH, write_line::IFLASH);
constexpr SettingValue kIGif = Mode("IGIF", &ShareInfo::IGIF, write_line::IGIF);
constexpr SettingValue kRunMarq = Byte("RunMarq", &ShareInfo::RunMarq, write_line::RunMarq);
constexpr SettingValue kUIStyle = Skin("UIStyle", write_line::UIStyle);
constexpr SettingValue kKillPopup = Byte("KillPopup", &ShareInfo::KillPopup, write_line::KillPopup);
constexpr SettingValue kEnable = Byte("Enable", &ShareInfo::Enable, write_line::Enable);
constexpr SettingValue kInPageEnable = Byte("InPageEnable", &ShareInfo::InPageEnable, write_line::InPageEnable);

constexpr char kWriteAssertExpression[] = "nRet == ERROR_SUCCESS";
constexpr char kWriteAssertSource[] = "dlg/dlginit";

}  // namespace

const SettingValue kSettingsWriteOrder[kSettingCount] = {
    kWinStartup, kIEStartup, kDelayClose, kFlashEnable, kGifEnable, kMarqEnable, kBeep,
    kIFlash,     kIGif,      kRunMarq,    kUIStyle,     kKillPopup, kEnable,     kInPageEnable,
};

const SettingValue kSettingsReadOrder[kSettingCount] = {
    kWinStartup, kIEStartup, kDelayClose, kFlashEnable, kGifEnable, kMarqEnable,   kBeep,
    kIFlash,     kIGif,      kRunMarq,    kKillPopup,   kEnable,    kInPageEnable, kUIStyle,
};

void ApplyStoredNumber(const SettingValue& value, std::uint32_t number, ShareInfo& info, std::int32_t& skin) {
  switch (value.kind) {
    case SettingKind::Switch:
    case SettingKind::ByteValue:
      info.*value.byteField = number != 0 ? 1 : 0;
      break;
    case SettingKind::Mode:
      info.*value.modeField = number <= static_cast<std::uint32_t>(kModeHide) ? static_cast<std::int32_t>(number)
                                                                              : kModeShow;
      break;
    case SettingKind::Skin:
      if (number >= static_cast<std::uint32_t>(kFirstSkin) && number <= static_cast<std::uint32_t>(kLastSkin)) {
        skin = static_cast<std::int32_t>(number);
      }
      break;
  }
}

std::uint32_t NumberToStore(const SettingValue& value, const ShareInfo& info, std::int32_t skin) {
  switch (value.kind) {
    case SettingKind::Switch:
      return info.*value.byteField != 0 ? 1u : 0u;
    case SettingKind::ByteValue:
      return info.*value.byteField;
    case SettingKind::Mode:
      return static_cast<std::uint32_t>(info.*value.modeField);
    case SettingKind::Skin:
      return static_cast<std::uint32_t>(skin);
  }
  return 0;
}

std::string WriteAssertionText(int line) {
  return std::string("Assertion failed: ") + kWriteAssertExpression + ", file " + kWriteAssertSource + ", line " +
         std::to_string(line);
}

bool ApplyModeCode(std::uint32_t code, ShareInfo& info) {
  switch (code) {
    case CMD_FLASH_HIDE: info.IFLASH = kModeHide; return true;
    case CMD_FLASH_SHOW: info.IFLASH = kModeShow; return true;
    case CMD_FLASH_STOP: info.IFLASH = kModeStop; return true;
    case CMD_GIF_HIDE: info.IGIF = kModeHide; return true;
    case CMD_GIF_SHOW: info.IGIF = kModeShow; return true;
    case CMD_GIF_STOP: info.IGIF = kModeStop; return true;
    case CMD_MARQUEE_STOP: info.RunMarq = 0; return true;
    case CMD_MARQUEE_PLAY: info.RunMarq = 1; return true;
    default: return false;
  }
}

}  // namespace qp
