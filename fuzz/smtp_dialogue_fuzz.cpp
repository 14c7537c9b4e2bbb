// Fuzzes the SMTP dialogue with a server that says anything: its bytes arrive in chunks of a size
// the input chooses, and the STARTTLS handshake works or not as the input says. Checks that the
// password is never sent before the link is encrypted and never shows in the outcome, that the
// outcome is valid UTF-8 of bounded length, and that nothing counts as delivered unless the
// mail went out after DATA.
//
// Input: the last byte: bits 0-5 the chunk size less one, bit 6 STARTTLS (else TLS from the
// start), bit 7 the handshake fails; the bytes before it are what the server sends.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "alerts/smtp_dialogue.h"
#include "alerts/smtp_message.h"
#include "alerts/smtp_reply.h"

namespace {

constexpr char kPassword[] = "fuzz-secret";

void Require(bool condition) {
  if (!condition) std::abort();
}

class HostileServer : public ISmtpLink {
 public:
  HostileServer(std::string_view says, int chunk, bool encrypted, bool handshakeWorks)
      : says_(says), chunk_(chunk), encrypted_(encrypted), handshakeWorks_(handshakeWorks) {}

  bool Send(std::string_view bytes) override {
    const bool secret = bytes.find(kPassword) != std::string_view::npos ||
                        bytes.find(Base64Encode(kPassword)) != std::string_view::npos ||
                        bytes.find(Base64Encode(std::string("\0fuzz@user.test\0", 16) + kPassword)) != std::string_view::npos;
    Require(!secret || encrypted_);
    if (bytes.size() > 2 && bytes.substr(bytes.size() - 3) == ".\r\n" && bytes.find("Subject:") != std::string_view::npos) {
      mailSent = true;
    }
    return true;
  }
  int Receive(char* buffer, int size) override {
    const std::size_t n = std::min<std::size_t>({says_.size(), static_cast<std::size_t>(size),
                                                 static_cast<std::size_t>(chunk_)});
    std::memcpy(buffer, says_.data(), n);
    says_.remove_prefix(n);
    return static_cast<int>(n);
  }
  bool StartTls() override {
    encrypted_ = handshakeWorks_;
    return handshakeWorks_;
  }
  bool Encrypted() const override { return encrypted_; }
  std::string Problem() const override { return "link problem"; }

  bool mailSent = false;

 private:
  std::string_view says_;
  int chunk_;
  bool encrypted_;
  bool handshakeWorks_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t options = input.ConsumeIntegral<uint8_t>();
  const std::string says = input.ConsumeRemainingBytesAsString();
  const bool startTls = (options & 0x40) != 0;
  HostileServer server(says, (options & 0x3F) + 1, !startTls, (options & 0x80) == 0);

  SmtpRequest request;
  request.helloName = "[127.0.0.1]";
  request.startTls = startTls;
  request.user = "fuzz@user.test";
  request.password = kPassword;
  request.from = "fuzz@user.test";
  request.to = {"a@mail.test", "b@mail.test"};
  request.mail = "Subject: x\r\n\r\n.body\r\n";
  const SendOutcome outcome = RunSmtpDialogue(server, request);

  Require(outcome.detail.find(kPassword) == std::string::npos);
  Require(ShownText(outcome.detail, 1000) == outcome.detail);  // valid UTF-8, no control bytes
  Require(!outcome.delivered || server.mailSent);
  return 0;
}
