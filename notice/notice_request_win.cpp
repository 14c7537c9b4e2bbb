#include "notice/notice_request_win.h"

#include <string>
#include <vector>

#include "base/unique_handle_win.h"
#include "base/wide_text_win.h"

namespace {

class WinInetNoticeExchange : public INoticeExchange {
 public:
  WinInetNoticeExchange(UniqueInternetHandle internet, UniqueInternetHandle connection,
                        UniqueInternetHandle request)
      : internet_(std::move(internet)),
        connection_(std::move(connection)),
        request_(std::move(request)) {}
  ~WinInetNoticeExchange() override {
    // Request first, then connection, then the internet handle.
    request_.reset();
    connection_.reset();
    internet_.reset();
  }

  int32_t StatusCode() override {
    wchar_t status[51] = {};
    DWORD size = 50;  // bytes offered: room for 25 characters, plenty for a status code
    if (!::HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE, status, &size, nullptr))
      return 0;
    return LeadingDecimal(AsU16(status));
  }

  int32_t ReadChunk(char* into, int32_t maxBytes) override {
    DWORD got = 0;
    if (maxBytes <= 0 ||
        !::InternetReadFile(request_.get(), into, static_cast<DWORD>(maxBytes), &got))
      return 0;
    return got > static_cast<DWORD>(maxBytes) ? maxBytes : static_cast<int32_t>(got);
  }

 private:
  UniqueInternetHandle internet_;
  UniqueInternetHandle connection_;
  UniqueInternetHandle request_;
};

// Wide text to the local ANSI code page, without the terminator; false when it fails.
bool ToAnsi(U16View text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  const int units = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, AsWide(text.data()), units, nullptr, 0,
                                          nullptr, nullptr);
  if (bytes <= 0) return false;
  out.resize(static_cast<size_t>(bytes));
  return ::WideCharToMultiByte(CP_ACP, 0, AsWide(text.data()), units, out.data(), bytes, nullptr,
                               nullptr) == bytes;
}

}  // namespace

std::unique_ptr<INoticeExchange> SendNoticeRequest(const wchar_t* host, INTERNET_PORT port,
                                                   U16View formBody) {
  UniqueInternetHandle internet(
      ::InternetOpenW(L"Dorvane", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) return nullptr;
  UniqueInternetHandle connection(::InternetConnectW(internet.get(), host, port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 1));
  if (!connection) return nullptr;
  LPCWSTR acceptTypes[] = {L" */*", nullptr};
  UniqueInternetHandle request(::HttpOpenRequestW(
      connection.get(), L"POST", L"index.php?g=Api&m=Client&a=getInfo", L"HTTP/1.0", nullptr,
      acceptTypes, INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return nullptr;
  std::string body;
  if (!ToAnsi(formBody, body)) return nullptr;
  static const wchar_t kHeader[] = L"Content-Type: application/x-www-form-urlencoded";
  if (!::HttpSendRequestW(request.get(), kHeader, static_cast<DWORD>(-1), body.data(),
                          static_cast<DWORD>(body.size())))
    return nullptr;
  return std::make_unique<WinInetNoticeExchange>(std::move(internet), std::move(connection),
                                                 std::move(request));
}

U16 AnsiToWideText(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int bytes = static_cast<int>(ansi.size());
  const int units = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
  if (units <= 0) return {};
  U16 wide(static_cast<size_t>(units), u'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, AsWide(wide.data()), units) != units)
    return {};
  return wide;
}
