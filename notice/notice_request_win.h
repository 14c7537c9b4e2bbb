#pragma once
// The notice request over WinINet: open, connect, POST the form body, and then the status code
// and the body in chunks. Every handle is owned by the exchange and closed when it goes.
#include <windows.h>
#include <wininet.h>

#include <memory>

#include "notice/notice_check.h"

// Sends the form body (converted to the ANSI code page) to host:port. Null when opening,
// connecting, opening the request, converting or sending failed; whatever was opened is closed.
std::unique_ptr<INoticeExchange> SendNoticeRequest(const wchar_t* host, INTERNET_PORT port,
                                                   U16View formBody);

// The local ANSI code page to UTF-16 (MultiByteToWideChar, CP_ACP); "" when it fails.
U16 AnsiToWideText(std::string_view ansi);
