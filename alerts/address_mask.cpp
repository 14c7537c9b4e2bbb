#include "alerts/address_mask.h"

#include <algorithm>
#include <vector>

namespace {
constexpr std::string_view kMask = "****";
constexpr size_t kLongSegment = 16;
constexpr size_t kShownPrefixFrom = 12;

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A long value keeps its first four characters when they are plain letters and digits, so two
// robots can be told apart; a short one is masked whole.
std::string Masked(std::string_view value) {
  if (value.size() >= kShownPrefixFrom && IsAsciiAlnum(value[0]) && IsAsciiAlnum(value[1]) &&
      IsAsciiAlnum(value[2]) && IsAsciiAlnum(value[3]))
    return std::string(value.substr(0, 4)) + std::string(kMask);
  return std::string(kMask);
}

struct AddressParts {
  std::string_view scheme, host, path, query;
  bool ok = false;
};

AddressParts Split(std::string_view url) {
  AddressParts parts;
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return parts;
  parts.scheme = url.substr(0, schemeEnd);
  std::string_view rest = url.substr(schemeEnd + 3);
  rest = rest.substr(0, rest.find('#'));
  const size_t authorityEnd = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authorityEnd);
  const size_t at = authority.rfind('@');
  parts.host = at == std::string_view::npos ? authority : authority.substr(at + 1);
  rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  const size_t queryStart = rest.find('?');
  parts.path = rest.substr(0, queryStart);
  if (queryStart != std::string_view::npos) parts.query = rest.substr(queryStart + 1);
  parts.ok = true;
  return parts;
}

std::vector<std::string_view> Pieces(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return pieces;
    start = end + 1;
  }
}

// The parts of an address that are secret: user name and password, query values, long path
// segments.
std::vector<std::string> SecretPartsOf(std::string_view url) {
  std::vector<std::string> secrets;
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) {
    if (!url.empty()) secrets.emplace_back(url);
    return secrets;
  }
  std::string_view rest = url.substr(schemeEnd + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    for (std::string_view piece : Pieces(authority.substr(0, at), ':'))
      if (!piece.empty()) secrets.emplace_back(piece);
  }
  const AddressParts parts = Split(url);
  for (std::string_view segment : Pieces(parts.path, '/'))
    if (segment.size() >= kLongSegment) secrets.emplace_back(segment);
  if (!parts.query.empty()) {
    for (std::string_view pair : Pieces(parts.query, '&')) {
      const size_t equals = pair.find('=');
      std::string_view value = equals == std::string_view::npos ? pair : pair.substr(equals + 1);
      if (!value.empty() && (equals != std::string_view::npos || value.size() >= kLongSegment))
        secrets.emplace_back(value);
    }
  }
  return secrets;
}

// Shorter pieces are no secret worth the damage masking them would do to the text.
constexpr size_t kShortestMasked = 3;

void ReplaceAll(std::string& text, std::string_view secret) {
  if (secret.size() < kShortestMasked) return;
  for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + kMask.size()))
    text.replace(at, secret.size(), kMask);
}

}  // namespace

std::string MaskWebhookAddress(std::string_view url) {
  const AddressParts parts = Split(url);
  if (!parts.ok) return std::string(kMask);
  std::string shown = std::string(parts.scheme) + "://" + std::string(parts.host);
  bool first = true;
  for (std::string_view segment : Pieces(parts.path, '/')) {
    if (!first) shown += '/';
    first = false;
    shown += segment.size() >= kLongSegment ? Masked(segment) : std::string(segment);
  }
  if (!parts.query.empty()) {
    shown += '?';
    bool firstPair = true;
    for (std::string_view pair : Pieces(parts.query, '&')) {
      if (!firstPair) shown += '&';
      firstPair = false;
      const size_t equals = pair.find('=');
      if (equals == std::string_view::npos) {
        shown += pair.size() >= kLongSegment ? Masked(pair) : std::string(pair);
      } else {
        shown += std::string(pair.substr(0, equals + 1));
        if (equals + 1 < pair.size()) shown += Masked(pair.substr(equals + 1));
      }
    }
  }
  return shown;
}

std::string WithoutSecrets(std::string text, const AlertChannel& channel) {
  std::vector<std::string> secrets = SecretPartsOf(channel.webhookUrl);
  secrets.push_back(channel.secret);
  secrets.push_back(channel.smtpPassword);
  // The longest first, so that a secret holding another is masked whole.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& secret : secrets) ReplaceAll(text, secret);
  return text;
}
