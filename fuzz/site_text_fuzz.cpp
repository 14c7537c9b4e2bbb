// Fuzzes site.txt: any bytes are the file, loaded through the file seam and the code-page
// converter (natively UTF-8 stands in for the ANSI code page). The text must end at the first NUL
// byte, contain no NUL and, for well-formed bytes, be exactly those bytes decoded. The same input
// read as UTF-16 code units is then stored as Start stores a list and loaded back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "monitor/line_list.h"
#include "store/stored_state.h"

namespace {

const U16 kSitePath = u"/data/DorvaneSiteMonitor/site.txt";

// Well-formed UTF-8 by the table of valid byte sequences, written apart from the converter.
bool IsWellFormedUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    auto at = [&](size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
    auto cont = [](unsigned c, unsigned lo = 0x80, unsigned hi = 0xBF) { return c >= lo && c <= hi; };
    if (b <= 0x7F) {
      i += 1;
    } else if (b >= 0xC2 && b <= 0xDF && cont(at(1))) {
      i += 2;
    } else if (b == 0xE0 && cont(at(1), 0xA0, 0xBF) && cont(at(2))) {
      i += 3;
    } else if (((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) && cont(at(1)) && cont(at(2))) {
      i += 3;
    } else if (b == 0xED && cont(at(1), 0x80, 0x9F) && cont(at(2))) {
      i += 3;
    } else if (b == 0xF0 && cont(at(1), 0x90, 0xBF) && cont(at(2)) && cont(at(3))) {
      i += 4;
    } else if (b >= 0xF1 && b <= 0xF3 && cont(at(1)) && cont(at(2)) && cont(at(3))) {
      i += 4;
    } else if (b == 0xF4 && cont(at(1), 0x80, 0x8F) && cont(at(2)) && cont(at(3))) {
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Text as the code page gets it back: every unpaired surrogate becomes U+FFFD.
U16 WithLoneSurrogatesReplaced(U16View text) {
  U16 out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1])) {
      ++i;
    } else if (IsHigh(out[i]) || IsLow(out[i])) {
      out[i] = u'\uFFFD';
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const FileBytes file = in.ConsumeRemainingBytes<uint8_t>();
  Utf8CodePage codePage;
  MemoryStoreFiles files;

  // A missing file is absent, not an empty text.
  FUZZ_REQUIRE(!LoadSiteText(files, codePage, kSitePath).has_value());

  // Loading: the bytes up to the first NUL, decoded.
  files.files[kSitePath] = file;
  const std::optional<U16> loaded = LoadSiteText(files, codePage, kSitePath);
  FUZZ_REQUIRE(loaded.has_value());
  const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
  const std::string_view beforeNul = bytes.substr(0, bytes.find('\0'));
  FUZZ_REQUIRE(loaded->find(u'\0') == U16::npos);
  FUZZ_REQUIRE(loaded->size() <= beforeNul.size());
  if (IsWellFormedUtf8(beforeNul)) {
    FUZZ_REQUIRE(Utf8FromU16(*loaded) == beforeNul);
  } else {
    FUZZ_REQUIRE(loaded->find(u'\uFFFD') != U16::npos);
  }
  // What was loaded is well-formed text, with no half of a surrogate pair.
  FUZZ_REQUIRE(WithLoneSurrogatesReplaced(*loaded) == *loaded);

  // Storing what was loaded gives the well-formed bytes, and loading them the same text.
  FUZZ_REQUIRE(StoreSiteList(files, codePage, kSitePath, *loaded));
  FUZZ_REQUIRE(files.files.size() == 1);
  const FileBytes& stored = files.files[kSitePath];
  FUZZ_REQUIRE(IsWellFormedUtf8(std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size())));
  if (IsWellFormedUtf8(beforeNul)) FUZZ_REQUIRE(stored == FileBytes(beforeNul.begin(), beforeNul.end()));
  FUZZ_REQUIRE(LoadSiteText(files, codePage, kSitePath) == loaded);

  // The input as UTF-16 code units, stored as Start stores its joined list: nothing after a NUL
  // is written, no terminator, and the load gives the text back (unpaired surrogates replaced).
  const U16 units = Utf16LeUnits(file);
  const U16View text = U16View(units).substr(0, units.find(u'\0'));
  FUZZ_REQUIRE(StoreSiteList(files, codePage, kSitePath, units));
  for (uint8_t b : files.files[kSitePath]) FUZZ_REQUIRE(b != 0);
  const std::optional<U16> back = LoadSiteText(files, codePage, kSitePath);
  FUZZ_REQUIRE(back.has_value() && *back == WithLoneSurrogatesReplaced(text));

  // A normalised list survives the store and the next start's load unchanged.
  CLineList list = CLineList::Normalised(*back);
  FUZZ_REQUIRE(StoreSiteList(files, codePage, kSitePath, list.Joined()));
  const std::optional<U16> next = LoadSiteText(files, codePage, kSitePath);
  FUZZ_REQUIRE(next.has_value() && *next == list.Joined());
  FUZZ_REQUIRE(CLineList::Normalised(*next).Joined() == *next);
  return 0;
}
