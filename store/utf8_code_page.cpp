#include "store/code_page.h"

namespace {
template <typename View>
View UpToNul(View text) {
  const auto nul = text.find(typename View::value_type{});
  return nul == View::npos ? text : text.substr(0, nul);
}
}  // namespace

std::string Utf8CodePage::ToAnsi(U16View text) { return Utf8FromU16(UpToNul(text)); }

U16 Utf8CodePage::FromAnsi(std::string_view bytes) { return U16FromUtf8(UpToNul(bytes)); }
