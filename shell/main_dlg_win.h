#pragma once
// The main window: a caption-less blue dialog (template IDD_MAINDLG) with its own title-bar buttons, the
// site list, the three setting lists, Start and Stop, and the run log. It owns the run (through
// RunControl), the stored settings, the popup, the tray icon and the notice check's link, and
// is the report outlet of the engine.
#include <windows.h>

#include <memory>

#include "alerts/alert_service_win.h"
#include "framework/dialog_impl_win.h"
#include "framework/mixins_win.h"
#include "history/history_thread_win.h"
#include "base/unique_handle_win.h"
#include "base/log_time.h"
#include "monitor/run_control.h"
#include "monitor/run_host.h"
#include "monitor/run_host_win.h"
#include "notice/notice_link.h"
#include "res/resource.h"
#include "shell/alerts_dlg_win.h"
#include "shell/button_bt_win.h"
#include "shell/colour_mixins_win.h"
#include "shell/message_box_dlg_win.h"
#include "shell/message_loop_win.h"
#include "shell/report_page_task_win.h"
#include "monitor/report_outlets.h"
#include "shell/shell_icon_win.h"
#include "store/config_record.h"
#include "store/data_path_win.h"
#include "store/user_char_win.h"
#include "store/win32_files_win.h"

// Where the main window keeps its stored files and whom it reports to; the program uses the
// user's data folder and the real worker, tests a folder of their own and a worker of theirs.
struct MainDlgSetup {
  LPTHREAD_START_ROUTINE workerEntry = nullptr;
  // Empty: AppData\DorvaneSiteMonitor (created when missing).
  const wchar_t* dataFolder = nullptr;
  // False: no notice thread (tests of the window alone).
  bool startNoticeCheck = true;
  // The loop the window runs in: it joins it as a message filter (the dialog's keyboard
  // handling) while it exists; it has no work for the loop's idle phase. Null: none (keys reach
  // the controls without the dialog's keyboard handling).
  CMessageLoop* loop = nullptr;
};

class CMainDlg : public CDialogImpl<CMainDlg>,
                 public CUpdateUI<CMainDlg>,
                 public CMessageFilter,
                 public CWinDataExchange<CMainDlg>,
                 public CShellIcon<CMainDlg, CAppIconMenu<CMainDlg, IDR_TRAYMENU>, IDR_TRAYMENU>,
                 public CPaintBkgnd<CMainDlg, 0, 0xD6920F>,
                 public CCtrlColor<CMainDlg, 0, 0xFFFFFF, 0xD6920F>,
                 public IReportOutlets,
                 private IRunWindow {
 public:
  enum { IDD = IDD_MAINDLG };

  explicit CMainDlg(const MainDlgSetup& setup);
  ~CMainDlg() override;

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId = 0) override;
  bool FilterMessage(MSG* msg) override;

  // The outlets of the engine and the notice check.
  void InsertLogRow(U16View text) override;
  // The row at the top of the run log, not handed to the history (the history's own rows).
  void ShowLogRow(U16View text);
  int ShowNotification(int show, int seconds, U16View text, U16View title) override;
  void SetTrayTip(U16View text) override;

  void OnStart() { m_run.OnStart(); }
  void OnStop() { m_run.OnStop(); }
  // The tray menu's "告警通知" and "可用率报告".
  void OnTrayAlerts();
  void OnTrayReport();

  const RunControl& Run() const { return m_run; }
  // The alerts: the "告警通知" dialog hands them the channels it saved.
  AlertService& Alerts() { return m_alerts; }
  const ConfigRecord& StoredSettings() const { return m_config; }
  const DataPaths& Paths() const { return m_paths; }
  CMessageBoxDlg* Popup() const { return m_pPopup; }
  CAlertsDlg* AlertsDialog() const { return m_alertsDlg; }
  const CButtonBT& Button(int id) const;

 private:
  LRESULT OnInitDialog();
  void OnDestroy();
  bool OnCommand(WORD id);
  void DoDataExchange();
  void CentreOnWorkArea();
  void InsertLogColumn();
  void SetWindowIcons(int dpi);
  void OnDpiChanged(int dpi);  // after the controls were scaled to the window's new DPI
  void InsertAlertRows(const std::vector<U16>& rows);  // stamped with the time they are shown

  // IRunWindow
  U16 ReadSiteListText() override;
  void SetSiteListText(U16View text) override;
  void EnableStartStop(bool startEnabled, bool stopEnabled) override;
  MonitorSettings ReadSettings() override;
  bool StoreSiteList(U16View joinedList) override;
  void SaveSettings() override;
  void* NotifyWindow() override { return m_hWnd; }
  IReportOutlets& Outlets() override { return *this; }

  CMessageBoxDlg* m_pPopup = nullptr;
  CAlertsDlg* m_alertsDlg = nullptr;  // the "告警通知" dialog while it is open
  bool m_updateShown = false;
  CButtonBT m_btnStart;
  CButtonBT m_btnStop;
  CButtonBT m_btnClose;
  CButtonBT m_btnMinimize;
  CButtonBT m_btnWebPage;
  CButtonBT m_btnClearLog;
  HWND m_hLogList = nullptr;
  LocalTime m_logTime;
  HWND m_hIntervalList = nullptr;
  HWND m_hRetryCountList = nullptr;
  HWND m_hRetryIntervalList = nullptr;
  ConfigRecord m_config;
  DataPaths m_paths;
  UniqueIcon m_bigIcon;
  UniqueIcon m_smallIcon;
  std::wstring m_appTitle;  // string 130
  bool m_startNoticeCheck;
  CMessageLoop* m_loop;
  std::shared_ptr<NoticeLink> m_notice;
  Win32StoreFiles m_files;
  UserCharCodePage m_codePage;
  Win32RunThreads m_threads;
  AlertService m_alerts;  // before the run control, which tells it of every report until it goes
  RunControl m_run;
  std::unique_ptr<HistoryThread> m_history;  // every row shown also goes to GetLog's day file
  ReportPageTask m_reportPage;  // the tray's "可用率报告", made on a thread of its own
};
