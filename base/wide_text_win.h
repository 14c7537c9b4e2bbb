#pragma once
// The boundary between the core's char16_t text and Win32's wchar_t (both UTF-16 on Windows).
#include <windows.h>

#include "base/utf16.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* AsWide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
inline const char16_t* AsU16(const wchar_t* s) { return reinterpret_cast<const char16_t*>(s); }
inline char16_t* AsU16(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }

// A window's whole text (no length limit).
U16 WindowText(HWND window);
