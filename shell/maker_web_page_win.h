#pragma once
// The maker's web page (a build setting), opened in the default browser.
#include <windows.h>

const wchar_t* MakerWebPageAddress();
// ShellExecuteW "open" with the address, no parameters, no directory, SW_SHOWNORMAL; the result
// is not checked.
void OpenMakerWebPage(HWND owner);
