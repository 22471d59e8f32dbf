// The main window's word search over one record: the search text in the name (DE_1), in the
// description (DE_11) or in either, the description tried first. Only the 26 ASCII letters are
// folded: "č" does not find "Č". An empty search text occurs nowhere.
//
// The description and combined modes compare zero-terminated copies in working buffers of a
// fixed size: the search text in 255 bytes, the description in 4095, the name in 255; what lies
// beyond (or after a zero byte) is not compared. The names-only mode compares the whole texts.
#pragma once

#include <string>

namespace katalog {

class TDataSet;

class TWordSearch {
 public:
  // The text is Windows-1250; with neither box checked the caller checks the names box first.
  TWordSearch(const std::string& text, bool names, bool descriptions);

  // Reads the record's fields that the mode needs (the description only when it is searched).
  bool Accepts(TDataSet& dataSet) const;

 private:
  bool names_;
  bool descriptions_;
  std::string text_;  // folded as the mode compares it
};

}  // namespace katalog
