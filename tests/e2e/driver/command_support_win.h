#pragma once
// What the driver's commands share: argument parsing, failure answers, and finding the main
// window and its controls.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/driver/json_line.h"

using Args = std::vector<std::wstring>;
using Command = bool (*)(const Args&, JsonLine&);

// Writes the error into the answer; returns false so commands can `return Fail(...)`.
bool Fail(JsonLine& out, const wchar_t* error);
bool ParseNumber(const std::wstring& text, long long& value);
// Argument `index` as a number, or `fallback` when it is not given.
bool NumberArg(const Args& args, size_t index, long long fallback, long long& value);

std::string RectJson(const RECT& r);
// The main window, or a failure answer.
bool MainWindow(JsonLine& out, HWND& main);
// The main window's control whose id is args[0], or a failure answer.
bool Control(const Args& args, JsonLine& out, HWND& control);
