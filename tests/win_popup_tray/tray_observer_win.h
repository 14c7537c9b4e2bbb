#pragma once
// Looks at the notification area from outside, as the user sees it under Wine: the icons of the
// standalone tray window and the tooltip texts held by the shell's tooltip windows.
#include <windows.h>

#include <string>
#include <vector>

// The tooltip texts of every tool of every tooltip window of other processes.
std::vector<std::wstring> ForeignTooltipTexts();

// The number of icon windows in Wine's standalone tray (-1 when there is no such tray).
int StandaloneTrayIconCount();

// The icon windows of Wine's standalone tray.
std::vector<HWND> StandaloneTrayIcons();
