// Single settings values under HKEY_CURRENT_USER "Software\Quellpane", read
// and written with the shell's light-weight registry helpers.
//
// Error policy: nothing here raises or shows anything. A read that fails, or
// finds a value of another type or size, leaves the out-parameter untouched
// and returns false; a write returns the registry's result code.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qp {

// Reads a value that must be a 32-bit number (REG_DWORD, exactly 4 bytes),
// through a 4-byte buffer. Strings, binaries of any size, other types and
// missing values give false and leave number as it was.
bool ReadSettingNumber(const char* valueName, std::uint32_t& number);

// Writes a value as a 32-bit number (REG_DWORD), creating the key when it is
// missing; returns ERROR_SUCCESS or the registry's error code.
LONG WriteSettingNumber(const char* valueName, std::uint32_t number);

// The installation folder ("INSTALLPATH") with a backslash appended, also
// when the stored text already ends in one. The empty text when the value is
// missing, is not text, or does not fit the 260-character buffer with its
// terminating zero: a cut path is never returned.
std::string GetInstallFolder();

// Whether "IESTARTUP" holds a non-zero 32-bit number; a value that cannot be
// read counts as zero.
bool IsIEStartupSet();

}  // namespace qp
