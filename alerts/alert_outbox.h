#pragma once
// Between the alerts and the channels: storms merged into one message, one queue per channel in
// order, each channel's rate limit, retries with growing gaps, the hold while this machine is
// offline, and the give-up row. A plain state machine on a clock: the sender thread asks it for
// the next job, sends it, and reports the outcome; tests drive it on a fake clock.
//
// The queues are bounded: a channel that cannot send merges what comes into its last waiting
// message instead of storing one message per alert, and a message lists a bounded number of
// alerts, counting the rest.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "alerts/alert_channel.h"
#include "alerts/alert_clock.h"
#include "alerts/alert_event.h"
#include "alerts/pending_alerts.h"
#include "base/utf16.h"

struct OutboxLimits {
  int64_t stormQuietMs = 5000;     // a storm ends once no alert has come for this long,
  int64_t stormLongestMs = 30000;  // or this long after its first alert
  int messagesPerMinute = 10;      // per channel; the group robots take 20
  int64_t lifetimeMs = 3600000;    // a message is tried for an hour, then given up
  int64_t rowGapMs = 3600000;      // at most one give-up row per channel in this time
  size_t eventsPerMessage = 100;
  size_t messagesPerChannel = 8;
  // The gaps before the 1st, 2nd, ... retry; the last one repeats.
  std::vector<int64_t> retryGapsMs = {10000, 30000, 60000, 120000, 300000, 600000};
};

class AlertOutbox {
 public:
  AlertOutbox(IAlertClock& clock, std::string machine, OutboxLimits limits = {});

  // The enabled channels take part; a channel kept under its name keeps its queue, the queues of
  // the others go.
  void SetChannels(const std::vector<AlertChannel>& channels);
  size_t ChannelCount() const { return channels_.size(); }

  // Alerts join the open storm (or open one); with no channel they are dropped.
  void Add(std::vector<AlertEvent> events);
  // The open storm goes to the channels at once (the program is ending).
  void EndStorm();
  // Nothing is sent while this machine is offline; the time offline does not count against a
  // message's hour, and every channel tries again as soon as it is back.
  void SetNetworkDown(bool down);
  // Channels waiting for a retry try again at once (a site answering shows the network works).
  void RetryNow();

  struct Job {
    uint64_t id = 0;
    AlertChannel channel;
    AlertMessage message;
  };
  // The next send due now, if any; its message stays queued until Finish.
  std::optional<Job> TakeJob();
  // When TakeJob may next have something (its steady milliseconds), INT64_MAX for never.
  int64_t NextWakeMs() const;
  // What became of a job. A cancelled one (the program ending) stays queued as it was.
  void Finish(uint64_t jobId, const SendOutcome& outcome, bool cancelled = false);

  // The give-up rows made since the last call ("告警发送失败：<channel name> <reason>").
  std::vector<U16> TakeRows();
  bool HasRows() const { return !rows_.empty(); }

  // Everything not yet delivered, the open storm included, by channel in order.
  std::vector<PendingMessage> Undelivered() const;
  // At start, before anything is sent: messages of an earlier run go to the front of their channels' queues, marked as such; those
  // an hour old or more, and those of channels that no longer exist, are dropped.
  void Restore(const std::vector<PendingMessage>& earlier);

  // For tests: the messages queued for a channel (its name), the one in flight included.
  size_t QueuedFor(const std::string& channel) const;

 private:
  struct Message {
    std::vector<AlertEvent> events;
    size_t omitted = 0;
    int64_t queuedUnix = 0;
    int64_t deadlineMs = 0;
    int64_t nextAttemptMs = 0;
    int attempts = 0;
  };
  struct Channel {
    AlertChannel config;
    std::deque<Message> queue;
    std::deque<int64_t> sendTimes;  // the starts of the latest sends, at most messagesPerMinute
    uint64_t inFlight = 0;          // the job being sent, 0 when none
  };

  void CloseStormIfDue(int64_t now);
  void Distribute(const std::vector<AlertEvent>& events);
  void Enqueue(Channel& channel, std::vector<AlertEvent> events, size_t omitted, int64_t queuedUnix,
               int64_t deadlineMs);
  int64_t ReadyAtMs(const Channel& channel) const;  // INT64_MAX: nothing to send
  void GiveUp(Channel& channel, const std::string& reason, int64_t now);

  IAlertClock& clock_;
  std::string machine_;
  OutboxLimits limits_;
  std::vector<Channel> channels_;
  std::vector<AlertEvent> storm_;
  int64_t stormFirstMs_ = 0;
  int64_t stormLastMs_ = 0;
  bool networkDown_ = false;
  int64_t networkDownSinceMs_ = 0;
  uint64_t lastJobId_ = 0;
  size_t nextChannel_ = 0;                      // where the next search for a job starts
  std::map<std::string, int64_t> lastRowMs_;    // by channel name
  std::vector<U16> rows_;
};
