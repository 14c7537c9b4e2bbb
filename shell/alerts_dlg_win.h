#pragma once
// The "告警通知" dialog (template IDD_ALERTS): a modeless, caption-less blue window like the main
// window, opened from the tray menu. It lists the alert channels and edits one at a time; "保存"
// writes them and hands them to the alerts, "发送测试消息" sends the typed channel a test message
// on a thread of its own and shows the answer when it comes. The object deletes itself when its
// window is gone, and then clears the owner's pointer to it.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/channel_sender.h"
#include "framework/dialog_impl_win.h"
#include "res/resource.h"
#include "shell/alerts_form.h"
#include "shell/button_bt_win.h"
#include "shell/colour_mixins_win.h"
#include "shell/message_loop_win.h"

// What the dialog reaches outside itself; the main window fills it in.
struct AlertsDialogServices {
  // The stored channels; returns a text for the dialog's answer line when the file could not be
  // taken (damaged and set aside), empty otherwise.
  std::function<std::string(std::vector<AlertChannel>&)> load;
  // Writes the channels (whole or not at all); false when the file was not written.
  std::function<bool(const std::vector<AlertChannel>&)> save;
  // Hands saved channels to the alerts, which use them from then on.
  std::function<void(const std::vector<AlertChannel>&)> apply;
  // The message "发送测试消息" sends.
  std::function<AlertMessage()> testMessage;
  // Sends it; called on the dialog's test thread only.
  std::shared_ptr<IChannelSender> sender;
};

// The test thread's answer is waiting (posted by the thread to the dialog).
constexpr UINT kAlertsTestAnswerMessage = WM_APP + 0x60;

class CAlertsDlg : public CDialogImpl<CAlertsDlg, CWindow>,
                   public CMessageFilter,
                   public CPaintBkgnd<CAlertsDlg, 0, 0xD6920F>,
                   public CCtrlColor<CAlertsDlg, 0, 0xFFFFFF, 0xD6920F> {
 public:
  enum { IDD = IDD_ALERTS };

  // ownerSlot: the owner's pointer to this dialog, cleared when the dialog goes. loop: the
  // thread's loop, which the dialog joins as a filter for its keyboard handling (may be null).
  CAlertsDlg(AlertsDialogServices services, CAlertsDlg** ownerSlot, CMessageLoop* loop);
  ~CAlertsDlg() override;

  BOOL ProcessWindowMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                            DWORD mapId = 0) override;
  bool FilterMessage(MSG* msg) override;
  void OnFinalMessage(HWND) override;

  const std::vector<AlertChannel>& Channels() const { return m_channels; }

  // Shared with the test thread; the dialog marks itself gone before its window goes.
  struct TestSend;

 private:
  void OnInitDialog();
  void OnDestroy();
  bool OnCommand(WORD id, WORD code);
  void OnListChanged(const NMLISTVIEW& change);
  void LayoutColumns();
  void InsertColumns();
  void FillList();
  void ShowRow(int index);
  void Select(int index);
  void ShowFieldsOfKind(ChannelKind kind);
  void PutForm(const ChannelForm& form);
  ChannelForm TakeForm() const;
  // Makes the selected channel of the form; false (and the reason shown) when it does not.
  bool ApplyForm();
  void OnAdd();
  void OnRemove();
  void OnToggle();
  void OnSave();
  void OnTest();
  void OnTestAnswer();
  void SetAnswer(const std::string& utf8);

  AlertsDialogServices m_services;
  CAlertsDlg** m_ownerSlot;
  CMessageLoop* m_loop;
  std::vector<AlertChannel> m_channels;
  int m_shown = -1;        // the channel whose fields the form holds
  bool m_filling = false;  // the dialog itself changes the list's selection
  HWND m_hList = nullptr;
  CButtonBT m_btnClose;
  CButtonBT m_btnAdd;
  CButtonBT m_btnRemove;
  CButtonBT m_btnToggle;
  CButtonBT m_btnApply;
  CButtonBT m_btnTest;
  CButtonBT m_btnSave;
  std::shared_ptr<TestSend> m_test;  // the test send under way, null when none
};

// Opens the dialog, or brings it to the front when it is open already.
void OpenAlertsDialog(CAlertsDlg*& slot, AlertsDialogServices services, CMessageLoop* loop);
// Closes the dialog if it is open (the main window at its end).
void CloseAlertsDialog(CAlertsDlg*& slot);
