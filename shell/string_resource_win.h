#pragma once
// A string of our string table as a wide string (empty when the entry is missing).
#include <windows.h>

#include <string>

std::wstring StringResource(UINT id);
