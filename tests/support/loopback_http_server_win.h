#pragma once
// A small scriptable HTTP server for Windows tests (runs under Wine): Winsock, 127.0.0.1 only,
// a free port chosen by the system, one accept thread plus one thread per connection. The
// destructor stops it and joins every thread, so a test's server never outlives the test.
//
//   LoopbackHttpServer server;                       // listening at once
//   ASSERT_TRUE(server.ok());
//   server.SetReply("/ok", StatusReply(200, "OK"));
//   server.SetReply("/gone", StatusReply(404, "Not Found", "", "nothing here"));
//   server.SetReply("/bad", RawReply("HTTP/1.1 abc\r\n\r\n"));
//   server.SetReply("/hang", NeverAnswer());
//   ... probe server.WideUrl("/ok") ...
//   ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(5)));
//   EXPECT_EQ(server.Requests()[0].target, "/ok");
//
// A path with no reply set is answered "HTTP/1.1 404 Not Found". Replies are looked up by the
// whole request target first, then by the target without its query.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace sitemon_test {

// What the server does with one request.
struct ScriptedReply {
  std::string bytes;                        // sent exactly as given (status line, headers, body)
  bool neverAnswer = false;                 // read the request, send nothing, hold the connection
  std::chrono::milliseconds dripDelay{0};   // > 0: send one byte at a time with this pause
  bool holdOpenAfterSend = false;           // after sending, keep the connection open (e.g. 1xx only)
};

// "HTTP/1.1 <code> <reason>\r\n" + extraHeaders (each ending "\r\n") + Content-Length and
// "Connection: close" + blank line + body.
ScriptedReply StatusReply(int code, std::string_view reason, std::string_view extraHeaders = {},
                          std::string_view body = {});
// Bytes sent as they are, then the connection is closed (malformed or missing status lines).
ScriptedReply RawReply(std::string_view bytes);
// Accept and read the request, never answer; the connection is held until the client gives up
// or the server stops.
ScriptedReply NeverAnswer();
// Any reply sent slowly, one byte per delay.
ScriptedReply Dripped(ScriptedReply reply, std::chrono::milliseconds delayPerByte);
// A 1xx interim answer only ("HTTP/1.1 100 Continue\r\n\r\n" by default), then silence.
ScriptedReply InterimOnly(int code = 100, std::string_view reason = "Continue");

struct RecordedRequest {
  std::string requestLine;                                   // "GET /x HTTP/1.1"
  std::string method;
  std::string target;                                        // "/x?y"
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order, as sent
  std::string body;                                          // Content-Length bytes, if any

  // The first header of that name (case-insensitive), or empty.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

class LoopbackHttpServer {
 public:
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool ok() const { return port_ != 0; }  // false when Winsock, bind or listen failed
  uint16_t port() const { return port_; }
  std::string Url(std::string_view path) const;       // "http://127.0.0.1:<port><path>"
  std::wstring WideUrl(std::string_view path) const;  // the same as wide text

  void SetReply(std::string_view target, ScriptedReply reply);
  void SetDefaultReply(ScriptedReply reply);  // for targets with no reply of their own

  std::vector<RecordedRequest> Requests() const;  // a copy, in arrival order
  size_t RequestCount() const;
  size_t ConnectionCount() const;  // accepted connections (also those that never sent a request)
  // Waits until at least count requests have been recorded; false at the deadline.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
  // Stops accepting, ends every connection and joins all threads (the destructor calls it).
  void Stop();

 private:
  void AcceptLoop();
  void Serve(uintptr_t socket);
  ScriptedReply ReplyFor(const std::string& target) const;
  bool Stopping() const;

  uintptr_t listenSocket_;
  uint16_t port_ = 0;
  bool winsockStarted_ = false;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::map<std::string, ScriptedReply> replies_;
  ScriptedReply defaultReply_;
  std::vector<RecordedRequest> requests_;
  size_t connections_ = 0;
  std::thread acceptThread_;
};

}  // namespace sitemon_test
