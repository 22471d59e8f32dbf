// The main window's word search over one record: the search text in the name (DE_1), in the
// description (DE_11) or in either, the description tried first. Case is folded for every letter
// of the code page by the locale's mapping: "čertovka" finds "Čertovka". An empty search text
// occurs nowhere.
//
// The description and combined modes compare zero-terminated copies in working buffers of a
// fixed size: the search text in 255 bytes, the description in 4095, the name in 255; what lies
// beyond (or after a zero byte) is not compared. The names-only mode compares the whole texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace katalog {

class TDataSet;

class TWordSearch {
 public:
  // The text is Windows-1250; with neither box checked the caller checks the names box first.
  TWordSearch(const std::string& text, bool names, bool descriptions);

  // Reads the record's fields that the mode needs (the description only when it is searched).
  bool Accepts(TDataSet& dataSet) const;

 private:
  // The text folded into `into`: to upper case (names-only mode, the whole text) or to lower case
  // (cut to a buffer of bufferSize).
  const std::string& Folded(std::string_view text, bool upper, std::size_t bufferSize,
                            std::string& into) const;

  bool names_;
  bool descriptions_;
  bool asciiOnly_;              // the search text has no letter of the code page beyond ASCII
  std::string text_;            // folded as the mode compares it
  mutable std::string folded_;  // the record's text being compared, kept to spare allocations
};

}  // namespace katalog
