// Reads JSON rows for import one at a time: the objects of one array, as export writes them, or
// objects one after another (one per line). Only one object's text is held at a time, so a file
// of any size streams through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/isamtool/InputBuffer.h"

namespace katalog::isamtool {

// An object's members in their order: the key, and the value's text (none for null). A number
// keeps the text it was written with, so that no digit is lost to a double; booleans are "true"
// and "false".
using TJsonMembers = std::vector<std::pair<std::string, std::optional<std::string>>>;

class TJsonRowReader {
 public:
  // Reads `file` (not owned) from its current position.
  explicit TJsonRowReader(std::FILE* file);

  // The next object; false at the end of the input. Raises TInputError for anything else,
  // a value that is an object or an array too.
  bool Next(TJsonMembers& members);
  // The line (1-based) on which the object last read starts, and on which the next one would.
  std::int64_t Line() const { return objectLine_; }
  std::int64_t NextLine() const { return input_.Line(); }
  std::uint64_t BytesRead() const { return input_.Consumed(); }
  // True when the input ended before anything JSON began.
  bool Empty() const { return shape_ == TShape::Unknown; }

 private:
  // Skips white space; returns the next character, not taken.
  int SkipBlanks();
  [[noreturn]] void Fail(const std::string& what) const;

  TInputBuffer input_;
  std::int64_t objectLine_ = 0;
  enum class TShape { Unknown, Array, Lines, Ended } shape_ = TShape::Unknown;
  bool first_ = true;  // no object read yet from the array
  std::string text_;   // the object being read
};

}  // namespace katalog::isamtool
