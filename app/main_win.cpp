// SiteMonitor.exe: the entry point. The command line is ignored.
#include <windows.h>

#include "shell/run_main_dialog_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int showCommand) { return RunProgram(showCommand); }
