#pragma once
// What the "告警通知" dialog of the main window reaches: the channels' file in the data folder,
// the alerts that use the saved channels, the test message and the sender.
#include "shell/alerts_dlg_win.h"

class CMainDlg;

AlertsDialogServices AlertsDialogServicesOf(CMainDlg& main);
