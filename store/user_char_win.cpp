#include "store/user_char_win.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/wide_text_win.h"

CUserChar::~CUserChar() { FreeBuffers(); }

void CUserChar::FreeBuffers() {
  narrow_.reset();
  wide_.reset();
}

const char* CUserChar::ToNarrow(const wchar_t* text) {
  FreeBuffers();
  const size_t length = text ? std::wcslen(text) : 0;
  if (length > INT_MAX) return "";
  const int units = static_cast<int>(length);
  // The platform refuses an empty input, so an empty text is measured as empty.
  const int needed =
      units == 0 ? 0 : ::WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
  if (needed < 0 || needed == INT_MAX) return "";
  narrow_.reset(new (std::nothrow) char[static_cast<size_t>(needed) + 1]);
  if (!narrow_) return "";
  const int written =
      needed == 0 ? 0
                  : ::WideCharToMultiByte(CP_ACP, 0, text, units, narrow_.get(), needed, nullptr, nullptr);
  narrow_[written > 0 ? written : 0] = '\0';
  return narrow_.get();
}

const wchar_t* CUserChar::ToWide(const char* text) {
  FreeBuffers();
  const size_t length = text ? std::strlen(text) : 0;
  if (length > INT_MAX) return L"";
  const int units = static_cast<int>(length);
  const int needed = units == 0 ? 0 : ::MultiByteToWideChar(CP_ACP, 0, text, units, nullptr, 0);
  if (needed < 0 || needed == INT_MAX) return L"";
  wide_.reset(new (std::nothrow) wchar_t[static_cast<size_t>(needed) + 1]);
  if (!wide_) return L"";
  const int written =
      needed == 0 ? 0 : ::MultiByteToWideChar(CP_ACP, 0, text, units, wide_.get(), needed);
  wide_[written > 0 ? written : 0] = L'\0';
  return wide_.get();
}

std::string UserCharCodePage::ToAnsi(U16View text) {
  const U16 terminated(text);  // the conversion stops at an embedded NUL, like the platform's
  return userChar_.ToNarrow(AsWide(terminated.c_str()));
}

U16 UserCharCodePage::FromAnsi(std::string_view bytes) {
  const std::string terminated(bytes);
  return AsU16(userChar_.ToWide(terminated.c_str()));
}
