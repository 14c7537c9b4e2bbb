#pragma once
// Conversion between UTF-16 and the system's ANSI code page, the encoding of site.txt. On
// Windows CUserChar serves it; natively UTF-8 stands in for the code page.
#include <string>

#include "base/utf16.h"

class ICodePageConverter {
 public:
  virtual ~ICodePageConverter() = default;
  // Both conversions stop at an embedded NUL, as the NUL-terminated platform calls do.
  virtual std::string ToAnsi(U16View text) = 0;
  virtual U16 FromAnsi(std::string_view bytes) = 0;
};

class Utf8CodePage final : public ICodePageConverter {
 public:
  std::string ToAnsi(U16View text) override;
  U16 FromAnsi(std::string_view bytes) override;
};
