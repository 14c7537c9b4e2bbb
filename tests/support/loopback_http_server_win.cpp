#include "tests/support/loopback_http_server_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>

namespace sitemon_test {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kRequestHeadTimeout = std::chrono::seconds(10);
constexpr size_t kMaxRequestBytes = 16u << 20;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// True when the socket has data (or an end) to read within the wait.
bool Readable(SOCKET s, std::chrono::milliseconds wait) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv{};
  tv.tv_sec = static_cast<long>(wait.count() / 1000);
  tv.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
  return ::select(0, &set, nullptr, nullptr, &tv) > 0;
}

bool SendAll(SOCKET s, const char* data, size_t size) {
  while (size > 0) {
    const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 20));
    const int sent = ::send(s, data, chunk, 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

RecordedRequest ParseHead(const std::string& head) {
  RecordedRequest r;
  size_t lineEnd = head.find("\r\n");
  r.requestLine = head.substr(0, lineEnd);
  const size_t sp1 = r.requestLine.find(' ');
  const size_t sp2 = sp1 == std::string::npos ? std::string::npos : r.requestLine.find(' ', sp1 + 1);
  r.method = r.requestLine.substr(0, sp1);
  if (sp1 != std::string::npos) r.target = r.requestLine.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
  size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(pos, end - pos);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) r.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    pos = end + 2;
  }
  return r;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const auto& [key, value] : headers)
    if (Lower(key) == wanted) return value;
  return {};
}

bool RecordedRequest::HasHeader(std::string_view name) const {
  const std::string wanted = Lower(name);
  return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return Lower(h.first) == wanted; });
}

ScriptedReply StatusReply(int code, std::string_view reason, std::string_view extraHeaders, std::string_view body) {
  ScriptedReply r;
  r.bytes = "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) + "\r\n";
  r.bytes += extraHeaders;
  r.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  r.bytes += body;
  return r;
}

ScriptedReply RawReply(std::string_view bytes) {
  ScriptedReply r;
  r.bytes = std::string(bytes);
  return r;
}

ScriptedReply NeverAnswer() {
  ScriptedReply r;
  r.neverAnswer = true;
  return r;
}

ScriptedReply Dripped(ScriptedReply reply, std::chrono::milliseconds delayPerByte) {
  reply.dripDelay = delayPerByte;
  return reply;
}

ScriptedReply InterimOnly(int code, std::string_view reason) {
  ScriptedReply r;
  r.bytes = "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) + "\r\n\r\n";
  r.holdOpenAfterSend = true;
  return r;
}

LoopbackHttpServer::LoopbackHttpServer() : listenSocket_(INVALID_SOCKET) {
  defaultReply_ = StatusReply(404, "Not Found");
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  winsockStarted_ = true;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  listenSocket_ = s;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  int len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, SOMAXCONN) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  Stop();
  if (listenSocket_ != INVALID_SOCKET) ::closesocket(listenSocket_);
  if (winsockStarted_) ::WSACleanup();
}

void LoopbackHttpServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (acceptThread_.joinable()) acceptThread_.join();  // joins every connection thread too
}

bool LoopbackHttpServer::Stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

std::string LoopbackHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::wstring LoopbackHttpServer::WideUrl(std::string_view path) const {
  const std::string narrow = Url(path);
  return std::wstring(narrow.begin(), narrow.end());  // URLs built here are ASCII
}

void LoopbackHttpServer::SetReply(std::string_view target, ScriptedReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[std::string(target)] = std::move(reply);
}

void LoopbackHttpServer::SetDefaultReply(ScriptedReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  defaultReply_ = std::move(reply);
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t LoopbackHttpServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

size_t LoopbackHttpServer::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

bool LoopbackHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

ScriptedReply LoopbackHttpServer::ReplyFor(const std::string& target) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = replies_.find(target);
  if (it == replies_.end()) it = replies_.find(target.substr(0, target.find('?')));
  return it != replies_.end() ? it->second : defaultReply_;
}

void LoopbackHttpServer::AcceptLoop() {
  // Finished connection threads are joined as we go, so a long test does not pile up threads.
  struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Connection> live;
  const SOCKET listener = listenSocket_;
  while (!Stopping()) {
    for (auto it = live.begin(); it != live.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = live.erase(it);
      } else {
        ++it;
      }
    }
    if (!Readable(listener, kPoll)) continue;
    const SOCKET client = ::accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    live.push_back({std::thread([this, client, done] {
                      Serve(client);
                      done->store(true);
                    }),
                    done});
  }
  for (auto& c : live) c.thread.join();
}

void LoopbackHttpServer::Serve(uintptr_t socketValue) {
  const SOCKET s = static_cast<SOCKET>(socketValue);
  // Hold the connection open until the client closes it or the server stops.
  auto holdUntilClosed = [&] {
    char sink[4096];
    while (!Stopping()) {
      if (!Readable(s, kPoll)) continue;
      if (::recv(s, sink, sizeof sink, 0) <= 0) return;
    }
  };

  std::string data;
  size_t headEnd = std::string::npos;
  const auto deadline = std::chrono::steady_clock::now() + kRequestHeadTimeout;
  char buffer[8192];
  bool peerClosed = false;
  while (headEnd == std::string::npos && !Stopping() && std::chrono::steady_clock::now() < deadline &&
         data.size() < kMaxRequestBytes) {
    if (!Readable(s, kPoll)) continue;
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got <= 0) {
      peerClosed = true;
      break;
    }
    data.append(buffer, static_cast<size_t>(got));
    headEnd = data.find("\r\n\r\n");
  }
  if (headEnd == std::string::npos) {
    ::closesocket(s);
    return;
  }
  RecordedRequest request = ParseHead(data.substr(0, headEnd));
  std::string body = data.substr(headEnd + 4);
  const size_t wanted = std::min<size_t>(std::strtoull(request.Header("Content-Length").c_str(), nullptr, 10), kMaxRequestBytes);
  while (body.size() < wanted && !peerClosed && !Stopping() && std::chrono::steady_clock::now() < deadline) {
    if (!Readable(s, kPoll)) continue;
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    body.append(buffer, static_cast<size_t>(got));
  }
  request.body = body.substr(0, wanted);
  const ScriptedReply reply = ReplyFor(request.target);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(std::move(request));
  }
  changed_.notify_all();

  if (reply.neverAnswer) {
    holdUntilClosed();
    ::closesocket(s);
    return;
  }
  if (reply.dripDelay.count() > 0) {
    for (char c : reply.bytes) {
      if (!SendAll(s, &c, 1)) break;
      std::unique_lock<std::mutex> lock(mutex_);
      if (changed_.wait_for(lock, reply.dripDelay, [&] { return stopping_; })) break;
    }
  } else {
    SendAll(s, reply.bytes.data(), reply.bytes.size());
  }
  if (reply.holdOpenAfterSend) holdUntilClosed();
  // Close gracefully: end our side, then let the client read everything and close its side.
  ::shutdown(s, SD_SEND);
  const auto drainUntil = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!Stopping() && std::chrono::steady_clock::now() < drainUntil) {
    if (!Readable(s, kPoll)) continue;
    if (::recv(s, buffer, sizeof buffer, 0) <= 0) break;
  }
  ::closesocket(s);
}

}  // namespace sitemon_test
