#pragma once
// CUserChar converts between UTF-16 and the system's ANSI code page (CP_ACP). It owns at most
// one result of each kind; a returned text stays valid until the next conversion or the
// object's destruction, so callers use or copy it at once.
#include <windows.h>

#include <memory>

#include "store/code_page.h"

class CUserChar {
 public:
  CUserChar() = default;
  virtual ~CUserChar();
  CUserChar(const CUserChar&) = delete;
  CUserChar& operator=(const CUserChar&) = delete;

  // NUL-terminated UTF-16 in, NUL-terminated ANSI text out. Characters the code page lacks
  // become its default character. Never null.
  const char* ToNarrow(const wchar_t* text);
  // NUL-terminated ANSI text in, NUL-terminated UTF-16 out. Never null.
  const wchar_t* ToWide(const char* text);

 private:
  void FreeBuffers();

  std::unique_ptr<char[]> narrow_;
  std::unique_ptr<wchar_t[]> wide_;
};

// CUserChar behind the code-page seam of the stored state.
class UserCharCodePage final : public ICodePageConverter {
 public:
  std::string ToAnsi(U16View text) override;
  U16 FromAnsi(std::string_view bytes) override;

 private:
  CUserChar userChar_;
};
