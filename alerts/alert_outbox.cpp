#include "alerts/alert_outbox.h"

#include <algorithm>
#include <limits>

#include "alerts/alert_text.h"

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
constexpr int64_t kMinuteMs = 60000;

// Appends what fits under `most` listed alerts; the rest is counted.
void MergeInto(std::vector<AlertEvent>& listed, size_t& omitted, std::vector<AlertEvent> more, size_t moreOmitted,
               size_t most) {
  omitted += moreOmitted;
  for (AlertEvent& e : more) {
    if (listed.size() < most) listed.push_back(std::move(e));
    else ++omitted;
  }
}

}  // namespace

AlertOutbox::AlertOutbox(IAlertClock& clock, std::string machine, OutboxLimits limits)
    : clock_(clock), machine_(std::move(machine)), limits_(std::move(limits)) {
  if (limits_.retryGapsMs.empty()) limits_.retryGapsMs.push_back(kMinuteMs);
  limits_.eventsPerMessage = std::max<size_t>(1, limits_.eventsPerMessage);
  limits_.messagesPerChannel = std::max<size_t>(2, limits_.messagesPerChannel);
  limits_.messagesPerMinute = std::max(1, limits_.messagesPerMinute);
}

void AlertOutbox::SetChannels(const std::vector<AlertChannel>& channels) {
  std::vector<Channel> kept;
  for (const AlertChannel& config : channels) {
    if (!config.enabled) continue;
    // Two channels of one name would share a queue in the pending file: the first one counts.
    if (std::any_of(kept.begin(), kept.end(), [&](const Channel& c) { return c.config.name == config.name; }))
      continue;
    Channel channel;
    auto old = std::find_if(channels_.begin(), channels_.end(),
                            [&](const Channel& c) { return c.config.name == config.name; });
    if (old != channels_.end()) channel = std::move(*old);
    channel.config = config;
    kept.push_back(std::move(channel));
  }
  channels_ = std::move(kept);
  nextChannel_ = 0;
  if (channels_.empty()) storm_.clear();
}

void AlertOutbox::Add(std::vector<AlertEvent> events) {
  if (channels_.empty() || events.empty()) return;
  const int64_t now = clock_.SteadyMilliseconds();
  CloseStormIfDue(now);
  for (AlertEvent& e : events) {
    if (storm_.empty()) stormFirstMs_ = now;
    storm_.push_back(std::move(e));
    // A full message goes at once; the storm goes on in the next one.
    if (storm_.size() >= limits_.eventsPerMessage) EndStorm();
  }
  stormLastMs_ = now;
}

void AlertOutbox::EndStorm() {
  if (storm_.empty()) return;
  std::vector<AlertEvent> events;
  events.swap(storm_);
  Distribute(events);
}

void AlertOutbox::CloseStormIfDue(int64_t now) {
  if (storm_.empty()) return;
  if (now >= stormLastMs_ + limits_.stormQuietMs || now >= stormFirstMs_ + limits_.stormLongestMs) EndStorm();
}

void AlertOutbox::Distribute(const std::vector<AlertEvent>& events) {
  const int64_t now = clock_.SteadyMilliseconds();
  const int64_t unixNow = clock_.UnixSeconds();
  for (Channel& channel : channels_) Enqueue(channel, events, 0, unixNow, now + limits_.lifetimeMs);
}

void AlertOutbox::Enqueue(Channel& channel, std::vector<AlertEvent> events, size_t omitted, int64_t queuedUnix,
                          int64_t deadlineMs) {
  auto& queue = channel.queue;
  // The last message can take more while it has not been tried yet (it waits behind another, or
  // for the rate limit): a channel that cannot send merges, it does not pile up.
  const bool tailWaits =
      !queue.empty() && (queue.size() > 1 || (channel.inFlight == 0 && queue.back().attempts == 0));
  if (tailWaits && queue.back().events.size() + events.size() <= limits_.eventsPerMessage) {
    MergeInto(queue.back().events, queue.back().omitted, std::move(events), omitted, limits_.eventsPerMessage);
    return;
  }
  if (queue.size() < limits_.messagesPerChannel) {
    Message message;
    message.queuedUnix = queuedUnix;
    message.deadlineMs = deadlineMs;
    message.nextAttemptMs = clock_.SteadyMilliseconds();
    MergeInto(message.events, message.omitted, std::move(events), omitted, limits_.eventsPerMessage);
    queue.push_back(std::move(message));
    return;
  }
  // Full: the last message (never the one being tried, as there are at least two) lists what
  // fits and counts the rest.
  MergeInto(queue.back().events, queue.back().omitted, std::move(events), omitted, limits_.eventsPerMessage);
}

void AlertOutbox::SetNetworkDown(bool down) {
  const int64_t now = clock_.SteadyMilliseconds();
  if (down == networkDown_) return;
  networkDown_ = down;
  if (down) {
    networkDownSinceMs_ = now;
    return;
  }
  const int64_t heldFor = now - networkDownSinceMs_;
  for (Channel& channel : channels_)
    for (Message& message : channel.queue) message.deadlineMs += heldFor;
  RetryNow();
}

void AlertOutbox::RetryNow() {
  const int64_t now = clock_.SteadyMilliseconds();
  for (Channel& channel : channels_)
    if (!channel.queue.empty()) channel.queue.front().nextAttemptMs = std::min(channel.queue.front().nextAttemptMs, now);
}

int64_t AlertOutbox::ReadyAtMs(const Channel& channel) const {
  if (channel.queue.empty() || channel.inFlight != 0) return kNever;
  int64_t ready = channel.queue.front().nextAttemptMs;
  if (channel.sendTimes.size() >= static_cast<size_t>(limits_.messagesPerMinute))
    ready = std::max(ready, channel.sendTimes.front() + kMinuteMs);
  return ready;
}

std::optional<AlertOutbox::Job> AlertOutbox::TakeJob() {
  const int64_t now = clock_.SteadyMilliseconds();
  CloseStormIfDue(now);
  if (networkDown_) return std::nullopt;
  for (size_t n = 0; n < channels_.size(); ++n) {
    const size_t index = (nextChannel_ + n) % channels_.size();
    Channel& channel = channels_[index];
    if (ReadyAtMs(channel) > now) continue;
    nextChannel_ = index + 1;  // the others come first next time
    Message& message = channel.queue.front();
    ++message.attempts;
    channel.sendTimes.push_back(now);
    while (channel.sendTimes.size() > static_cast<size_t>(limits_.messagesPerMinute)) channel.sendTimes.pop_front();
    channel.inFlight = ++lastJobId_;
    return Job{channel.inFlight, channel.config, ComposeAlertMessage(machine_, message.events, message.omitted)};
  }
  return std::nullopt;
}

int64_t AlertOutbox::NextWakeMs() const {
  int64_t wake = kNever;
  if (!storm_.empty()) wake = std::min(stormLastMs_ + limits_.stormQuietMs, stormFirstMs_ + limits_.stormLongestMs);
  if (networkDown_) return wake;
  for (const Channel& channel : channels_) wake = std::min(wake, ReadyAtMs(channel));
  return wake;
}

void AlertOutbox::Finish(uint64_t jobId, const SendOutcome& outcome, bool cancelled) {
  const int64_t now = clock_.SteadyMilliseconds();
  auto channel = std::find_if(channels_.begin(), channels_.end(), [&](const Channel& c) { return c.inFlight == jobId; });
  if (jobId == 0 || channel == channels_.end()) return;  // its channel was removed meanwhile
  channel->inFlight = 0;
  Message& message = channel->queue.front();
  if (outcome.delivered) {
    channel->queue.pop_front();
    return;
  }
  if (cancelled) {
    --message.attempts;
    message.nextAttemptMs = now;
    return;
  }
  if (!outcome.worthRetrying || now >= message.deadlineMs) {
    GiveUp(*channel, outcome.detail, now);
    return;
  }
  const size_t gap = std::min<size_t>(static_cast<size_t>(message.attempts - 1), limits_.retryGapsMs.size() - 1);
  message.nextAttemptMs = now + limits_.retryGapsMs[gap];
}

void AlertOutbox::GiveUp(Channel& channel, const std::string& reason, int64_t now) {
  channel.queue.pop_front();
  auto last = lastRowMs_.find(channel.config.name);
  if (last != lastRowMs_.end() && now - last->second < limits_.rowGapMs) return;
  lastRowMs_[channel.config.name] = now;
  U16 row(u"告警发送失败：");
  row += U16FromUtf8(channel.config.name);
  if (!reason.empty()) {
    row += u' ';
    row += U16FromUtf8(reason);
  }
  rows_.push_back(std::move(row));
}

std::vector<U16> AlertOutbox::TakeRows() {
  std::vector<U16> rows;
  rows.swap(rows_);
  return rows;
}

std::vector<PendingMessage> AlertOutbox::Undelivered() const {
  std::vector<PendingMessage> pending;
  const int64_t unixNow = clock_.UnixSeconds();
  for (const Channel& channel : channels_) {
    for (const Message& message : channel.queue)
      pending.push_back({channel.config.name, message.queuedUnix, message.omitted, message.events});
    if (!storm_.empty()) pending.push_back({channel.config.name, unixNow, 0, storm_});
  }
  return pending;
}

void AlertOutbox::Restore(const std::vector<PendingMessage>& earlier) {
  const int64_t now = clock_.SteadyMilliseconds();
  const int64_t unixNow = clock_.UnixSeconds();
  const int64_t lifetimeSeconds = limits_.lifetimeMs / 1000;
  std::map<std::string, std::vector<Message>> restored;
  for (const PendingMessage& p : earlier) {
    auto channel = std::find_if(channels_.begin(), channels_.end(), [&](const Channel& c) { return c.config.name == p.channel; });
    const int64_t age = unixNow - p.queuedUnix;
    if (channel == channels_.end() || p.events.empty() || age >= lifetimeSeconds || age < -lifetimeSeconds) continue;
    std::vector<AlertEvent> events = p.events;
    for (AlertEvent& e : events) e.earlierRun = true;
    Message message;
    message.queuedUnix = p.queuedUnix;
    message.deadlineMs = now + (lifetimeSeconds - std::max<int64_t>(age, 0)) * 1000;
    message.nextAttemptMs = now;
    MergeInto(message.events, message.omitted, std::move(events), p.omitted, limits_.eventsPerMessage);
    restored[p.channel].push_back(std::move(message));
  }
  for (Channel& channel : channels_) {
    auto it = restored.find(channel.config.name);
    if (it == restored.end()) continue;
    std::deque<Message> queue(std::make_move_iterator(it->second.begin()), std::make_move_iterator(it->second.end()));
    // The bound holds for restored messages too: the newest of them merge.
    while (queue.size() > limits_.messagesPerChannel) {
      Message last = std::move(queue.back());
      queue.pop_back();
      MergeInto(queue.back().events, queue.back().omitted, std::move(last.events), last.omitted, limits_.eventsPerMessage);
    }
    for (Message& message : channel.queue) queue.push_back(std::move(message));
    channel.queue = std::move(queue);
  }
}

size_t AlertOutbox::QueuedFor(const std::string& name) const {
  for (const Channel& channel : channels_)
    if (channel.config.name == name) return channel.queue.size();
  return 0;
}
