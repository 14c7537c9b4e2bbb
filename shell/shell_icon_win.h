#pragma once
// The tray mix-ins of the main window. CAppIconMenu owns the tray menu and runs its commands;
// CShellIcon owns the notification-area icon, its tooltip and the mouse callback. T is the main
// window (a CWindow with m_hWnd); T's message handling offers messages to ProcessTrayMessage
// after its own handlers.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"
#include "framework/window_win.h"
#include "shell/about_dlg_win.h"
#include "shell/dpi_win.h"
#include "shell/maker_web_page_win.h"
#include "shell/monitor_lookup_win.h"
#include "shell/string_resource_win.h"
#include "shell/tray_logic.h"

constexpr UINT WM_TRAY_NOTIFY = kTrayNotifyMessage;

template <class T, UINT t_nMenuId>
class CAppIconMenu {
 public:
  CAppIconMenu() : m_hMenu(::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(t_nMenuId))) {}
  CAppIconMenu(const CAppIconMenu&) = delete;
  CAppIconMenu& operator=(const CAppIconMenu&) = delete;

  void OnAppAbout() { OpenAboutBox(); }

  // The tray menu's commands; ids it does not know are left to the next handler.
  bool ProcessMenuCommand(WPARAM wParam, LRESULT& result) {
    HWND main = Owner()->m_hWnd;
    switch (TrayMenuCommand(wParam)) {
      case TrayCommand::ShowWindow:
        ::ShowWindow(main, SW_SHOW);
        ::OpenIcon(main);
        break;
      case TrayCommand::Exit:
        ::DestroyWindow(main);
        ::PostQuitMessage(0);
        break;
      case TrayCommand::About:
        OnAppAbout();
        break;
      case TrayCommand::WebPage:
        OpenMakerWebPage(main);
        break;
      case TrayCommand::Alerts:
        Owner()->OnTrayAlerts();
        break;
      case TrayCommand::Report:
        Owner()->OnTrayReport();
        break;
      case TrayCommand::NotOurs:
        return false;
    }
    result = 0;
    return true;
  }

  HMENU Menu() const { return m_hMenu.get(); }

 protected:
  T* Owner() { return static_cast<T*>(this); }

  UniqueMenu m_hMenu;
};

template <class T, class TMenu, UINT t_nMenuId>
class CShellIcon : public TMenu {
 public:
  static constexpr UINT kIconId = kTrayIconId;  // also the icon resource

  CShellIcon()
      : m_uTaskbarCreated(::RegisterWindowMessageW(L"TaskbarCreated")), m_strTitle(StringResource(128)) {}
  ~CShellIcon() { RemoveTrayIcon(); }

  // Fills the record from scratch and adds the icon; the result is not checked (a failed add
  // is mended only by the next "TaskbarCreated").
  void AddTrayIcon() {
    ResetRecord();
    m_trayIcon = LoadTrayIcon();
    m_nid.hIcon = m_trayIcon.get();
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    m_nid.uCallbackMessage = WM_TRAY_NOTIFY;
    m_nid.dwInfoFlags = NIIF_USER;
    const U16View title(AsU16(m_strTitle.c_str()), m_strTitle.size());
    CopyToField(AsU16(m_nid.szInfoTitle), ARRAYSIZE(m_nid.szInfoTitle), title);
    CopyToField(AsU16(m_nid.szTip), ARRAYSIZE(m_nid.szTip), title);
    ::Shell_NotifyIconW(NIM_ADD, &m_nid);
  }

  // The tooltip becomes `text`, cut to 127 characters. When the shell refuses (a busy tray host),
  // the record keeps the tip the icon still shows, so the same text is tried again next time.
  void SetTrayTip(U16View text) {
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    wchar_t shown[ARRAYSIZE(m_nid.szTip)];
    std::copy(std::begin(m_nid.szTip), std::end(m_nid.szTip), shown);
    CopyToField(AsU16(m_nid.szTip), ARRAYSIZE(m_nid.szTip), text);
    if (!::Shell_NotifyIconW(NIM_MODIFY, &m_nid)) std::copy(std::begin(shown), std::end(shown), m_nid.szTip);
  }

  // The display's scale changed: the icon again at the notification area's small-icon size. The
  // old icon is freed only after the shell has the new one.
  void OnDisplayScaleChanged() {
    if (m_nid.cbSize == 0) return;
    UniqueIcon icon = LoadTrayIcon();
    if (!icon) return;
    m_nid.hIcon = icon.get();
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    ::Shell_NotifyIconW(NIM_MODIFY, &m_nid);
    m_trayIcon = std::move(icon);
  }

  void RemoveTrayIcon() {
    if (m_nid.cbSize != 0) ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
  }

  void OnTaskbarCreated() {
    ResetRecord();
    ::Shell_NotifyIconW(NIM_DELETE, &m_nid);
    AddTrayIcon();
  }

  void OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    HWND main = this->Owner()->m_hWnd;
    switch (TrayCallbackAction(wParam, lParam)) {
      case TrayClick::RestoreWindow:
        ::ShowWindow(main, SW_SHOW);
        ::SetForegroundWindow(main);
        ::OpenIcon(main);
        break;
      case TrayClick::ShowMenu: {
        // No balloon may come up while the menu is open.
        const wchar_t saved = m_nid.szInfo[0];
        m_nid.szInfo[0] = L'\0';
        ::Shell_NotifyIconW(NIM_MODIFY, &m_nid);
        ShowTrayMenu();
        m_nid.szInfo[0] = saved;
        break;
      }
      case TrayClick::Ignore:
        break;
    }
  }

  void ShowTrayMenu() {
    HWND main = this->Owner()->m_hWnd;
    // Without the foreground the menu would not close when the user clicks elsewhere.
    ::SetForegroundWindow(main);
    HMENU trayMenu = ::GetSubMenu(this->m_hMenu.get(), 0);
    if (trayMenu == nullptr) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const int x = ClampToWorkArea(cursor.x, cursor.y);
    ::TrackPopupMenu(trayMenu, TPM_RIGHTBUTTON, x, cursor.y, 0, main, nullptr);
    // Lets the menu close properly when it is opened again right away.
    ::PostMessageW(main, WM_NULL, 0, 0);
  }

  // The main window offers every message its own handlers did not take. True when handled.
  bool ProcessTrayMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_TRAY_NOTIFY) {
      OnTrayNotify(wParam, lParam);
      result = 0;
      return true;
    }
    if (m_uTaskbarCreated != 0 && message == m_uTaskbarCreated) {
      OnTaskbarCreated();
      result = 0;
      return true;
    }
    if (message == WM_SIZE) {
      if (::IsIconic(hWnd)) ::ShowWindow(hWnd, SW_HIDE);
      result = 0;
      return true;
    }
    if (message == WM_COMMAND) return this->ProcessMenuCommand(wParam, result);
    return false;
  }

  const NOTIFYICONDATAW& IconRecord() const { return m_nid; }
  const std::wstring& Title() const { return m_strTitle; }
  UINT TaskbarCreatedMessage() const { return m_uTaskbarCreated; }

 protected:
  // Zeroed with the version-3 size, this window and our icon id: enough to name the icon.
  void ResetRecord() {
    m_nid = NOTIFYICONDATAW{};
    m_nid.cbSize = NOTIFYICONDATAW_V3_SIZE;
    m_nid.hWnd = this->Owner()->m_hWnd;
    m_nid.uID = kIconId;
  }

  // Our icon at the small-icon size of the system's DPI, which the notification area draws at
  // (the window icons follow their monitor's DPI instead).
  static UniqueIcon LoadTrayIcon() {
    const int dpi = SystemDpi();
    return UniqueIcon(static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                      SystemMetricAtDpi(SM_CXSMICON, dpi),
                                                      SystemMetricAtDpi(SM_CYSMICON, dpi), LR_DEFAULTCOLOR)));
  }

  NOTIFYICONDATAW m_nid{};
  UniqueIcon m_trayIcon;  // shown by the shell while the icon is there
  UINT m_uTaskbarCreated;
  std::wstring m_strTitle;
};
