#include "dlginit.h"

#include <cstdio>
#include <string>
#include <utility>

#include "core/settings_convert.h"
#include "dllcomm.h"
#include "settings.h"

namespace qp {

std::int32_t UIStyle = kDefaultSkin;

namespace {

// The exit code of a process ended by a failed assertion.
constexpr UINT kAssertionExitCode = 3;

[[noreturn]] void ShowAssertionAndEnd(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  ::MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  ::ExitProcess(kAssertionExitCode);
}

SettingsStoreSeams& Seams() {
  static SettingsStoreSeams seams;
  return seams;
}

LONG WriteNumber(const char* valueName, std::uint32_t number) {
  const auto& write = Seams().write;
  return write ? write(valueName, number) : WriteSettingNumber(valueName, number);
}

void ReportFailedWrite(int line) {
  const std::string text = WriteAssertionText(line);
  const auto& report = Seams().reportFailedWrite;
  if (report) {
    report(text.c_str());
  } else {
    ShowAssertionAndEnd(text.c_str());
  }
}

}  // namespace

void LoadSettings() {
  ShareInfo* info = GetShareInfo();
  ShareInfo unused = {};  // takes the fields when there is no region
  for (const SettingValue& value : kSettingsReadOrder) {
    std::uint32_t number = 0;
    // A missing or unreadable value keeps its field (and the skin) as it was.
    if (!ReadSettingNumber(value.name, number)) continue;
    ApplyStoredNumber(value, number, info ? *info : unused, UIStyle);
  }
}

void SaveSettings() {
  const ShareInfo* info = GetShareInfo();
  if (info == nullptr) return;
  for (const SettingValue& value : kSettingsWriteOrder) {
    const LONG nRet = WriteNumber(value.name, NumberToStore(value, *info, UIStyle));
    if (nRet != ERROR_SUCCESS) {
      ReportFailedWrite(value.assertLine);
      return;  // the values after a failed write are never written
    }
  }
}

SettingsStoreSeams SetSettingsStoreSeams(SettingsStoreSeams seams) {
  return std::exchange(Seams(), std::move(seams));
}

}  // namespace qp
