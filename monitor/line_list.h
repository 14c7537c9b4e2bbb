#pragma once
// The site list as the user typed it, normalised: split at CR LF, each line trimmed of blanks
// (U+0020 and U+3000 only), empty lines dropped, and joined back with CR LF.
#include <cstddef>
#include <vector>

#include "base/utf16.h"

class CLineList {
 public:
  CLineList() = default;
  // Build from text: split only; Trim, DropEmpty and Join are separate steps.
  explicit CLineList(U16View text) { Build(text); }

  // Splits text into lines at each CR LF pair. A lone CR or LF belongs to its line; a text
  // ending in CR LF yields a last, empty line. Replaces any previous lines and joined text.
  void Build(U16View text);
  // Strips leading and trailing U+0020 and U+3000 from every line (a TAB stays).
  void Trim();
  // Drops the empty lines, keeping the order of the others.
  void DropEmpty();
  // The lines joined with CR LF between them and none after the last; owned by the list until
  // the next Join or Build.
  const char16_t* Join();

  size_t Count() const { return lines_.size(); }
  // Line i, NUL-terminated; an empty text for an index outside the list.
  const char16_t* Line(size_t i) const { return i < lines_.size() ? lines_[i].c_str() : u""; }
  U16View LineView(size_t i) const { return i < lines_.size() ? U16View(lines_[i]) : U16View(); }
  const U16& Joined() const { return joined_; }

  // Build, trim, drop the empty lines and join: the whole normalisation of Start.
  static CLineList Normalised(U16View text);

 private:
  std::vector<U16> lines_;
  U16 joined_;
};
