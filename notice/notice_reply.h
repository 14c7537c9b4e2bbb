#pragma once
// Reading the notice service's reply: a JSON object of which three members are used.
//
// Conversion rules (the same as the integer and string conversions of the JSON reader this
// service was first written against):
//  - a missing member, or null, reads as 0 / empty text;
//  - integer: booleans give 0 or 1, reals are truncated toward zero, integers are taken as they
//    are; a value outside the signed 32-bit range (integer or real) cannot be converted;
//  - text: a string as it is, booleans as "true"/"false", integers in decimal, reals with 17
//    significant digits ("%.17g");
//  - every other kind (a string for an integer, an object or array for either) cannot be
//    converted.
// A reply whose root is null has no members (all read as 0 / empty); a root of any other kind
// than an object or null cannot be read. When any of the three cannot be read the reply is not
// usable: nothing of it is shown.
#include <cstdint>
#include <string>
#include <string_view>

struct NoticeReply {
  int32_t update = 0;       // nonzero: a newer version exists
  int32_t noticeId = 0;     // 0: no notice
  std::string noticeText;   // bytes as sent (the local ANSI code page)
};

enum class NoticeReplyParse {
  NotJson,      // not a JSON document (or nested deeper than kMaxJsonDepth): not understood
  Unusable,     // valid JSON, but a member has a kind that cannot be converted: nothing shown
  Understood,   // valid JSON and all three members read
};

struct ParsedNoticeReply {
  NoticeReplyParse result = NoticeReplyParse::NotJson;
  NoticeReply reply;  // meaningful only when Understood
};

// Nesting deeper than this is refused before parsing, so a hostile reply cannot make the parser
// build a million nested values.
constexpr int kMaxJsonDepth = 1000;

// Parses the text (one JSON document; comments are allowed and skipped) and reads the members.
// Strings may carry raw bytes of any code page and raw control characters: they are taken as
// they are, not rejected as ill-formed UTF-8. Never throws.
ParsedNoticeReply ParseNoticeReply(std::string_view text) noexcept;

// Rewrites the text for a strict UTF-8 JSON parser: inside strings, each byte 0x80-0xFF becomes
// the private-use character U+F700+byte and each control byte a \u00XX escape. Returns false
// (and leaves out empty) when brackets nest deeper than maxDepth. Strings and comments are
// skipped when counting depth.
bool PrepareJsonText(std::string_view text, int maxDepth, std::string& out);
// Undoes the byte mapping of PrepareJsonText in a parsed string.
std::string RestoreRawBytes(std::string_view parsed);
