// The loopback test server itself, driven by a plain Winsock client.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/support/loopback_http_server_win.h"

using namespace std::chrono_literals;
using sitemon_test::LoopbackHttpServer;

namespace {

class RawClient {
 public:
  explicit RawClient(uint16_t port) {
    WSADATA data;
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    s_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = s_ != INVALID_SOCKET && ::connect(s_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() {
    if (s_ != INVALID_SOCKET) ::closesocket(s_);
    if (started_) ::WSACleanup();
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }
  bool Send(const std::string& bytes) { return ::send(s_, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size()); }
  // Reads until the server closes or the deadline passes; closed tells which.
  std::string ReadAll(std::chrono::milliseconds timeout, bool* closed = nullptr) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buf[65536];
    if (closed) *closed = false;
    while (std::chrono::steady_clock::now() < deadline) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(s_, &set);
      timeval tv{0, 20000};
      if (::select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
      const int got = ::recv(s_, buf, sizeof buf, 0);
      if (got <= 0) {
        if (closed) *closed = true;
        break;
      }
      out.append(buf, static_cast<size_t>(got));
    }
    return out;
  }

 private:
  bool started_ = false;
  bool connected_ = false;
  SOCKET s_ = INVALID_SOCKET;
};

}  // namespace

TEST(LoopbackHttpServer, RecordsRequestsAndAnswersScriptedOrDefaultReplies) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  EXPECT_NE(server.port(), 0);
  server.SetReply("/notice", sitemon_test::StatusReply(200, "OK", "X-Test: 1\r\n", "{\"a\":1}"));
  {
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send("POST /notice?x=1 HTTP/1.0\r\nHost: h\r\nContent-Length: 7\r\n\r\nk=v&w=z"));
    bool closed = false;
    const std::string answer = client.ReadAll(5s, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nX-Test: 1\r\nContent-Length: 7\r\nConnection: close\r\n\r\n{\"a\":1}");
  }
  {
    RawClient client(server.port());
    ASSERT_TRUE(client.Send("GET /other HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(client.ReadAll(5s).rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  }
  ASSERT_TRUE(server.WaitForRequests(2, 5s));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "POST /notice?x=1 HTTP/1.0");
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/notice?x=1");
  EXPECT_EQ(requests[0].Header("content-length"), "7");
  EXPECT_EQ(requests[0].Header("HOST"), "h");
  EXPECT_EQ(requests[0].body, "k=v&w=z");
  EXPECT_EQ(requests[1].target, "/other");
  EXPECT_FALSE(requests[1].HasHeader("Host"));
  EXPECT_EQ(server.ConnectionCount(), 2u);
}

TEST(LoopbackHttpServer, SilentAndInterimRepliesHoldTheConnectionUntilStopped) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/hang", sitemon_test::NeverAnswer());
  server.SetReply("/interim", sitemon_test::InterimOnly());
  RawClient silent(server.port());
  RawClient interim(server.port());
  ASSERT_TRUE(silent.Send("GET /hang HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(interim.Send("GET /interim HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(server.WaitForRequests(2, 5s));
  bool closed = true;
  EXPECT_EQ(silent.ReadAll(300ms, &closed), "");
  EXPECT_FALSE(closed);
  EXPECT_EQ(interim.ReadAll(300ms, &closed), "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_FALSE(closed);
  // Stopping ends the held connections even though the clients are still there.
  const auto before = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);
  silent.ReadAll(2s, &closed);
  EXPECT_TRUE(closed);
}

TEST(LoopbackHttpServer, DripsSlowlyAndSendsLargeBodiesWhole) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  server.SetReply("/slow", sitemon_test::Dripped(sitemon_test::RawReply("HTTP/1.0 200 OK\r\n\r\n"), 20ms));
  const std::string big(3 << 20, 'x');
  server.SetReply("/big", sitemon_test::StatusReply(200, "OK", "", big));

  RawClient slow(server.port());
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(slow.Send("GET /slow HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(slow.ReadAll(10s), "HTTP/1.0 200 OK\r\n\r\n");
  // 19 bytes at 20 ms each cannot arrive in less than about 360 ms.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);

  RawClient large(server.port());
  ASSERT_TRUE(large.Send("GET /big HTTP/1.1\r\n\r\n"));
  const std::string answer = large.ReadAll(20s);
  const size_t bodyStart = answer.find("\r\n\r\n");
  ASSERT_NE(bodyStart, std::string::npos);
  EXPECT_EQ(answer.size() - bodyStart - 4, big.size());
}

TEST(LoopbackHttpServer, ConnectionWithoutRequestIsCountedButNotRecorded) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.ok());
  {
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
  }
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (server.ConnectionCount() < 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(server.RequestCount(), 0u);
}
