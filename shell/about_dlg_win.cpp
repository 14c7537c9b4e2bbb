#include "shell/about_dlg_win.h"

#include "base/geometry_win.h"
#include "base/wide_text_win.h"
#include "shell/about_text.h"
#include "shell/string_resource_win.h"

BOOL CAboutDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result,
                                     DWORD) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      result = TRUE;
      return TRUE;
    case WM_LBUTTONDOWN:
      EndDialog(0);
      result = 0;
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id != IDOK && id != IDCANCEL) return FALSE;
      EndDialog(id);
      result = 0;
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void CAboutDlg::OnInitDialog() {
  CentreInWorkArea();
  const std::wstring name = StringResource(130);
  const std::wstring version = StringResource(131);
  const U16 text = AboutText(U16View(AsU16(name.c_str()), name.size()),
                             U16View(AsU16(version.c_str()), version.size()));
  SetDlgItemTextW(IDC_ABOUT_TEXT, AsWide(text.c_str()));
}

void CAboutDlg::CentreInWorkArea() {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT box{};
  GetWindowRect(&box);
  // Over the owner when it is on screen and not minimised, else over the work area.
  RECT over = work;
  HWND owner = GetParent();
  if (owner != nullptr) {
    const LONG style = ::GetWindowLongW(owner, GWL_STYLE);
    if ((style & WS_VISIBLE) != 0 && (style & WS_MINIMIZE) == 0) ::GetWindowRect(owner, &over);
  }
  const Rect boxRect = FromWinRect(box);
  const Point at = CentreBox(boxRect.Width(), boxRect.Height(), FromWinRect(over), FromWinRect(work));
  SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OpenAboutBox() {
  CAboutDlg dialog;
  dialog.DoModal(::GetActiveWindow(), 0);
}
