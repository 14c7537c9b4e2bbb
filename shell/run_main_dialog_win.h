#pragma once
// The life of the program between start-up and tear-down: create the message loop and the main
// window, show the window, run the loop until the quit message. Returns the exit code: the quit
// code (2 after the cancel command, 0 from the tray's exit item), or 0 when the window could not
// be created.
#include <windows.h>

int RunMainDialog(int showCommand);

// The whole process, in order: COM, the common controls, the module, RunMainDialog, then the
// reverse. What wWinMain does.
int RunProgram(int showCommand);
