// The settings values in the real registry: loading into the shared block and
// the skin, saving with its checked writes, and the two values the extension
// reads itself.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/settings_convert.h"
#include "dlginit.h"
#include "dllcomm.h"
#include "settings.h"

namespace qp {
namespace {

struct StoredValue {
  bool exists = false;
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
};

StoredValue ReadRaw(const char* name) {
  StoredValue v;
  std::uint8_t buffer[2048];
  DWORD size = sizeof(buffer);
  if (::SHGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, &v.type, buffer, &size) == ERROR_SUCCESS) {
    v.exists = true;
    v.bytes.assign(buffer, buffer + size);
  }
  return v;
}

void WriteRaw(const char* name, DWORD type, const void* data, DWORD size) {
  ASSERT_EQ(::SHSetValueA(HKEY_CURRENT_USER, kSettingsKey, name, type, data, size), ERROR_SUCCESS) << name;
}
void WriteNumber(const char* name, std::uint32_t number) { WriteRaw(name, REG_DWORD, &number, sizeof(number)); }
void WriteText(const char* name, const std::string& text) {
  WriteRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey();
    ASSERT_TRUE(InitShareInfo());
    info_ = GetShareInfo();
    std::memset(info_, 0, sizeof(*info_));
    UIStyle = kDefaultSkin;
  }
  void TearDown() override {
    SetSettingsStoreSeams({});
    UIStyle = kDefaultSkin;
    std::memset(info_, 0, sizeof(*info_));
    ReleaseShareInfo();
    DeleteKey();
  }
  static void DeleteKey() { ::SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

  ShareInfo* info_ = nullptr;
};

TEST_F(SettingsStoreTest, LoadTurnsStoredNumbersIntoFields) {
  using Field = std::function<std::int64_t(const ShareInfo&)>;
  const Field iflash = [](const ShareInfo& i) { return i.IFLASH; };
  const Field igif = [](const ShareInfo& i) { return i.IGIF; };
  const Field enable = [](const ShareInfo& i) { return i.Enable; };
  const Field winStartup = [](const ShareInfo& i) { return i.WINSTARTUP; };
  const Field beep = [](const ShareInfo& i) { return i.BEEP; };
  const Field inPage = [](const ShareInfo& i) { return i.InPageEnable; };
  const Field skin = [](const ShareInfo&) { return UIStyle; };
  const struct {
    const char* name;
    std::uint32_t stored;
    Field field;
    std::int64_t expected;
  } cases[] = {
      {"IFLASH", 7, iflash, 0},       {"IFLASH", 2, iflash, 2},         {"IFLASH", 0xFFFFFFFFu, iflash, 0},
      {"IGIF", 1, igif, 1},           {"IGIF", 3, igif, 0},             {"Enable", 5, enable, 1},
      {"Enable", 0, enable, 0},       {"WINSTARTUP", 256, winStartup, 1}, {"BEEP", 1, beep, 1},
      {"InPageEnable", 0, inPage, 0}, {"UIStyle", 0, skin, 1},          {"UIStyle", 6, skin, 1},
      {"UIStyle", 4, skin, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " stored as " + std::to_string(c.stored));
    DeleteKey();
    std::memset(info_, 0x5A, sizeof(*info_));  // a loaded value must overwrite this
    UIStyle = kDefaultSkin;
    WriteNumber(c.name, c.stored);
    LoadSettings();
    EXPECT_EQ(c.field(*info_), c.expected);
  }
}

TEST_F(SettingsStoreTest, SaveOnAMissingKeyWritesEveryValueAsA32BitNumber) {
  WriteNumber("Enable", 5);
  LoadSettings();
  ASSERT_EQ(info_->Enable, 1);
  DeleteKey();

  info_->WINSTARTUP = 7;  // switches are stored as 0 or 1
  info_->DELAYCLOSE = 1;
  info_->BEEP = 1;
  info_->IFLASH = 2;
  info_->IGIF = 1;
  info_->RunMarq = 1;
  info_->KillPopup = 1;
  info_->InPageEnable = 0;
  UIStyle = 4;
  SaveSettings();

  const std::pair<const char*, std::uint32_t> expected[] = {
      {"WINSTARTUP", 1}, {"IESTARTUP", 0}, {"DELAYCLOSE", 1}, {"FLASHENABLE", 0}, {"GIFENABLE", 0},
      {"MARQENABLE", 0}, {"BEEP", 1},      {"IFLASH", 2},     {"IGIF", 1},        {"RunMarq", 1},
      {"UIStyle", 4},    {"KillPopup", 1}, {"Enable", 1},     {"InPageEnable", 0},
  };
  for (const auto& [name, number] : expected) {
    const StoredValue v = ReadRaw(name);
    ASSERT_TRUE(v.exists) << name;
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << name;
    ASSERT_EQ(v.bytes.size(), 4u) << name;
    std::uint32_t stored = 0;
    std::memcpy(&stored, v.bytes.data(), 4);
    EXPECT_EQ(stored, number) << name;
  }
  EXPECT_FALSE(ReadRaw(kInstallPathValue).exists) << "nobody in this system writes the installation folder";
}

TEST_F(SettingsStoreTest, AFailedWriteReportsItsLineAndStopsTheSequence) {
  const std::pair<const char*, int> order[] = {
      {"WINSTARTUP", 140}, {"IESTARTUP", 146}, {"DELAYCLOSE", 152}, {"FLASHENABLE", 158}, {"GIFENABLE", 164},
      {"MARQENABLE", 170}, {"BEEP", 176},      {"IFLASH", 182},     {"IGIF", 188},        {"RunMarq", 194},
      {"UIStyle", 200},    {"KillPopup", 206}, {"Enable", 212},     {"InPageEnable", 218},
  };
  for (std::size_t failing = 0; failing < std::size(order); ++failing) {
    SCOPED_TRACE(order[failing].first);
    DeleteKey();
    std::vector<std::string> attempted, reports;
    SettingsStoreSeams seams;
    seams.write = [&](const char* name, std::uint32_t number) -> LONG {
      attempted.push_back(name);
      if (std::strcmp(name, order[failing].first) == 0) return ERROR_ACCESS_DENIED;
      return WriteSettingNumber(name, number);
    };
    seams.reportFailedWrite = [&](const char* text) { reports.push_back(text); };
    SetSettingsStoreSeams(seams);
    SaveSettings();
    SetSettingsStoreSeams({});

    EXPECT_EQ(reports, std::vector<std::string>{"Assertion failed: nRet == ERROR_SUCCESS, file dlg/dlginit, line " +
                                                std::to_string(order[failing].second)});
    EXPECT_EQ(attempted.size(), failing + 1) << "no write after the failed one";
    for (std::size_t i = 0; i < std::size(order); ++i) {
      EXPECT_EQ(ReadRaw(order[i].first).exists, i < failing) << order[i].first;
    }
  }
}

TEST_F(SettingsStoreTest, ValuesOfAnotherTypeOrSizeKeepTheirFields) {
  info_->Enable = 1;
  info_->IFLASH = 1;
  info_->IGIF = 2;
  info_->BEEP = 1;
  info_->KillPopup = 1;
  info_->RunMarq = 1;
  info_->WINSTARTUP = 1;  // its value is missing
  UIStyle = 3;
  const std::uint8_t twoZeroBytes[2] = {0, 0};
  const std::uint8_t twoBytesOfTwo[2] = {2, 0};
  const std::uint8_t eightZeroBytes[8] = {};
  const std::uint8_t fourZeroBytes[4] = {};
  const std::uint8_t bigEndianFour[4] = {0, 0, 0, 4};
  WriteRaw("Enable", REG_BINARY, twoZeroBytes, 2);
  WriteRaw("IFLASH", REG_BINARY, twoBytesOfTwo, 2);  // a reader that trusts the buffer would see 2
  WriteRaw("IGIF", REG_BINARY, eightZeroBytes, 8);
  WriteRaw("RunMarq", REG_BINARY, fourZeroBytes, 4);
  WriteText("BEEP", "0");
  WriteText("KillPopup", std::string(300, '0'));
  WriteRaw("UIStyle", REG_DWORD_BIG_ENDIAN, bigEndianFour, 4);
  WriteRaw("IESTARTUP", REG_EXPAND_SZ, "%WINDIR%", 9);
  const ShareInfo before = *info_;

  LoadSettings();
  EXPECT_EQ(std::memcmp(&before, info_, sizeof(before)), 0);
  EXPECT_EQ(UIStyle, 3);
  EXPECT_FALSE(IsIEStartupSet());

  DeleteKey();  // no key at all
  LoadSettings();
  EXPECT_EQ(std::memcmp(&before, info_, sizeof(before)), 0);
  EXPECT_EQ(UIStyle, 3);
}

TEST_F(SettingsStoreTest, InstallFolderGetsOneBackslashOrIsEmpty) {
  const std::string longest(kInstallPathBufferChars - 1, 'p');  // with its zero it just fits
  const std::string tooLong(kInstallPathBufferChars, 'p');
  const struct {
    DWORD type;
    std::string bytes;  // stored exactly, terminating zero included where wanted
    std::string expected;
  } cases[] = {
      {REG_SZ, std::string("C:\\Quellpane\0", 13), "C:\\Quellpane\\"},
      {REG_SZ, std::string("C:\\x\\\0", 6), "C:\\x\\\\"},
      {REG_SZ, longest + '\0', longest + "\\"},
      {REG_SZ, tooLong + '\0', ""},
      {REG_SZ, std::string(1000, 'q') + '\0', ""},
      {REG_SZ, "C:\\nozero", "C:\\nozero\\"},  // stored without a terminating zero
      {REG_SZ, tooLong, ""},
      {REG_DWORD, std::string("\x01\x00\x00\x00", 4), ""},
      {REG_BINARY, std::string("C:\\bin\0", 7), ""},
  };
  EXPECT_EQ(GetInstallFolder(), "") << "no value";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 40) + " (type " + std::to_string(c.type) + ")");
    WriteRaw(kInstallPathValue, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    EXPECT_EQ(GetInstallFolder(), c.expected);
  }
}

TEST_F(SettingsStoreTest, IEStartupIsSetOnlyByANonZeroNumber) {
  EXPECT_FALSE(IsIEStartupSet()) << "no value";
  const struct {
    DWORD type;
    std::vector<std::uint8_t> bytes;
    bool expected;
  } cases[] = {
      {REG_DWORD, {0, 0, 0, 0}, false},
      {REG_DWORD, {1, 0, 0, 0}, true},
      {REG_DWORD, {0, 0, 0, 0x80}, true},
      {REG_SZ, {'1', 0}, false},
      {REG_BINARY, {1, 0}, false},
  };
  for (const auto& c : cases) {
    WriteRaw(kIEStartupValue, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
    EXPECT_EQ(IsIEStartupSet(), c.expected) << "type " << c.type << ", " << c.bytes.size() << " bytes";
  }
}

}  // namespace
}  // namespace qp
