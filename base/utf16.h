#pragma once
// UTF-16 text in the portable core. The core keeps text as char16_t so that it means the same
// thing natively and on Windows (where wchar_t is 16 bits); the Win32 files cast at the boundary.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using U16 = std::u16string;
using U16View = std::u16string_view;

// UTF-8 <-> UTF-16 (invalid input becomes U+FFFD). Used for console output and tests.
U16 U16FromUtf8(std::string_view utf8);
std::string Utf8FromU16(U16View text);

// Decimal text of a number, as "%d" prints it.
U16 U16Decimal(int64_t value);
// "%0<width>d" for non-negative values, "%<width>d" (right-aligned with blanks) when padWithZeros
// is false.
U16 U16Padded(int64_t value, int width, bool padWithZeros);

// Copies text into a fixed field of fieldUnits code units, cut so that the terminator always
// fits and never leaving half a surrogate pair at the cut. Returns the number of units copied.
size_t CopyToField(char16_t* field, size_t fieldUnits, U16View text);

// The leading-digits rule of the C runtime's integer conversion: optional blanks, optional sign,
// then decimal digits; no digits gives 0. Saturates instead of overflowing.
int32_t LeadingDecimal(U16View text);
