#include "framework/window_win.h"

// The linker's symbol for the start of our own image: the instance of the program (or of the
// test program) without asking anyone for it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }
