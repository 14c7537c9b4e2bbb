#include "monitor/line_list.h"

#include <algorithm>

namespace {
bool IsBlank(char16_t c) { return c == u' ' || c == u'\u3000'; }
}  // namespace

void CLineList::Build(U16View text) {
  lines_.clear();
  joined_.clear();
  size_t start = 0;
  for (;;) {
    const size_t crlf = text.find(u"\r\n", start);
    if (crlf == U16View::npos) {
      lines_.emplace_back(text.substr(start));
      return;
    }
    lines_.emplace_back(text.substr(start, crlf - start));
    start = crlf + 2;
  }
}

void CLineList::Trim() {
  for (U16& line : lines_) {
    size_t b = 0, e = line.size();
    while (b < e && IsBlank(line[b])) ++b;
    while (e > b && IsBlank(line[e - 1])) --e;
    line = line.substr(b, e - b);
  }
}

void CLineList::DropEmpty() {
  lines_.erase(std::remove_if(lines_.begin(), lines_.end(), [](const U16& l) { return l.empty(); }), lines_.end());
}

const char16_t* CLineList::Join() {
  joined_.clear();
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) joined_ += u"\r\n";
    joined_ += lines_[i];
  }
  return joined_.c_str();
}

CLineList CLineList::Normalised(U16View text) {
  CLineList list(text);
  list.Trim();
  list.DropEmpty();
  list.Join();
  return list;
}
