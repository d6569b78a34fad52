#include "settings_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "commands.h"

namespace qp {
namespace {

const SettingValue& ByName(const char* name) {
  for (const SettingValue& v : kSettingsReadOrder) {
    if (std::strcmp(v.name, name) == 0) return v;
  }
  ADD_FAILURE() << "no setting " << name;
  return kSettingsReadOrder[0];
}

// A block where every byte holds a marker, so that a write to the wrong field shows.
ShareInfo MarkedInfo() {
  ShareInfo info;
  std::memset(&info, 0x5A, sizeof(info));
  return info;
}

std::vector<std::uint8_t> Bytes(const ShareInfo& info) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&info);
  return std::vector<std::uint8_t>(p, p + sizeof(info));
}

struct StoredCase {
  const char* name;
  std::uint32_t stored;
  std::int64_t expected;  // the field, or the skin for "UIStyle"
};

TEST(SettingsConvert, StoredNumbersGiveTheirFields) {
  constexpr std::int32_t kSkinBefore = 3;
  const StoredCase cases[] = {
      {"WINSTARTUP", 0, 0},        {"WINSTARTUP", 1, 1},       {"IESTARTUP", 0xFFFFFFFFu, 1},
      {"BEEP", 2, 1},              {"Enable", 5, 1},           {"Enable", 256, 1},  // not cut to a byte
      {"KillPopup", 0x100000u, 1}, {"RunMarq", 0, 0},          {"InPageEnable", 7, 1},
      {"IFLASH", 0, 0},            {"IFLASH", 1, 1},           {"IFLASH", 2, 2},
      {"IFLASH", 3, 0},            {"IFLASH", 7, 0},           {"IFLASH", 0xFFFFFFFFu, 0},
      {"IGIF", 2, 2},              {"IGIF", 0x80000001u, 0},   {"UIStyle", 4, 4},
      {"UIStyle", 1, 1},           {"UIStyle", 5, 5},          {"UIStyle", 0, kSkinBefore},
      {"UIStyle", 6, kSkinBefore}, {"UIStyle", 0xFFFFFFFFu, kSkinBefore},
  };
  for (const StoredCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " stored as " + std::to_string(c.stored));
    const SettingValue& value = ByName(c.name);
    ShareInfo info = MarkedInfo();
    ShareInfo expected = MarkedInfo();
    std::int32_t skin = kSkinBefore;
    ApplyStoredNumber(value, c.stored, info, skin);
    switch (value.kind) {
      case SettingKind::Switch:
      case SettingKind::ByteValue:
        expected.*value.byteField = static_cast<std::uint8_t>(c.expected);
        break;
      case SettingKind::Mode:
        expected.*value.modeField = static_cast<std::int32_t>(c.expected);
        break;
      case SettingKind::Skin:
        EXPECT_EQ(skin, c.expected);
        break;
    }
    EXPECT_EQ(Bytes(info), Bytes(expected)) << "only the value's own field changes";
  }
}

TEST(SettingsConvert, EachValueFeedsTheFieldAtItsOffset) {
  const std::pair<const char*, std::size_t> offsets[] = {
      {"WINSTARTUP", 4}, {"IESTARTUP", 5},  {"DELAYCLOSE", 6}, {"FLASHENABLE", 8}, {"GIFENABLE", 9},
      {"MARQENABLE", 10}, {"BEEP", 23},     {"IFLASH", 12},    {"IGIF", 16},       {"RunMarq", 20},
      {"KillPopup", 22}, {"Enable", 21},    {"InPageEnable", 7},
  };
  for (const auto& [name, offset] : offsets) {
    SCOPED_TRACE(name);
    ShareInfo info = {};
    std::int32_t skin = kDefaultSkin;
    ApplyStoredNumber(ByName(name), 1, info, skin);
    const std::vector<std::uint8_t> bytes = Bytes(info);
    for (std::size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], i == offset ? 1 : 0) << "byte " << i;
    EXPECT_EQ(skin, kDefaultSkin);
  }
}

TEST(SettingsConvert, NumbersToStore) {
  ShareInfo info = {};
  info.BEEP = 7;
  info.Enable = 5;
  info.RunMarq = 3;
  info.IFLASH = -1;
  info.IGIF = 2;
  const std::int32_t skin = 4;
  EXPECT_EQ(NumberToStore(ByName("BEEP"), info, skin), 1u) << "switches are written as 0 or 1";
  EXPECT_EQ(NumberToStore(ByName("WINSTARTUP"), info, skin), 0u);
  EXPECT_EQ(NumberToStore(ByName("Enable"), info, skin), 5u) << "written as the byte holds it";
  EXPECT_EQ(NumberToStore(ByName("RunMarq"), info, skin), 3u);
  EXPECT_EQ(NumberToStore(ByName("IFLASH"), info, skin), 0xFFFFFFFFu) << "modes are written as they are";
  EXPECT_EQ(NumberToStore(ByName("IGIF"), info, skin), 2u);
  EXPECT_EQ(NumberToStore(ByName("UIStyle"), info, skin), 4u);
}

TEST(SettingsConvert, WriteOrderWithAssertionLinesAndReadOrder) {
  const std::pair<const char*, int> written[] = {
      {"WINSTARTUP", 140}, {"IESTARTUP", 146}, {"DELAYCLOSE", 152}, {"FLASHENABLE", 158}, {"GIFENABLE", 164},
      {"MARQENABLE", 170}, {"BEEP", 176},      {"IFLASH", 182},     {"IGIF", 188},        {"RunMarq", 194},
      {"UIStyle", 200},    {"KillPopup", 206}, {"Enable", 212},     {"InPageEnable", 218},
  };
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    EXPECT_STREQ(kSettingsWriteOrder[i].name, written[i].first) << i;
    EXPECT_EQ(kSettingsWriteOrder[i].assertLine, written[i].second) << i;
  }
  const char* const read[] = {"WINSTARTUP", "IESTARTUP", "DELAYCLOSE", "FLASHENABLE", "GIFENABLE",
                              "MARQENABLE", "BEEP",      "IFLASH",     "IGIF",        "RunMarq",
                              "KillPopup",  "Enable",    "InPageEnable", "UIStyle"};
  for (std::size_t i = 0; i < kSettingCount; ++i) EXPECT_STREQ(kSettingsReadOrder[i].name, read[i]) << i;
}

TEST(SettingsConvert, AssertionText) {
  EXPECT_EQ(WriteAssertionText(write_line::IFLASH), "Assertion failed: nRet == ERROR_SUCCESS, file dlg/dlginit, line 182");
}

TEST(ModeCodes, SetTheirFieldAndNothingElse) {
  struct Case {
    std::uint32_t code;
    std::int32_t ShareInfo::*mode;
    std::uint8_t ShareInfo::*byte;
    std::int32_t value;
  };
  const Case cases[] = {
      {CMD_FLASH_HIDE, &ShareInfo::IFLASH, nullptr, 2}, {CMD_FLASH_SHOW, &ShareInfo::IFLASH, nullptr, 0},
      {CMD_FLASH_STOP, &ShareInfo::IFLASH, nullptr, 1}, {CMD_GIF_HIDE, &ShareInfo::IGIF, nullptr, 2},
      {CMD_GIF_SHOW, &ShareInfo::IGIF, nullptr, 0},     {CMD_GIF_STOP, &ShareInfo::IGIF, nullptr, 1},
      {CMD_MARQUEE_STOP, nullptr, &ShareInfo::RunMarq, 0}, {CMD_MARQUEE_PLAY, nullptr, &ShareInfo::RunMarq, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ShareInfo info = MarkedInfo();
    ShareInfo expected = MarkedInfo();
    if (c.mode) expected.*c.mode = c.value;
    if (c.byte) expected.*c.byte = static_cast<std::uint8_t>(c.value);
    EXPECT_TRUE(ApplyModeCode(c.code, info));
    EXPECT_EQ(Bytes(info), Bytes(expected));
  }
  for (std::uint32_t code : {0u, 5u, 7u, 11u, 12u, 121u, 200u, 1002u, 3002u, 3004u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(code);
    ShareInfo info = MarkedInfo();
    EXPECT_FALSE(ApplyModeCode(code, info));
    EXPECT_EQ(Bytes(info), Bytes(MarkedInfo()));
  }
}

}  // namespace
}  // namespace qp
