// The "告警通知" dialog's test send: the window goes on answering while a send takes its time, the
// answer shows when it comes, and a dialog closed meanwhile cancels the send and gets nothing
// posted after it is gone (the next dialog does not take the old answer for its own).
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "base/wide_text_win.h"
#include "res/resource.h"
#include "shell/alerts_dlg_win.h"
#include "tests/support/message_pump_win.h"

using namespace std::chrono_literals;
using sitemon_test::PumpUntil;

namespace {

// Answers when released, or "cancelled" as soon as the dialog raises the cancel flag.
class HeldSender : public IChannelSender {
 public:
  SendOutcome Send(const AlertChannel&, const AlertMessage&, const std::atomic<bool>& cancel) override {
    ++started;
    while (!release.load() && !cancel.load()) ::Sleep(5);
    if (cancel.load()) {
      cancelled = true;
      return {false, true, "cancelled"};
    }
    return {true, true, "已发送：200"};
  }
  std::atomic<int> started{0};
  std::atomic<bool> release{false};
  std::atomic<bool> cancelled{false};
};

AlertsDialogServices Services(const std::shared_ptr<HeldSender>& sender) {
  AlertsDialogServices services;
  services.load = [](std::vector<AlertChannel>& channels) {
    channels.resize(1);
    channels[0].name = "值班群";
    channels[0].kind = ChannelKind::Webhook;
    channels[0].webhookUrl = "http://127.0.0.1:9/hook";
    return std::string();
  };
  services.testMessage = [] { return AlertMessage{"subject", "text", "{}"}; };
  services.sender = sender;
  return services;
}

std::wstring Answer(CAlertsDlg* dialog) {
  const U16 text = WindowText(::GetDlgItem(dialog->m_hWnd, IDC_ALERTS_ANSWER));
  return std::wstring(AsWide(text.c_str()), text.size());
}

void ClickTest(CAlertsDlg* dialog) {
  ::SendMessageW(dialog->m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ALERTS_TEST, BN_CLICKED), 0);
}

TEST(AlertsDialogTest, ATestSendAnswersLaterAndAClosedDialogCancelsIt) {
  auto sender = std::make_shared<HeldSender>();
  CAlertsDlg* slot = nullptr;
  OpenAlertsDialog(slot, Services(sender), nullptr);
  ASSERT_NE(slot, nullptr);
  ClickTest(slot);
  ASSERT_TRUE(PumpUntil([&] { return sender->started.load() == 1; }, 10s));
  // The window answers while the send waits, and says it is under way.
  DWORD_PTR ignored = 0;
  EXPECT_NE(::SendMessageTimeoutW(slot->m_hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored), 0);
  EXPECT_NE(Answer(slot).find(L"正在"), std::wstring::npos) << Answer(slot);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(slot->m_hWnd, IDC_ALERTS_TEST)));
  sender->release = true;
  ASSERT_TRUE(PumpUntil([&] { return Answer(slot) == L"测试消息已送达：已发送：200"; }, 10s)) << Answer(slot);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(slot->m_hWnd, IDC_ALERTS_TEST)));

  // Closed while a send waits: the send is cancelled, and the next dialog shows nothing of it.
  sender->release = false;
  ClickTest(slot);
  ASSERT_TRUE(PumpUntil([&] { return sender->started.load() == 2; }, 10s));
  CloseAlertsDialog(slot);
  EXPECT_EQ(slot, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return sender->cancelled.load(); }, 10s));
  OpenAlertsDialog(slot, Services(sender), nullptr);
  ASSERT_NE(slot, nullptr);
  sitemon_test::PumpFor(300ms);
  EXPECT_EQ(Answer(slot), L"");
  CloseAlertsDialog(slot);
}

}  // namespace
