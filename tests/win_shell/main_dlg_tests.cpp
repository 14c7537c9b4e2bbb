// The main window created in-process from its template, on a data folder of the test's own (the
// prefix's real AppData is never touched): first-start state, placement, the run log, the
// outlets, Start and Stop through the buttons, and the cancel command's exit path.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/wide_text_win.h"
#include "monitor/probe_status.h"
#include "monitor/run_flags.h"
#include "monitor/site_probe_task.h"
#include "monitor/site_status_message.h"
#include "res/resource.h"
#include "shell/main_dlg_win.h"
#include "shell/run_log_limit.h"
#include "shell/message_loop_win.h"
#include "tests/support/message_pump_win.h"
#include "tests/support/test_files.h"
#include "tests/support/window_view_win.h"

using namespace std::chrono_literals;
using sitemon_test::PumpUntil;
using sitemon_test::ReadBytes;
using sitemon_test::TempFolder;
using sitemon_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

// Stands in for the probe worker: runs until the stop flag, then sends its last report and ends,
// as the real worker does.
DWORD WINAPI FakeWorker(LPVOID param) {
  auto* task = static_cast<SiteProbeTask*>(param);
  while (!StopRequested() && !ExitRequested()) ::Sleep(10);  // the worker's own tick
  ::SendMessageW(static_cast<HWND>(task->notifyWindow), WM_SITE_STATUS, static_cast<WPARAM>(task->siteNumber),
                 kStatusWorkerEnded);
  return 0;
}

std::wstring Text(HWND window) {
  const U16 text = WindowText(window);
  return std::wstring(AsWide(text.c_str()), text.size());
}

std::vector<std::wstring> LogRows(HWND list) {
  std::vector<std::wstring> rows;
  const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[512] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    rows.push_back(buffer);
  }
  return rows;
}

std::vector<std::wstring> ComboItems(HWND combo) {
  std::vector<std::wstring> items;
  const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t buffer[64] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
    items.push_back(buffer);
  }
  return items;
}

std::wstring SelectedText(HWND combo) {
  const int selected = static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0));
  if (selected < 0) return L"<none>";
  wchar_t buffer[64] = {};
  ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

// "%4d-%d-%d %02d:%02d:%02d <text>"
std::wregex TimedRow(const std::wstring& text) {
  return std::wregex(L"^[ 0-9]{3}[0-9]-[1-9][0-9]?-[1-9][0-9]? [0-2][0-9]:[0-5][0-9]:[0-5][0-9] " + text + L"$");
}

int32_t IntAt(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | (static_cast<uint32_t>(bytes[offset + static_cast<size_t>(i)]) & 0xFF);
  return static_cast<int32_t>(v);
}

class MainDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetExitRequested(0);
    SetStopRequested(0);
    dataFolder = std::make_unique<TempFolder>();
  }
  void TearDown() override {
    if (dialog && dialog->m_hWnd) dialog->DestroyWindow();
    dialog.reset();
    DrainQuit();
  }
  void Open() {
    MainDlgSetup setup;
    setup.workerEntry = FakeWorker;
    setup.dataFolder = dataFolder->path().c_str();
    setup.startNoticeCheck = false;
    setup.loop = &loop;
    dialog = std::make_unique<CMainDlg>(setup);
    ASSERT_NE(dialog->Create(nullptr, 0), nullptr);
  }
  HWND Item(int id) const { return dialog->GetDlgItem(id); }
  fs::path DataFile(const wchar_t* name) const { return dataFolder->path() / L"DorvaneSiteMonitor" / name; }
  // The quit code posted on this thread, or -1.
  static int DrainQuit() {
    MSG msg;
    int code = -1;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) code = static_cast<int>(msg.wParam);
      else ::DispatchMessageW(&msg);
    }
    return code;
  }

  CMessageLoop loop;
  std::unique_ptr<TempFolder> dataFolder;
  std::unique_ptr<CMainDlg> dialog;
};

TEST_F(MainDlgTest, FirstStartDefaultsButtonsAndTheStartRow) {
  SYSTEMTIME before{};
  ::GetLocalTime(&before);
  Open();
  SYSTEMTIME after{};
  ::GetLocalTime(&after);
  // The name and version are read from the string table at start.
  EXPECT_EQ(Text(dialog->m_hWnd), L"Corvell网站监控");
  EXPECT_EQ(Text(Item(IDC_TITLE_LINE)), L"Corvell网站监控 1.1.0.0");

  EXPECT_EQ(ComboItems(Item(IDC_CHECK_INTERVAL)),
            (std::vector<std::wstring>{L"30秒", L"1分钟", L"2分钟", L"5分钟", L"10分钟", L"15分钟"}));
  EXPECT_EQ(ComboItems(Item(IDC_RETRY_COUNT)), (std::vector<std::wstring>{L"1次", L"2次", L"3次"}));
  EXPECT_EQ(ComboItems(Item(IDC_RETRY_INTERVAL)),
            (std::vector<std::wstring>{L"10秒", L"30秒", L"1分钟", L"2分钟", L"5分钟"}));
  EXPECT_EQ(SelectedText(Item(IDC_CHECK_INTERVAL)), L"1分钟");
  EXPECT_EQ(SelectedText(Item(IDC_RETRY_COUNT)), L"3次");
  EXPECT_EQ(SelectedText(Item(IDC_RETRY_INTERVAL)), L"30秒");

  EXPECT_TRUE(::IsWindowEnabled(Item(IDC_START)));
  EXPECT_FALSE(::IsWindowEnabled(Item(IDC_STOP)));

  const std::vector<std::wstring> rows = LogRows(Item(IDC_RUN_LOG));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(std::regex_match(rows[0], TimedRow(L"软件启动"))) << rows[0].size();
  // The stamp is the local time of the start (no leading zeros on month and day): a second from
  // the one before Open to the one after it, however long Open took.
  SYSTEMTIME stamped{};
  ASSERT_EQ(swscanf(rows[0].c_str(), L"%4hu-%hu-%hu %2hu:%2hu:%2hu", &stamped.wYear, &stamped.wMonth, &stamped.wDay,
                    &stamped.wHour, &stamped.wMinute, &stamped.wSecond),
            6);
  const auto seconds = [](SYSTEMTIME t) {
    t.wMilliseconds = 0;
    FILETIME f{};
    ::SystemTimeToFileTime(&t, &f);
    return ((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000000;
  };
  EXPECT_LE(seconds(before), seconds(stamped)) << rows[0];
  EXPECT_LE(seconds(stamped), seconds(after)) << rows[0];

  // One column, as wide as the list's client area less 30.
  RECT client{};
  ::GetClientRect(Item(IDC_RUN_LOG), &client);
  EXPECT_EQ(::SendMessageW(Item(IDC_RUN_LOG), LVM_GETCOLUMNWIDTH, 0, 0), client.right - 30);
  EXPECT_EQ(::SendMessageW(Item(IDC_RUN_LOG), LVM_GETCOLUMNWIDTH, 1, 0), 0);

  // Drawn buttons with their colours; the window's icons; the popup exists, hidden.
  for (int id : {IDC_START, IDC_STOP, IDC_CLOSE, IDC_MINIMIZE, IDC_WEB_PAGE, IDC_CLEAR_LOG})
    EXPECT_EQ(::GetWindowLongW(Item(id), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << id;
  EXPECT_EQ(dialog->Button(IDC_CLOSE).m_crHover, 0x2524DAu);
  EXPECT_EQ(dialog->Button(IDC_CLEAR_LOG).m_crPressed, 0xFFB321u);
  EXPECT_EQ(dialog->Button(IDC_START).m_crNormal, 0xFF9933u);
  EXPECT_NE(dialog->SendMessageW(WM_GETICON, ICON_BIG), 0);
  EXPECT_NE(dialog->SendMessageW(WM_GETICON, ICON_SMALL), 0);
  ASSERT_NE(dialog->Popup(), nullptr);
  EXPECT_FALSE(::IsWindowVisible(dialog->Popup()->m_hWnd));
}

TEST_F(MainDlgTest, CentredOnTheWorkArea) {
  Open();
  RECT window{};
  dialog->GetWindowRect(&window);
  RECT work{};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  ASSERT_LE(width, work.right - work.left);  // a larger window is pinned to the corner instead
  ASSERT_LE(height, work.bottom - work.top);
  EXPECT_EQ(window.left, (work.left + work.right) / 2 - width / 2);
  EXPECT_EQ(window.top, (work.top + work.bottom) / 2 - height / 2);
}

TEST_F(MainDlgTest, NewRowsGoOnTopAndClearEmptiesTheLog) {
  Open();
  dialog->InsertLogRow(u"first");
  dialog->InsertLogRow(u"second");
  EXPECT_EQ(LogRows(Item(IDC_RUN_LOG)).size(), 3u);
  EXPECT_EQ(LogRows(Item(IDC_RUN_LOG))[0], L"second");
  EXPECT_EQ(LogRows(Item(IDC_RUN_LOG))[1], L"first");
  dialog->SendMessageW(WM_COMMAND, MAKEWPARAM(IDC_CLEAR_LOG, BN_CLICKED), reinterpret_cast<LPARAM>(Item(IDC_CLEAR_LOG)));
  EXPECT_TRUE(LogRows(Item(IDC_RUN_LOG)).empty());
  dialog->InsertLogRow(u"again");
  EXPECT_EQ(LogRows(Item(IDC_RUN_LOG)), (std::vector<std::wstring>{L"again"}));
}

// The most rows the list held after any message it handled.
LRESULT CALLBACK NoteMostRows(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR most) {
  const LRESULT result = ::DefSubclassProc(list, message, wParam, lParam);
  LRESULT& seen = *reinterpret_cast<LRESULT*>(most);
  seen = std::max(seen, ::DefSubclassProc(list, LVM_GETITEMCOUNT, 0, 0));
  return result;
}

// A full log keeps its newest rows: each new row on top pushes the oldest out at the bottom.
// The oldest goes first: the list never holds more than the limit, even for a moment (growing
// past it and shrinking back with every row moved the list's arrays in Wine's heap, and the
// program grew with every report).
TEST_F(MainDlgTest, AFullLogDropsItsOldestRowsAtTheBottom) {
  Open();
  LRESULT most = 0;
  ASSERT_TRUE(::SetWindowSubclass(Item(IDC_RUN_LOG), NoteMostRows, 1, reinterpret_cast<DWORD_PTR>(&most)));
  for (int i = 1; i <= kRunLogRowLimit + 2; ++i) dialog->InsertLogRow(U16Decimal(i));
  ::RemoveWindowSubclass(Item(IDC_RUN_LOG), NoteMostRows, 1);
  EXPECT_EQ(most, kRunLogRowLimit);
  const std::vector<std::wstring> rows = LogRows(Item(IDC_RUN_LOG));
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRunLogRowLimit));
  EXPECT_EQ(rows.front(), std::to_wstring(kRunLogRowLimit + 2));
  EXPECT_EQ(rows.back(), L"3");  // the start-up row and rows 1 and 2 are gone
}

TEST_F(MainDlgTest, StoredStateIsLoadedAtStart) {
  fs::create_directory(dataFolder->path() / L"DorvaneSiteMonitor");
  // 8 bytes: 300 seconds and 2 retries; the retry interval is missing (0) and becomes 30 s.
  ASSERT_TRUE(WriteBytes(DataFile(L"Config.dat"), std::string("\x2c\x01\x00\x00\x02\x00\x00\x00", 8)));
  ASSERT_TRUE(WriteBytes(DataFile(L"site.txt"), "http://a.example/\r\nhttp://b.example/"));
  Open();
  EXPECT_EQ(SelectedText(Item(IDC_CHECK_INTERVAL)), L"5分钟");
  EXPECT_EQ(SelectedText(Item(IDC_RETRY_COUNT)), L"2次");
  EXPECT_EQ(SelectedText(Item(IDC_RETRY_INTERVAL)), L"30秒");
  EXPECT_EQ(Text(Item(IDC_SITE_LIST)), L"http://a.example/\r\nhttp://b.example/");
}

TEST_F(MainDlgTest, CancelCommandSavesSettingsDestroysTheWindowAndQuitsWithTwo) {
  Open();
  HWND window = dialog->m_hWnd;
  dialog->SendMessageW(WM_COMMAND, IDCANCEL, 0);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(DrainQuit(), 2);
  EXPECT_EQ(loop.FilterCount(), 0u);  // a filter left behind would reach a destroyed window
  EXPECT_EQ(dialog->Popup(), nullptr);
  EXPECT_TRUE(ExitRequested());
  EXPECT_TRUE(StopRequested());

  const std::string config = ReadBytes(DataFile(L"Config.dat"));
  ASSERT_EQ(config.size(), 240u);
  EXPECT_EQ(IntAt(config, 0), 60);
  EXPECT_EQ(IntAt(config, 4), 3);
  EXPECT_EQ(IntAt(config, 8), 30);
  EXPECT_EQ(IntAt(config, 12), 0);
  EXPECT_EQ(IntAt(config, 16), 2);
  EXPECT_EQ(config.find_first_not_of('\0', 20), std::string::npos);
}

TEST_F(MainDlgTest, EscapeThroughTheLoopsFilterIsTheCancelCommand) {
  Open();
  dialog->ShowWindow(SW_SHOW);
  HWND window = dialog->m_hWnd;
  MSG escape{};
  escape.hwnd = Item(IDC_START);
  escape.message = WM_KEYDOWN;
  escape.wParam = VK_ESCAPE;
  EXPECT_TRUE(loop.FilterMessage(&escape));
  PumpUntil([&] { return !::IsWindow(window); }, 3000ms);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(DrainQuit(), 2);
}

TEST_F(MainDlgTest, StartAndStopThroughTheButtons) {
  Open();
  dialog->ShowWindow(SW_SHOW);
  ::SetDlgItemTextW(dialog->m_hWnd, IDC_SITE_LIST, L"  http://127.0.0.1:9/one  \r\n\r\n\x3000http://127.0.0.1:9/two\r\n");
  ::SendMessageW(Item(IDC_START), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return dialog->Run().RunActive(); }, 3000ms));
  EXPECT_FALSE(::IsWindowEnabled(Item(IDC_START)));
  EXPECT_TRUE(::IsWindowEnabled(Item(IDC_STOP)));
  EXPECT_EQ(Text(Item(IDC_SITE_LIST)), L"http://127.0.0.1:9/one\r\nhttp://127.0.0.1:9/two");
  std::vector<std::wstring> rows = LogRows(Item(IDC_RUN_LOG));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_TRUE(std::regex_match(rows[0], TimedRow(L"监控开始运行")));
  EXPECT_TRUE(std::regex_match(rows[1], TimedRow(L"线程\\[2\\]启动")));
  EXPECT_TRUE(std::regex_match(rows[2], TimedRow(L"线程\\[1\\]启动")));
  EXPECT_EQ(ReadBytes(DataFile(L"site.txt")), "http://127.0.0.1:9/one\r\nhttp://127.0.0.1:9/two");

  ::SendMessageW(Item(IDC_STOP), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(Item(IDC_START)) != FALSE; }, 5000ms));
  EXPECT_FALSE(::IsWindowEnabled(Item(IDC_STOP)));
  rows = LogRows(Item(IDC_RUN_LOG));
  ASSERT_GE(rows.size(), 8u);
  EXPECT_TRUE(std::regex_match(rows[0], TimedRow(L"监控停止!")));
  EXPECT_TRUE(std::regex_match(rows[3], TimedRow(L"停止中...")));
  std::set<std::wstring> ends;
  for (int i : {1, 2}) ends.insert(rows[static_cast<size_t>(i)].substr(rows[static_cast<size_t>(i)].find(L' ', 10) + 1));
  EXPECT_EQ(ends, (std::set<std::wstring>{L"[1]线程退出", L"[2]线程退出"}));
}

// A pasted list longer than an edit box takes unless told (32 767 characters on Windows, about
// 30 000 under Wine) reaches the editor, site.txt and the workers whole.
TEST_F(MainDlgTest, APastedListOfAnyLengthIsTakenWhole) {
  Open();
  std::wstring list;
  for (int i = 1; i <= 50; ++i)
    list += L"http://127.0.0.1:9/" + std::to_wstring(i) + L"/" + std::wstring(700, L'p') + L"\r\n";
  ASSERT_GT(list.size(), 32767u);
  HWND edit = Item(IDC_SITE_LIST);
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(list.c_str()));  // as a paste does
  EXPECT_EQ(Text(edit), list);

  ::SendMessageW(Item(IDC_START), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return dialog->Run().RunActive(); }, 3000ms));
  list.resize(list.size() - 2);  // the last line break goes with normalising
  EXPECT_EQ(Text(edit), list);
  EXPECT_EQ(ReadBytes(DataFile(L"site.txt")), std::string(list.begin(), list.end()));
  const auto& tasks = dialog->Run().Tasks();
  ASSERT_EQ(tasks.size(), 50u);
  EXPECT_EQ(tasks.back().url, u"http://127.0.0.1:9/50/" + U16(700, u'p'));
  ::SendMessageW(Item(IDC_STOP), BM_CLICK, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return ::IsWindowEnabled(Item(IDC_START)) != FALSE; }, 10000ms));
}

TEST_F(MainDlgTest, ReportsForSitesOutsideTheRunChangeNothing) {
  Open();
  dialog->SendMessageW(WM_SITE_STATUS, 0, 404);
  dialog->SendMessageW(WM_SITE_STATUS, 3, 404);
  EXPECT_EQ(LogRows(Item(IDC_RUN_LOG)).size(), 1u);
}

}  // namespace
