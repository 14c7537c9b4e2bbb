#pragma once
// The mail server's certificate, checked as the HTTPS probe's is: a chain to a trusted root,
// within its dates, for the server's name.
#include <windows.h>
#include <wincrypt.h>

#include <string>

// Empty when the certificate is good for `host`; otherwise the problem in plain words, e.g.
// "证书无效：名称与 mail.example.com 不符".
std::string ServerCertificateProblem(PCCERT_CONTEXT certificate, const std::wstring& host,
                                     const std::string& hostUtf8);
