#include "shell/main_dlg_win.h"

#include <commctrl.h>

#include <utility>

#include "alerts/alert_rows_message.h"
#include "framework/reflect_win.h"
#include "base/geometry_win.h"
#include "base/status_texts.h"
#include "base/wide_text_win.h"
#include "monitor/probe_worker_win.h"
#include "monitor/report_texts.h"
#include "shell/settings_lists_win.h"
#include "monitor/site_status_message.h"
#include "notice/notice_check_win.h"
#include "notice/service_notice_message.h"
#include "shell/alerts_services_win.h"
#include "shell/button_look.h"
#include "shell/dpi_win.h"
#include "shell/maker_web_page_win.h"
#include "shell/run_log_limit.h"
#include "shell/show_notification_win.h"
#include "shell/string_resource_win.h"
#include "shell/window_placement.h"
#include "store/stored_state.h"

namespace {

constexpr int kLogColumnMargin = 30;  // pixels at 96 DPI between the column's end and the list's

U16View ViewOf(const std::wstring& text) { return U16View(AsU16(text.c_str()), text.size()); }
U16 PathText(const wchar_t* path) { return U16(AsU16(path)); }

LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void BuildPaths(DataPaths& paths, const wchar_t* dataFolder) {
  if (dataFolder == nullptr || dataFolder[0] == L'\0') {
    BuildDataPaths(paths);
    return;
  }
  BuildDataPathsUnder(paths, dataFolder);
}

}  // namespace

CMainDlg::CMainDlg(const MainDlgSetup& setup)
    : m_startNoticeCheck(setup.startNoticeCheck),
      m_loop(setup.loop),
      m_threads(setup.workerEntry),
      m_run(m_threads, *this) {
  BuildPaths(m_paths, setup.dataFolder);
  SetTraceFolderPath(m_paths.traceFolderPath);  // before any worker exists
  m_run.SetReportObserver(&m_alerts.Observer());
}

CMainDlg::~CMainDlg() {
  // A window still up when its object goes (a failed start-up path) is destroyed while the
  // object is whole, so OnDestroy still stops the workers and saves the settings.
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const CButtonBT& CMainDlg::Button(int id) const {
  switch (id) {
    case IDC_STOP: return m_btnStop;
    case IDC_CLOSE: return m_btnClose;
    case IDC_MINIMIZE: return m_btnMinimize;
    case IDC_WEB_PAGE: return m_btnWebPage;
    case IDC_CLEAR_LOG: return m_btnClearLog;
    default: return m_btnStart;
  }
}

BOOL CMainDlg::ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                    DWORD mapId) {
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      result = 0;
      return TRUE;
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam))) {
        result = 0;
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      // The window has no caption: a press on its surface or a label moves it like one.
      ::SendMessageW(hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      result = 0;
      return TRUE;
    case WM_SITE_STATUS:
      m_run.OnSiteStatus(static_cast<uint64_t>(wParam), static_cast<int32_t>(lParam));
      result = 0;
      return TRUE;
    case WM_HISTORY_ROW:
      ShowLogRow(TakeHistoryRow(lParam));
      result = 0;
      return TRUE;
    case WM_DPICHANGED:
      // The window takes the size Windows suggests; the dialog's own processing goes on and
      // scales the controls, then what is sized in pixels here follows.
      TakeSuggestedRect(m_hWnd, lParam);
      PostMessageW(kDpiLayoutMessage);
      return FALSE;
    case kDpiLayoutMessage:
      OnDpiChanged(WindowDpi(m_hWnd));
      result = 0;
      return TRUE;
    case kAlertRowsMessage:
      InsertAlertRows(m_alerts.TakeRows());
      result = 0;
      return TRUE;
    case kReportPageMessage:
      m_reportPage.OnDone(m_hWnd, wParam, lParam);
      result = 0;
      return TRUE;
    case WM_SERVICE_NOTICE:
      result = HandleServiceNoticeMessage(m_notice.get(), wParam, lParam, m_updateShown, ViewOf(m_appTitle), *this);
      return TRUE;
    default:
      break;
  }
  if (ProcessTrayMessage(hWnd, message, wParam, lParam, result)) return TRUE;
  if (CPaintBkgnd::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
  if (CCtrlColor::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
  if (ReflectNotifications(hWnd, message, wParam, lParam, result)) return TRUE;
  return FALSE;
}

bool CMainDlg::OnCommand(WORD id) {
  switch (id) {
    case IDCANCEL:  // Escape, or any request to close the window
      DestroyWindow();
      ::PostQuitMessage(2);
      return true;
    case IDC_START:
      OnStart();
      return true;
    case IDC_STOP:
      OnStop();
      return true;
    case IDC_CLEAR_LOG:
      ::SendMessageW(m_hLogList, LVM_DELETEALLITEMS, 0, 0);
      return true;
    case IDC_CLOSE:
      RemoveTrayIcon();
      ShowWindow(SW_HIDE);
      SendMessageW(WM_CLOSE);  // the dialog manager turns it into the cancel command
      return true;
    case IDC_MINIMIZE:
      ShowWindow(SW_MINIMIZE);  // the tray mix-in hides the minimised window
      return true;
    case IDC_WEB_PAGE:
      OpenMakerWebPage(m_hWnd);
      return true;
    default:
      return false;
  }
}

LRESULT CMainDlg::OnInitDialog() {
  CentreOnWorkArea();

  m_appTitle = StringResource(IDS_APP_NAME);
  const std::wstring version = StringResource(IDS_VERSION);
  SetWindowTextW(m_appTitle.c_str());
  const std::wstring titleLine = m_appTitle + L" " + version;

  DoDataExchange();
  LoadConfig(m_files, PathText(m_paths.configPath), m_config);
  SetDlgItemTextW(IDC_TITLE_LINE, titleLine.c_str());

  MonitorSettings settings = SettingsOf(m_config);
  FillSettingCombos(m_hWnd, settings);
  SetSettings(m_config, settings);

  // Any list the user types or pastes: an edit box takes some 32 000 characters unless told.
  ::SendDlgItemMessageW(m_hWnd, IDC_SITE_LIST, EM_SETLIMITTEXT, 0, 0);
  const std::optional<U16> sites = LoadSiteText(m_files, m_codePage, PathText(m_paths.siteListPath));
  const U16 shown = sites ? *sites : DefaultSiteList();
  SetDlgItemTextW(IDC_SITE_LIST, AsWide(shown.c_str()));

  SetWindowIcons(WindowDpi(m_hWnd));

  AddTrayIcon();
  ShowNotification(0, 0, u"", kPopupTitle);  // creates the popup, hidden

  m_btnClose.SetColours(MainWindowButtonColours(IDC_CLOSE));
  m_btnMinimize.SetColours(MainWindowButtonColours(IDC_MINIMIZE));
  m_btnWebPage.SetColours(MainWindowButtonColours(IDC_WEB_PAGE));
  m_btnClearLog.SetColours(MainWindowButtonColours(IDC_CLEAR_LOG));

  m_logTime = CurrentLocalTime();
  const U16 startRow = FormatLogTime(m_logTime) + u" " + U16(kTextProgramStart);
  InsertLogColumn();
  m_history = std::make_unique<HistoryThread>(m_paths.traceFolderPath, 'W', m_hWnd);
  InsertLogRow(startRow);
  InsertAlertRows(m_alerts.Start(m_paths.alertsFile, m_paths.pendingAlertsFile, m_hWnd, kAlertRowsMessage));

  if (m_loop != nullptr) {
    m_loop->AddFilter(this);
  }

  if (m_startNoticeCheck) {
    m_notice = StartNoticeCheck(m_hWnd, m_config.lastNoticeId, m_config.softtype, ViewOf(version));
  }
  return TRUE;  // focus to the first tab stop, "开始"
}

void CMainDlg::CentreOnWorkArea() {
  RECT window{};
  GetWindowRect(&window);
  RECT work{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return;
  const Rect windowRect = FromWinRect(window);
  const Point corner = ::CentreOnWorkArea(windowRect.Width(), windowRect.Height(), FromWinRect(work));
  SetWindowPos(nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDlg::SetWindowIcons(int dpi) {
  // The icons at the sizes of the window's monitor; the window holds them while it shows them.
  UniqueIcon bigIcon(static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                 SystemMetricAtDpi(SM_CXICON, dpi),
                                                 SystemMetricAtDpi(SM_CYICON, dpi), LR_DEFAULTCOLOR)));
  UniqueIcon smallIcon(static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                   SystemMetricAtDpi(SM_CXSMICON, dpi),
                                                   SystemMetricAtDpi(SM_CYSMICON, dpi), LR_DEFAULTCOLOR)));
  SetIcon(bigIcon.get(), TRUE);
  SetIcon(smallIcon.get(), FALSE);
  m_bigIcon = std::move(bigIcon);
  m_smallIcon = std::move(smallIcon);
}

void CMainDlg::OnDpiChanged(int dpi) {
  SetWindowIcons(dpi);
  OnDisplayScaleChanged();  // the tray icon, at the system's DPI
  RECT client{};
  ::GetClientRect(m_hLogList, &client);
  ::SendMessageW(m_hLogList, LVM_SETCOLUMNWIDTH, 0, (client.right - client.left) - ScaleToDpi(kLogColumnMargin, dpi));
}

void CMainDlg::DoDataExchange() {
  DDX_Control(IDC_START, m_btnStart);
  DDX_Control(IDC_STOP, m_btnStop);
  DDX_Control(IDC_CLOSE, m_btnClose);
  DDX_Control(IDC_MINIMIZE, m_btnMinimize);
  DDX_Control(IDC_WEB_PAGE, m_btnWebPage);
  DDX_Control(IDC_CLEAR_LOG, m_btnClearLog);
  DDX_Control_Handle(IDC_CHECK_INTERVAL, m_hIntervalList);
  DDX_Control_Handle(IDC_RETRY_COUNT, m_hRetryCountList);
  DDX_Control_Handle(IDC_RETRY_INTERVAL, m_hRetryIntervalList);
  DDX_Control_Handle(IDC_RUN_LOG, m_hLogList);
}

void CMainDlg::InsertLogColumn() {
  RECT client{};
  ::GetClientRect(m_hLogList, &client);
  wchar_t title[] = L"监控日志";
  LVCOLUMNW column{};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = (client.right - client.left) - ScaleForWindow(m_hLogList, kLogColumnMargin);
  column.pszText = title;
  ::SendMessageW(m_hLogList, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

void CMainDlg::OnDestroy() {
  // The notice thread must not reach this window once it starts going.
  if (m_notice) MarkNoticeWindowGone(m_notice);
  CloseAlertsDialog(m_alertsDlg);  // it hands saved channels to the alerts, which stop below
  m_run.OnDestroy();  // both flags, Config.dat, the workers' end, the site list
  InsertAlertRows(m_alerts.Stop());  // a few seconds at most; what is undelivered is kept
  if (m_loop != nullptr) {
    m_loop->RemoveFilter(this);
  }
  DestroyPopup(m_pPopup);
  m_reportPage.Wait();  // a page being made is finished, then left unopened
}

void CMainDlg::InsertAlertRows(const std::vector<U16>& rows) {
  for (const U16& row : rows) InsertLogRow(FormatLogTime(CurrentLocalTime()) + u" " + row);
}

bool CMainDlg::FilterMessage(MSG* msg) {
  return m_hWnd != nullptr && ::IsDialogMessageW(m_hWnd, msg) != FALSE;
}

void CMainDlg::InsertLogRow(U16View text) {
  ShowLogRow(text);
  if (m_history) m_history->Post(text);  // written by the history's thread: never a wait here
}

void CMainDlg::ShowLogRow(U16View text) {
  // The oldest rows go at the bottom once the log is full: a program left running for days
  // would otherwise grow without end. They go before the new row comes, so the list never holds
  // more than the limit: its item arrays then keep their size, where growing past it and
  // shrinking back with every row moved them in the heap and left holes that kept growing.
  for (LRESULT count = ::SendMessageW(m_hLogList, LVM_GETITEMCOUNT, 0, 0); count >= kRunLogRowLimit; --count)
    ::SendMessageW(m_hLogList, LVM_DELETEITEM, static_cast<WPARAM>(count - 1), 0);
  U16 row(text);  // the control copies it; it needs the terminator
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = 0;
  item.iSubItem = 0;
  item.pszText = AsWide(row.data());
  ::SendMessageW(m_hLogList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int CMainDlg::ShowNotification(int show, int seconds, U16View text, U16View title) {
  return ::ShowNotification(m_pPopup, show, seconds, text, title);
}

void CMainDlg::SetTrayTip(U16View text) {
  // Every report sets the tip, mostly to the text it already shows, and each change goes to the
  // tray host (another process, with a desktop's tray); an unchanged tip is not sent again. The
  // tip field holds the text cut to its size, so that is what is compared.
  char16_t wanted[kTrayTipUnits] = {};
  CopyToField(wanted, kTrayTipUnits, text);
  if (U16View(wanted) == U16View(AsU16(IconRecord().szTip))) return;
  CShellIcon::SetTrayTip(text);
}

U16 CMainDlg::ReadSiteListText() {
  // The whole text: every typed site is normalised, stored and watched.
  HWND edit = GetDlgItem(IDC_SITE_LIST);
  const int length = ::GetWindowTextLengthW(edit);
  if (length <= 0) return U16();
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int got = ::GetWindowTextW(edit, buffer.data(), length + 1);
  return U16(AsU16(buffer.c_str()), got > 0 ? static_cast<size_t>(got) : 0);
}

void CMainDlg::SetSiteListText(U16View text) {
  const U16 copy(text);
  SetDlgItemTextW(IDC_SITE_LIST, AsWide(copy.c_str()));
}

void CMainDlg::EnableStartStop(bool startEnabled, bool stopEnabled) {
  ::EnableWindow(GetDlgItem(IDC_START), startEnabled ? TRUE : FALSE);
  ::EnableWindow(GetDlgItem(IDC_STOP), stopEnabled ? TRUE : FALSE);
}

MonitorSettings CMainDlg::ReadSettings() {
  MonitorSettings settings = SettingsOf(m_config);
  ReadSettingCombos(m_hWnd, settings);
  SetSettings(m_config, settings);
  return settings;
}

bool CMainDlg::StoreSiteList(U16View joinedList) {
  return ::StoreSiteList(m_files, m_codePage, PathText(m_paths.siteListPath), joinedList);
}

void CMainDlg::SaveSettings() {
  if (m_notice) m_config.lastNoticeId = m_notice->LastNoticeId();
  SaveConfig(m_files, PathText(m_paths.configPath), m_config);
}

void CMainDlg::OnTrayAlerts() {
  // The dialog closes before this window goes (OnDestroy), so it may hold the window.
  auto apply = [this](const std::vector<AlertChannel>& channels) { m_alerts.SetChannels(channels); };
  OpenAlertsDialog(m_alertsDlg, AlertsDialogServicesFor(m_paths.alertsFile, apply, m_alerts.MachineName()), m_loop);
}

void CMainDlg::OnTrayReport() { m_reportPage.Start(m_hWnd, m_paths.traceFolderPath); }
