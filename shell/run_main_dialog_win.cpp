#include "shell/run_main_dialog_win.h"

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "monitor/probe_worker_win.h"
#include "shell/main_dlg_win.h"
#include "shell/message_loop_win.h"

int RunMainDialog(int showCommand) {
  CMessageLoop loop;
  // Without a registry there is no loop to run the window in.
  if (!g_appModule.RegisterLoop(&loop)) return 0;

  MainDlgSetup setup;
  setup.workerEntry = SiteProbeThreadProc;
  setup.loop = &loop;
  auto dialog = std::make_unique<CMainDlg>(setup);
  if (dialog->Create(nullptr, 0) == nullptr) {
    dialog.reset();
    g_appModule.UnregisterLoop();
    return 0;
  }
  dialog->ShowWindow(showCommand);
  const int exitCode = loop.Run();
  g_appModule.UnregisterLoop();
  dialog.reset();  // its window is already gone: every way out destroys it before the quit
  return exitCode;
}

int RunProgram(int showCommand) {
  ::CoInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;
  ::InitCommonControlsEx(&controls);
  g_appModule.Initialize();
  const int exitCode = RunMainDialog(showCommand);
  g_appModule.Terminate();
  ::CoUninitialize();
  return exitCode;
}
