// The class id of the tests' recording helper object (recorder.dll).
#pragma once

#include <windows.h>

// {4F385EC3-9C94-4A4A-98C2-39E593ED14F5}
inline constexpr CLSID kRecorderClsid = {0x4f385ec3, 0x9c94, 0x4a4a, {0x98, 0xc2, 0x39, 0xe5, 0x93, 0xed, 0x14, 0xf5}};
inline constexpr char kRecorderClsidText[] = "{4F385EC3-9C94-4A4A-98C2-39E593ED14F5}";
