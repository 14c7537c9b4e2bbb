#include "shell/alerts_dlg_win.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>

#include "base/geometry_win.h"
#include "base/wide_text_win.h"
#include "framework/reflect_win.h"
#include "shell/button_look.h"
#include "shell/dpi_win.h"
#include "shell/window_placement.h"

struct CAlertsDlg::TestSend {
  explicit TestSend(HWND dialog) : window(dialog) {}
  const HWND window;
  std::atomic<bool> cancel{false};
  std::mutex mutex;  // guards the two below
  bool windowGone = false;
  SendOutcome outcome;
};

namespace {

// The list's columns: title and share of the list's width in percent (the address takes the rest).
struct Column {
  const wchar_t* title;
  int percent;
};
constexpr Column kColumns[] = {{L"名称", 22}, {L"类型", 14}, {L"状态", 10}, {L"地址", 0}};
constexpr int kColumnMargin = 4;  // pixels at 96 DPI left free at the list's right edge

// The fields of each group; the dialog shows the robots' or the mail's.
constexpr int kAddressFields[] = {IDC_ALERTS_ADDRESS_LABEL, IDC_ALERTS_ADDRESS};
constexpr int kSecretFields[] = {IDC_ALERTS_SECRET_LABEL, IDC_ALERTS_SECRET};
constexpr int kMailFields[] = {IDC_ALERTS_HOST_LABEL,     IDC_ALERTS_HOST,     IDC_ALERTS_PORT_LABEL,
                               IDC_ALERTS_PORT,           IDC_ALERTS_SECURITY, IDC_ALERTS_USER_LABEL,
                               IDC_ALERTS_USER,           IDC_ALERTS_PASSWORD_LABEL, IDC_ALERTS_PASSWORD,
                               IDC_ALERTS_FROM_LABEL,     IDC_ALERTS_FROM,     IDC_ALERTS_TO_LABEL,
                               IDC_ALERTS_TO};
constexpr int kFormFields[] = {IDC_ALERTS_NAME, IDC_ALERTS_KIND, IDC_ALERTS_ADDRESS, IDC_ALERTS_SECRET,
                               IDC_ALERTS_HOST, IDC_ALERTS_PORT, IDC_ALERTS_SECURITY, IDC_ALERTS_USER,
                               IDC_ALERTS_PASSWORD, IDC_ALERTS_FROM, IDC_ALERTS_TO, IDC_ALERTS_APPLY,
                               IDC_ALERTS_TEST};

std::wstring Wide(const std::string& utf8) {
  const U16 text = U16FromUtf8(utf8);
  return std::wstring(AsWide(text.c_str()), text.size());
}

std::string Utf8Of(HWND control) {
  const U16 text = WindowText(control);
  return Utf8FromU16(text);
}

template <size_t N>
void ShowFields(HWND dialog, const int (&ids)[N], bool show) {
  for (int id : ids) ::ShowWindow(::GetDlgItem(dialog, id), show ? SW_SHOWNA : SW_HIDE);
}

int ComboSelection(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

}  // namespace

CAlertsDlg::CAlertsDlg(AlertsDialogServices services, CAlertsDlg** ownerSlot, CMessageLoop* loop)
    : m_services(std::move(services)), m_ownerSlot(ownerSlot), m_loop(loop) {}

CAlertsDlg::~CAlertsDlg() {
  if (m_ownerSlot != nullptr && *m_ownerSlot == this) *m_ownerSlot = nullptr;
}

BOOL CAlertsDlg::ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                      DWORD mapId) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      result = TRUE;
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return FALSE;  // the dialog's own processing continues
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam), HIWORD(wParam))) {
        result = 0;
        return TRUE;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header != nullptr && header->idFrom == IDC_ALERTS_LIST && header->code == LVN_ITEMCHANGED) {
        OnListChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
        result = 0;
        return TRUE;
      }
      break;
    }
    case WM_LBUTTONDOWN:
      // No caption: a press on the surface or a label moves the window like one.
      SendMessageW(WM_NCLBUTTONDOWN, HTCAPTION, 0);
      result = 0;
      return TRUE;
    case WM_DPICHANGED:
      // The suggested size; the dialog's own processing scales the controls, then the columns follow.
      TakeSuggestedRect(m_hWnd, lParam);
      PostMessageW(kDpiLayoutMessage);
      return FALSE;
    case kDpiLayoutMessage:
      LayoutColumns();
      result = 0;
      return TRUE;
    case kAlertsTestAnswerMessage:
      OnTestAnswer();
      result = 0;
      return TRUE;
    default:
      break;
  }
  if (CPaintBkgnd::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
  if (CCtrlColor::ProcessWindowMessage(hWnd, message, wParam, lParam, result, mapId)) return TRUE;
  return ReflectNotifications(hWnd, message, wParam, lParam, result) ? TRUE : FALSE;
}

bool CAlertsDlg::FilterMessage(MSG* msg) {
  // Nothing of this object is touched after the call: Escape may end the dialog inside it.
  HWND dialog = m_hWnd;
  return dialog != nullptr && ::IsDialogMessageW(dialog, msg) != FALSE;
}

void CAlertsDlg::OnFinalMessage(HWND) { delete this; }

void CAlertsDlg::OnInitDialog() {
  ::SetWindowTextW(m_hWnd, L"告警通知");  // the taskbar's text; the window has no caption
  m_hList = GetDlgItem(IDC_ALERTS_LIST);
  m_btnClose.SubclassWindow(GetDlgItem(IDC_ALERTS_CLOSE));
  m_btnAdd.SubclassWindow(GetDlgItem(IDC_ALERTS_ADD));
  m_btnRemove.SubclassWindow(GetDlgItem(IDC_ALERTS_REMOVE));
  m_btnToggle.SubclassWindow(GetDlgItem(IDC_ALERTS_TOGGLE));
  m_btnApply.SubclassWindow(GetDlgItem(IDC_ALERTS_APPLY));
  m_btnTest.SubclassWindow(GetDlgItem(IDC_ALERTS_TEST));
  m_btnSave.SubclassWindow(GetDlgItem(IDC_ALERTS_SAVE));
  m_btnClose.SetColours(MainWindowButtonColours(IDC_CLOSE));

  HWND kinds = GetDlgItem(IDC_ALERTS_KIND);
  for (ChannelKind kind : kDialogKinds) {
    ::SendMessageW(kinds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(ChannelKindName(kind)).c_str()));
  }
  HWND security = GetDlgItem(IDC_ALERTS_SECURITY);
  ::SendMessageW(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"465 SSL/TLS"));
  ::SendMessageW(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"587 STARTTLS"));
  ::SendDlgItemMessageW(m_hWnd, IDC_ALERTS_PORT, EM_SETLIMITTEXT, 5, 0);

  ::SendMessageW(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  InsertColumns();

  std::string problem;
  if (m_services.load) problem = m_services.load(m_channels);
  FillList();
  Select(m_channels.empty() ? -1 : 0);
  SetAnswer(problem);

  RECT window{}, work{};
  GetWindowRect(&window);
  if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    const Rect windowRect = FromWinRect(window);
    const Point at = CentreOnWorkArea(windowRect.Width(), windowRect.Height(), FromWinRect(work));
    SetWindowPos(nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (m_loop != nullptr) m_loop->AddFilter(this);
}

void CAlertsDlg::OnDestroy() {
  if (m_loop != nullptr) m_loop->RemoveFilter(this);
  if (m_test) {
    // A test still under way ends soon and posts nothing to a window that is gone.
    std::lock_guard<std::mutex> lock(m_test->mutex);
    m_test->windowGone = true;
    m_test->cancel.store(true);
  }
  m_test.reset();
}

bool CAlertsDlg::OnCommand(WORD id, WORD code) {
  switch (id) {
    case IDCANCEL:  // Escape or the close command
    case IDC_ALERTS_CLOSE:
      DestroyWindow();
      return true;
    case IDOK:  // Enter in a field: nothing to confirm
      return true;
    case IDC_ALERTS_ADD: OnAdd(); return true;
    case IDC_ALERTS_REMOVE: OnRemove(); return true;
    case IDC_ALERTS_TOGGLE: OnToggle(); return true;
    case IDC_ALERTS_APPLY:
      if (ApplyForm()) SetAnswer("已修改，按“保存”后生效");
      return true;
    case IDC_ALERTS_TEST: OnTest(); return true;
    case IDC_ALERTS_SAVE: OnSave(); return true;
    case IDC_ALERTS_KIND:
      if (code == CBN_SELCHANGE) {
        const int index = ComboSelection(GetDlgItem(IDC_ALERTS_KIND));
        if (index >= 0 && index < static_cast<int>(std::size(kDialogKinds))) ShowFieldsOfKind(kDialogKinds[index]);
      }
      return code == CBN_SELCHANGE;
    case IDC_ALERTS_SECURITY:
      if (code == CBN_SELCHANGE) {
        // The port follows the security while it is the other one's usual port.
        const MailSecurity now = ComboSelection(GetDlgItem(IDC_ALERTS_SECURITY)) == 1 ? MailSecurity::StartTls
                                                                                      : MailSecurity::ImplicitTls;
        const MailSecurity other = now == MailSecurity::StartTls ? MailSecurity::ImplicitTls : MailSecurity::StartTls;
        if (Utf8Of(GetDlgItem(IDC_ALERTS_PORT)) == std::to_string(DefaultMailPort(other))) {
          SetDlgItemTextW(IDC_ALERTS_PORT, std::to_wstring(DefaultMailPort(now)).c_str());
        }
      }
      return code == CBN_SELCHANGE;
    default:
      return false;
  }
}

void CAlertsDlg::OnListChanged(const NMLISTVIEW& change) {
  if (m_filling || (change.uChanged & LVIF_STATE) == 0) return;
  const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
  const bool wasSelected = (change.uOldState & LVIS_SELECTED) != 0;
  if (selected == wasSelected) return;
  if (!selected) {
    // Leaving a channel keeps what was typed for it when that makes a channel.
    if (change.iItem == m_shown && m_shown >= 0) {
      const std::string name = m_channels[static_cast<size_t>(m_shown)].name;
      if (!ApplyForm()) SetAnswer("“" + name + "”的修改未采用：" + Utf8Of(GetDlgItem(IDC_ALERTS_ANSWER)));
    }
    m_shown = -1;
    return;
  }
  if (change.iItem >= 0 && change.iItem < static_cast<int>(m_channels.size())) {
    m_shown = change.iItem;
    PutForm(FormOf(m_channels[static_cast<size_t>(m_shown)]));
  }
}

void CAlertsDlg::InsertColumns() {
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.cx = 50;
    column.pszText = const_cast<wchar_t*>(kColumns[i].title);
    ::SendMessageW(m_hList, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  LayoutColumns();
}

void CAlertsDlg::LayoutColumns() {
  RECT client{};
  ::GetClientRect(m_hList, &client);
  const int width = (client.right - client.left) - ScaleForWindow(m_hList, kColumnMargin);
  int used = 0;
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    const bool last = i + 1 == std::size(kColumns);
    const int cx = last ? width - used : width * kColumns[i].percent / 100;
    ::SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, i, cx > 0 ? cx : 0);
    used += cx;
  }
}

void CAlertsDlg::FillList() {
  m_filling = true;
  ::SendMessageW(m_hList, LVM_DELETEALLITEMS, 0, 0);
  for (size_t i = 0; i < m_channels.size(); ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(m_hList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ShowRow(static_cast<int>(i));
  }
  m_filling = false;
}

void CAlertsDlg::ShowRow(int index) {
  const ChannelRow row = RowOf(m_channels[static_cast<size_t>(index)]);
  const std::string* cells[] = {&row.name, &row.kind, &row.state, &row.address};
  for (size_t column = 0; column < std::size(cells); ++column) {
    std::wstring text = Wide(*cells[column]);
    LVITEMW item{};
    item.iSubItem = static_cast<int>(column);
    item.pszText = text.data();
    ::SendMessageW(m_hList, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  }
}

void CAlertsDlg::Select(int index) {
  m_filling = true;
  LVITEMW none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  if (index >= 0) {
    LVITEMW item{};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_hList, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(m_hList, LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE);
  }
  m_filling = false;
  m_shown = index;
  const bool any = index >= 0;
  for (int id : kFormFields) ::EnableWindow(GetDlgItem(id), any ? TRUE : FALSE);
  ::EnableWindow(GetDlgItem(IDC_ALERTS_REMOVE), any ? TRUE : FALSE);
  ::EnableWindow(GetDlgItem(IDC_ALERTS_TOGGLE), any ? TRUE : FALSE);
  PutForm(any ? FormOf(m_channels[static_cast<size_t>(index)]) : ChannelForm{});
}

void CAlertsDlg::ShowFieldsOfKind(ChannelKind kind) {
  ShowFields(m_hWnd, kAddressFields, KindHasAddress(kind));
  ShowFields(m_hWnd, kSecretFields, KindHasSecret(kind));
  ShowFields(m_hWnd, kMailFields, !KindHasAddress(kind));
  SetDlgItemTextW(IDC_ALERTS_SECRET_LABEL, kind == ChannelKind::Feishu ? L"签名密钥" : L"加签密钥");
  ::InvalidateRect(m_hWnd, nullptr, TRUE);  // the hidden fields' place shows the background again
}

void CAlertsDlg::PutForm(const ChannelForm& form) {
  SetDlgItemTextW(IDC_ALERTS_NAME, Wide(form.name).c_str());
  ::SendDlgItemMessageW(m_hWnd, IDC_ALERTS_KIND, CB_SETCURSEL, static_cast<WPARAM>(KindIndex(form.kind)), 0);
  SetDlgItemTextW(IDC_ALERTS_ADDRESS, Wide(form.address).c_str());
  SetDlgItemTextW(IDC_ALERTS_SECRET, Wide(form.secret).c_str());
  SetDlgItemTextW(IDC_ALERTS_HOST, Wide(form.host).c_str());
  SetDlgItemTextW(IDC_ALERTS_PORT, Wide(form.port.empty() ? std::to_string(DefaultMailPort(form.security))
                                                          : form.port).c_str());
  ::SendDlgItemMessageW(m_hWnd, IDC_ALERTS_SECURITY, CB_SETCURSEL,
                        form.security == MailSecurity::StartTls ? 1 : 0, 0);
  SetDlgItemTextW(IDC_ALERTS_USER, Wide(form.user).c_str());
  SetDlgItemTextW(IDC_ALERTS_PASSWORD, Wide(form.password).c_str());
  SetDlgItemTextW(IDC_ALERTS_FROM, Wide(form.from).c_str());
  SetDlgItemTextW(IDC_ALERTS_TO, Wide(form.recipients).c_str());
  ShowFieldsOfKind(form.kind);
}

ChannelForm CAlertsDlg::TakeForm() const {
  ChannelForm form;
  form.name = Utf8Of(GetDlgItem(IDC_ALERTS_NAME));
  const int kind = ComboSelection(GetDlgItem(IDC_ALERTS_KIND));
  form.kind = kind >= 0 && kind < static_cast<int>(std::size(kDialogKinds)) ? kDialogKinds[kind] : ChannelKind::WeCom;
  form.address = Utf8Of(GetDlgItem(IDC_ALERTS_ADDRESS));
  form.secret = Utf8Of(GetDlgItem(IDC_ALERTS_SECRET));
  form.host = Utf8Of(GetDlgItem(IDC_ALERTS_HOST));
  form.port = Utf8Of(GetDlgItem(IDC_ALERTS_PORT));
  form.security = ComboSelection(GetDlgItem(IDC_ALERTS_SECURITY)) == 1 ? MailSecurity::StartTls : MailSecurity::ImplicitTls;
  form.user = Utf8Of(GetDlgItem(IDC_ALERTS_USER));
  form.password = Utf8Of(GetDlgItem(IDC_ALERTS_PASSWORD));
  form.from = Utf8Of(GetDlgItem(IDC_ALERTS_FROM));
  form.recipients = Utf8Of(GetDlgItem(IDC_ALERTS_TO));
  return form;
}

bool CAlertsDlg::ApplyForm() {
  if (m_shown < 0 || m_shown >= static_cast<int>(m_channels.size())) {
    SetAnswer("请先选择或新增一个通道");
    return false;
  }
  std::vector<AlertChannel> others = m_channels;
  others.erase(others.begin() + m_shown);
  AlertChannel& channel = m_channels[static_cast<size_t>(m_shown)];
  const std::string problem = ChannelFromForm(TakeForm(), others, channel);
  if (!problem.empty()) {
    SetAnswer(problem);
    return false;
  }
  ShowRow(m_shown);
  return true;
}

void CAlertsDlg::OnAdd() {
  if (m_shown >= 0 && !ApplyForm()) return;  // the channel being typed comes first
  AlertChannel channel;
  channel.name = UnusedChannelName(m_channels);
  m_channels.push_back(channel);
  FillList();
  Select(static_cast<int>(m_channels.size()) - 1);
  SetAnswer("已新增“" + channel.name + "”：填好后按“保存”");
  ::SetFocus(GetDlgItem(IDC_ALERTS_NAME));
}

void CAlertsDlg::OnRemove() {
  const int index = m_shown;
  if (index < 0 || index >= static_cast<int>(m_channels.size())) return;
  const std::string name = m_channels[static_cast<size_t>(index)].name;
  m_channels.erase(m_channels.begin() + index);
  FillList();
  Select(m_channels.empty() ? -1 : std::min(index, static_cast<int>(m_channels.size()) - 1));
  SetAnswer("已删除“" + name + "”，按“保存”后生效");
}

void CAlertsDlg::OnToggle() {
  if (m_shown < 0 || m_shown >= static_cast<int>(m_channels.size())) return;
  AlertChannel& channel = m_channels[static_cast<size_t>(m_shown)];
  channel.enabled = !channel.enabled;
  ShowRow(m_shown);
  SetAnswer("“" + channel.name + "”已" + (channel.enabled ? "启用" : "停用") + "，按“保存”后生效");
}

void CAlertsDlg::OnSave() {
  if (m_shown >= 0 && !ApplyForm()) return;
  if (!m_services.save || !m_services.save(m_channels)) {
    SetAnswer("保存失败：alerts.json 未能写入（原文件未改动）");
    return;
  }
  if (m_services.apply) m_services.apply(m_channels);
  SetAnswer("已保存 " + std::to_string(m_channels.size()) + " 个通道");
}

void CAlertsDlg::OnTest() {
  if (m_shown < 0 || !ApplyForm()) return;
  if (!m_services.sender || !m_services.testMessage) {
    SetAnswer("不能发送：告警功能未就绪");
    return;
  }
  const AlertChannel channel = m_channels[static_cast<size_t>(m_shown)];
  auto job = std::make_shared<TestSend>(m_hWnd);
  std::shared_ptr<IChannelSender> sender = m_services.sender;
  const AlertMessage message = m_services.testMessage();
  try {
    // The thread holds what it uses; the dialog may be gone when the answer comes.
    std::thread([job, sender, channel, message] {
      SendOutcome outcome = sender->Send(channel, message, job->cancel);
      std::lock_guard<std::mutex> lock(job->mutex);
      job->outcome = std::move(outcome);
      if (!job->windowGone) ::PostMessageW(job->window, kAlertsTestAnswerMessage, 0, 0);
    }).detach();
  } catch (...) {
    SetAnswer("不能发送：无法启动发送线程");
    return;
  }
  m_test = std::move(job);
  ::EnableWindow(GetDlgItem(IDC_ALERTS_TEST), FALSE);
  SetAnswer("正在向“" + channel.name + "”发送测试消息…");
}

void CAlertsDlg::OnTestAnswer() {
  ::EnableWindow(GetDlgItem(IDC_ALERTS_TEST), m_shown >= 0 ? TRUE : FALSE);
  if (!m_test) return;
  SendOutcome outcome;
  {
    std::lock_guard<std::mutex> lock(m_test->mutex);
    outcome = m_test->outcome;
  }
  m_test.reset();
  std::string detail = outcome.detail;
  if (detail.empty()) detail = outcome.delivered ? "已发送" : "发送失败";
  SetAnswer((outcome.delivered ? "测试消息已送达：" : "测试消息未送达：") + detail);
}

void CAlertsDlg::SetAnswer(const std::string& utf8) { SetDlgItemTextW(IDC_ALERTS_ANSWER, Wide(utf8).c_str()); }

void OpenAlertsDialog(CAlertsDlg*& slot, AlertsDialogServices services, CMessageLoop* loop) {
  if (slot != nullptr && slot->m_hWnd != nullptr) {
    if (::IsIconic(slot->m_hWnd)) ::ShowWindow(slot->m_hWnd, SW_RESTORE);
    ::ShowWindow(slot->m_hWnd, SW_SHOW);
    ::SetForegroundWindow(slot->m_hWnd);
    return;
  }
  auto* dialog = new CAlertsDlg(std::move(services), &slot, loop);
  slot = dialog;
  if (dialog->Create(nullptr) == nullptr) {
    slot = nullptr;
    delete dialog;
    return;
  }
  dialog->ShowWindow(SW_SHOW);
  ::SetForegroundWindow(dialog->m_hWnd);
}

void CloseAlertsDialog(CAlertsDlg*& slot) {
  if (slot != nullptr && slot->m_hWnd != nullptr) ::DestroyWindow(slot->m_hWnd);  // it deletes itself
  slot = nullptr;
}
