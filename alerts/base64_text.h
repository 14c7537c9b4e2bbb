#pragma once
// Base64 (RFC 4648, with padding) and the percent-encoding of a query value: the stored
// secrets and the robots' signatures travel as text.
#include <string>
#include <string_view>

std::string Base64Encode(std::string_view bytes);
// False on any character outside the alphabet, wrong padding or a length that is no multiple of 4.
bool Base64Decode(std::string_view text, std::string& bytes);
// Every byte but A-Z a-z 0-9 - _ . ~ as %XX (upper-case hex).
std::string PercentEncode(std::string_view bytes);
