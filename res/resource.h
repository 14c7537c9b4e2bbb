#pragma once
// Resource ids shared by the resource script and the code.

// Dialog templates, menu, icon.
#define IDD_ABOUTBOX 100
#define IDD_MAINDLG 129
#define IDD_POPUP 202
#define IDR_TRAYMENU 201
#define IDI_APP 128

// String table.
#define IDS_TRAY_TITLE 128
#define IDS_APP_NAME 130
#define IDS_VERSION 131

// Controls of the main window.
#define IDC_SITE_LIST 1000
#define IDC_START 1002
#define IDC_STOP 1003
#define IDC_CLEAR_LOG 1004
#define IDC_TITLE_LINE 1006
#define IDC_CLOSE 1007
#define IDC_MINIMIZE 1008
#define IDC_CHECK_INTERVAL 1009
#define IDC_RETRY_COUNT 1010
#define IDC_RETRY_INTERVAL 1011
#define IDC_WEB_PAGE 1014
#define IDC_RUN_LOG 1018

// Controls of the popup and the about box.
#define IDC_POPUP_TITLE 1004
#define IDC_POPUP_TEXT 1005
#define IDC_ABOUT_TEXT 1017

// Tray menu commands.
#define ID_TRAY_SHOW 32775
#define ID_TRAY_EXIT 32776
#define ID_TRAY_ABOUT 32777
#define ID_TRAY_VISIT 32779
#define ID_TRAY_ALERTS 32780
#define ID_TRAY_REPORT 32781
