// The tray program's settings glue: the registry values under
// HKEY_CURRENT_USER "Software\Quellpane" into the shared settings block and
// the current skin, and back.
//
// Error policy: reading never fails as a whole; a value that is missing, not
// a 32-bit number or of another size keeps its field as it was (zero in a new
// region, skin 1 at start). A write that fails is a fatal assertion: the
// standard assertion text is shown and the program ends; the values after the
// failed one are not written.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace qp {

// The tray program's current skin (1 to 5), set by LoadSettings and by the
// skin menu, saved with the settings.
extern std::int32_t UIStyle;

// Reads every value into ShareInfo and UIStyle; without a mapped region only
// UIStyle is read.
void LoadSettings();
// Writes every value from ShareInfo and UIStyle, checking each write before
// the next. Without a mapped region nothing is written.
void SaveSettings();

// Replaceable steps of SaveSettings, for tests. An empty member means the real
// step: the writer stores a 32-bit number in the registry and returns the
// registry's result code; the reporter shows the assertion text and ends the
// process. A reporter that returns still stops the writes.
struct SettingsStoreSeams {
  std::function<LONG(const char* valueName, std::uint32_t number)> write;
  std::function<void(const char* assertionText)> reportFailedWrite;
};
// Installs seams and returns the ones that were in place.
SettingsStoreSeams SetSettingsStoreSeams(SettingsStoreSeams seams);

}  // namespace qp
