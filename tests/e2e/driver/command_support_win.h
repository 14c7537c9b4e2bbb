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

// A key pressed and let go on `target`, as the keyboard delivers it through the program's message
// loop. The window must be ready for it first: alive, visible, enabled and its thread taking
// messages (a window just created may not be in its loop yet). The key-down may close the window
// (Escape on a dialog) before the key-up is posted; the key-up then has no window to go to, as
// with a real keyboard, and that is no failure. A failure answer says what was seen of the window.
bool PressKey(HWND target, UINT key, JsonLine& out);
