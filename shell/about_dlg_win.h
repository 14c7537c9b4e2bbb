#pragma once
// The modal about box (template IDD_ABOUTBOX): icon, name and version, copyright. A click anywhere in
// it, Enter, Esc or the close command ends it.
#include <windows.h>

#include "framework/dialog_impl_win.h"
#include "res/resource.h"

class CAboutDlg : public CDialogImpl<CAboutDlg, CWindow> {
 public:
  enum { IDD = IDD_ABOUTBOX };

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId = 0) override;

 private:
  void OnInitDialog();
  void CentreInWorkArea();
};

// Runs the about box modally, owned by this thread's active window; the result is not used.
void OpenAboutBox();
