#include <gtest/gtest.h>

#include "fake_notice_environment.h"

using namespace notice_test;

namespace {

const U16 kRequestBody = u"softtype=2&ver=1.1.0.0";
const U16 kUpdateText = u"发现新版本，请及时更新";

std::string NoticeJson(int id, const std::string& text, int update = 0) {
  return "{\"update\":" + std::to_string(update) + ",\"notice_id\":" + std::to_string(id) +
         ",\"notice_text\":\"" + text + "\"}";
}

// One run of the program: a fresh window, a fresh thread state, lastNoticeId as stored.
struct ProgramRun {
  explicit ProgramRun(int32_t storedLastNoticeId) : link(nullptr, storedLastNoticeId), env(&window) {
    window.link = &link;
  }

  NoticeRequestOutcome Request(ScriptedAnswer answer) {
    env.answers = {std::move(answer)};
    NoticeRequestOutcome outcome;
    PerformNoticeRequest(state, kRequestBody, link, env, &outcome);
    return outcome;
  }
  std::vector<U16> Popups() const { return window.PopupTexts(); }

  FakeMainWindow window;
  NoticeLink link;
  FakeNoticeEnvironment env;
  NoticeCheckState state;
};

}  // namespace

TEST(NoticeRequest, UpdateIsShownOncePerRunAndAgainAfterARestart) {
  ProgramRun first(0);
  EXPECT_EQ(first.Request(Answer(R"({"update":1})")), NoticeRequestOutcome::Understood);
  first.Request(Answer(R"({"update":1})"));
  first.Request(Answer(R"({"update":true})"));
  EXPECT_EQ(first.env.updates, 3);  // the thread updates every time; the window shows it once
  ASSERT_EQ(first.window.outlets.calls.size(), 1u);
  EXPECT_EQ(first.window.outlets.calls[0],
            (OutletCall{OutletCall::Popup, 1, 0, kUpdateText, kAppTitle}));

  ProgramRun restarted(first.link.LastNoticeId());
  restarted.Request(Answer(R"({"update":1})"));
  EXPECT_EQ(restarted.Popups(), std::vector<U16>{kUpdateText});
}

TEST(NoticeRequest, NoticeIsShownOnceAcrossRequestsAndRestartsThenAHigherIdIsShown) {
  const std::string twenty = "twenty chars notice!";  // 20 characters
  ProgramRun first(0);
  first.Request(Answer(NoticeJson(7, twenty)));
  first.Request(Answer(NoticeJson(7, twenty)));
  ASSERT_EQ(first.window.outlets.calls.size(), 1u);
  EXPECT_EQ(first.window.outlets.calls[0],
            (OutletCall{OutletCall::Popup, 1, 0, U16FromUtf8(twenty), u"Dorvane提示"}));
  EXPECT_EQ(first.link.LastNoticeId(), 7);

  ProgramRun second(first.link.LastNoticeId());  // lastNoticeId went through the stored record
  second.Request(Answer(NoticeJson(7, twenty)));
  EXPECT_TRUE(second.Popups().empty());
  second.Request(Answer(NoticeJson(8, "the eighth notice text")));
  EXPECT_EQ(second.Popups(), std::vector<U16>{u"the eighth notice text"});
  EXPECT_EQ(second.link.LastNoticeId(), 8);
  second.Request(Answer(NoticeJson(5, "an older notice text")));
  EXPECT_EQ(second.Popups().size(), 1u);
  EXPECT_EQ(second.link.LastNoticeId(), 8);
}

TEST(NoticeRequest, ShortNoticeIsNotShownAndDoesNotAdvanceTheId) {
  ProgramRun run(0);
  run.Request(Answer(NoticeJson(9, "12345")));
  EXPECT_TRUE(run.Popups().empty());
  EXPECT_EQ(run.link.LastNoticeId(), 0);
  EXPECT_EQ(run.env.sends, 0);
  run.Request(Answer(NoticeJson(9, "123456")));
  EXPECT_EQ(run.Popups(), std::vector<U16>{u"123456"});
  EXPECT_EQ(run.link.LastNoticeId(), 9);
}

TEST(NoticeRequest, LengthCountsCharactersOfTheConvertedText) {
  ProgramRun run(0);
  run.Request(Answer(NoticeJson(1, "新版本发布")));  // 5 characters, 15 bytes
  run.Request(Answer(NoticeJson(2, "新版本已发布")));  // 6 characters
  EXPECT_EQ(run.Popups(), std::vector<U16>{u"新版本已发布"});
  // A zero inside the text ends it, as for the window reading it.
  run.Request(Answer(NoticeJson(3, "abc\\u0000defghij")));
  EXPECT_EQ(run.Popups().size(), 1u);
  EXPECT_EQ(run.link.LastNoticeId(), 2);
}

TEST(NoticeRequest, NoticeIdZeroIsNeverShown) {
  ProgramRun run(-5);
  run.Request(Answer(NoticeJson(0, "a long notice without an id")));
  run.Request(Answer(R"({"notice_text":"a long notice without an id"})"));
  EXPECT_TRUE(run.Popups().empty());
  EXPECT_EQ(run.link.LastNoticeId(), -5);
}

TEST(NoticeRequest, IdsCompareSigned) {
  ProgramRun fresh(0);
  fresh.Request(Answer(NoticeJson(-1, "a negative notice id")));
  EXPECT_TRUE(fresh.Popups().empty());

  ProgramRun negative(-10);  // as a stored record may hold
  negative.Request(Answer(NoticeJson(-3, "a negative notice id")));
  EXPECT_EQ(negative.Popups().size(), 1u);
  EXPECT_EQ(negative.link.LastNoticeId(), -3);
}

TEST(NoticeRequest, UpdateAndNoticeInOneReplyShowBothInThatOrder) {
  ProgramRun run(0);
  run.Request(Answer(NoticeJson(4, "maintenance tonight", 1)));
  EXPECT_EQ(run.Popups(), (std::vector<U16>{kUpdateText, u"maintenance tonight"}));
}

TEST(NoticeRequest, StatusOutside200To206IsNotRead) {
  for (int32_t status : {0, 199, 207, 301, 404, 500}) {
    ProgramRun run(0);
    EXPECT_EQ(run.Request(Answer(NoticeJson(4, "should not be seen", 1), status)),
              NoticeRequestOutcome::BadStatus) << status;
    EXPECT_EQ(run.env.reads, 0) << status;
    EXPECT_TRUE(run.Popups().empty()) << status;
    EXPECT_EQ(run.state.answeredRequests, 1) << status;
  }
  for (int32_t status : {200, 203, 206}) {
    ProgramRun run(0);
    EXPECT_EQ(run.Request(Answer(R"({"update":1})", status)), NoticeRequestOutcome::Understood);
    EXPECT_EQ(run.state.answeredRequests, 3);
  }
}

TEST(NoticeRequest, AnsweredAndUnderstoodCounting) {
  ProgramRun run(0);
  run.Request(Unreachable());
  EXPECT_EQ(run.state.answeredRequests, 0);
  run.Request(Answer("{}"));
  EXPECT_EQ(run.state.answeredRequests, 3);  // 1, lifted to 3
  run.Request(Answer("{}"));
  EXPECT_EQ(run.state.answeredRequests, 5);  // 4, plus 1
  run.Request(Answer("garbage"));
  EXPECT_EQ(run.state.answeredRequests, 6);
  // A reply with members of the wrong kind is still understood JSON for the schedule.
  EXPECT_EQ(run.Request(Answer(R"({"notice_id":"7"})")), NoticeRequestOutcome::Unusable);
  EXPECT_EQ(run.state.answeredRequests, 8);
  EXPECT_EQ(ChooseNoticePause(2), 600);
  EXPECT_EQ(ChooseNoticePause(3), 18000);
}

TEST(NoticeRequest, UnusableRepliesShowNothing) {
  for (const char* body : {R"([{"update":1}])", R"({"update":1,"notice_id":"7"})",
                           R"({"update":1,"notice_id":7,"notice_text":{}})", "42",
                           R"({"update":99999999999,"notice_id":7,"notice_text":"long text here"})"}) {
    ProgramRun run(0);
    run.Request(Answer(body));
    EXPECT_EQ(run.env.updates + run.env.sends, 0) << body;
    EXPECT_EQ(run.link.LastNoticeId(), 0) << body;
  }
}

TEST(NoticeRequest, BodyOfExactly2048BytesIsRead) {
  std::string body = NoticeJson(11, "exactly 2048 bytes of reply");
  body += std::string(2048 - body.size(), ' ');
  ASSERT_EQ(body.size(), 2048u);
  ProgramRun run(0);
  EXPECT_EQ(run.Request(Answer(body)), NoticeRequestOutcome::Understood);
  EXPECT_EQ(run.Popups(), std::vector<U16>{u"exactly 2048 bytes of reply"});
  EXPECT_EQ(run.env.reads, 5);  // four full chunks and the empty read at the end
}

TEST(NoticeRequest, OddChunkSizesAndANulByteInTheBody) {
  ScriptedAnswer answer = Answer(NoticeJson(12, std::string(3000, 'x')));
  answer.chunkLimit = 7;
  ProgramRun run(0);
  EXPECT_EQ(run.Request(answer), NoticeRequestOutcome::Understood);
  ASSERT_EQ(run.Popups().size(), 1u);
  EXPECT_EQ(run.Popups()[0], U16(3000, u'x'));

  // The body is read as text up to its first zero byte.
  ProgramRun nul(0);
  EXPECT_EQ(nul.Request(Answer(std::string(R"({"update":1})") + '\0' + "trailing junk")),
            NoticeRequestOutcome::Understood);
  EXPECT_EQ(nul.Popups(), std::vector<U16>{kUpdateText});
}

TEST(NoticeRequest, ReplyLongerThanOneMebibyteIsNotReadFurther) {
  std::string big = R"({"update":1,"pad":")" + std::string(1 << 20, 'p') + "\"}";
  ProgramRun run(0);
  EXPECT_EQ(run.Request(Answer(big)), NoticeRequestOutcome::NotUnderstood);
  EXPECT_LE(run.env.reads, (1 << 20) / 512 + 1);
  EXPECT_TRUE(run.Popups().empty());
  EXPECT_EQ(run.state.answeredRequests, 1);  // answered, not understood

  // Just under the limit is still read whole.
  std::string fits = R"({"update":1,"pad":")";
  fits += std::string((1 << 20) - fits.size() - 2, 'p') + "\"}";
  ASSERT_EQ(fits.size(), static_cast<size_t>(1 << 20));
  ProgramRun ok(0);
  EXPECT_EQ(ok.Request(Answer(fits)), NoticeRequestOutcome::Understood);
}

TEST(NoticeRequest, WindowGoneBeforeTheReplyGetsNothingAndKeepsTheId) {
  ProgramRun run(0);
  run.link.MarkWindowGone();
  EXPECT_EQ(run.Request(Answer(NoticeJson(4, "nobody is there", 1))),
            NoticeRequestOutcome::Understood);
  EXPECT_EQ(run.env.updates + run.env.sends, 0);
  EXPECT_EQ(run.link.LastNoticeId(), 0);
}

// A window that does not take the notice in time (busy, or judged hung): the identifier is
// stored only once the window has shown the text, and the text stays valid for a late arrival.
TEST(NoticeRequest, ANoticeCountsAsSeenOnlyOnceTheWindowShowedIt) {
  ProgramRun run(0);
  run.env.delivery = NoticeDelivery::MayBeLater;
  run.Request(Answer(NoticeJson(4, "read later by the window")));
  EXPECT_TRUE(run.Popups().empty());
  EXPECT_EQ(run.link.LastNoticeId(), 0);  // what the window would store now: not seen
  ASSERT_EQ(run.link.HeldNoticeCount(), 1u);

  // Never arrived: the next request offers it again, and this time it is shown.
  run.env.delivery = NoticeDelivery::Handled;
  run.Request(Answer(NoticeJson(4, "read later by the window")));
  EXPECT_EQ(run.Popups(), (std::vector<U16>{u"read later by the window"}));
  EXPECT_EQ(run.link.LastNoticeId(), 4);
  EXPECT_EQ(run.link.HeldNoticeCount(), 1u);  // the first hand-over is still held

  // A late arrival of a text the window had not taken in time (ASan checks the read).
  ProgramRun late(0);
  late.env.delivery = NoticeDelivery::MayBeLater;
  late.Request(Answer(NoticeJson(6, "arrives after the wait")));
  late.env.Receive(late.env.lastSentText);
  EXPECT_EQ(late.Popups(), (std::vector<U16>{u"arrives after the wait"}));
  EXPECT_EQ(late.link.LastNoticeId(), 6);
  // A text the link never held (or a window already gone) raises nothing.
  late.env.Receive(u"not a held notice text");
  late.link.MarkWindowGone();
  late.env.Receive(late.env.lastSentText);
  EXPECT_EQ(late.link.LastNoticeId(), 6);
  EXPECT_EQ(late.Popups().size(), 2u);
}

// The main window's handler on its own.
TEST(ServiceNoticeHandler, ShowsNoticesLongerThanFiveAndTheUpdateOnce) {
  RecordingOutlets outlets;
  bool updateShown = false;
  EXPECT_TRUE(HandleServiceNotice(kNoticeText, u"12345", updateShown, kAppTitle, outlets));
  EXPECT_TRUE(HandleServiceNotice(kNoticeText, nullptr, updateShown, kAppTitle, outlets));
  EXPECT_TRUE(outlets.calls.empty());
  HandleServiceNotice(kNoticeText, u"123456", updateShown, kAppTitle, outlets);
  HandleServiceNotice(kUpdateAvailable, nullptr, updateShown, kAppTitle, outlets);
  HandleServiceNotice(kUpdateAvailable, nullptr, updateShown, kAppTitle, outlets);
  EXPECT_TRUE(updateShown);
  EXPECT_EQ(outlets.calls,
            (std::vector<OutletCall>{{OutletCall::Popup, 1, 0, u"123456", u"Dorvane提示"},
                                     {OutletCall::Popup, 1, 0, kUpdateText, kAppTitle}}));
  for (int32_t kind : {0, 99, 101, 119, 121, -100})
    EXPECT_FALSE(HandleServiceNotice(kind, u"some long text", updateShown, kAppTitle, outlets));
  EXPECT_EQ(outlets.calls.size(), 2u);
}
