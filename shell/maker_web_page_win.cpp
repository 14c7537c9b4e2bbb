#include "shell/maker_web_page_win.h"

#include <shellapi.h>

#ifndef SITEMON_WEB_PAGE
#error "SITEMON_WEB_PAGE (the maker's web page) comes from the build settings"
#endif
#define SITEMON_WIDEN2(text) L##text
#define SITEMON_WIDEN(text) SITEMON_WIDEN2(text)

const wchar_t* MakerWebPageAddress() { return SITEMON_WIDEN(SITEMON_WEB_PAGE); }

void OpenMakerWebPage(HWND owner) {
  ::ShellExecuteW(owner, L"open", MakerWebPageAddress(), nullptr, nullptr, SW_SHOWNORMAL);
}
