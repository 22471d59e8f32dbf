// Comma-separated values as RFC 4180 has them: fields separated by commas, records by CR LF or
// LF; a field holding a comma, a quote, CR or LF is quoted, its quotes doubled. The separator
// may be a semicolon or a tab instead, as spreadsheets write them. The reader streams the
// input; the writer appends to a caller's buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/isamtool/InputBuffer.h"

namespace katalog::isamtool {

class TCsvReader {
 public:
  // Reads `file` (not owned) from its current position, fields separated by `delimiter`.
  explicit TCsvReader(std::FILE* file, char delimiter = ',');

  // Looks at the first line without reading it and takes as the delimiter the one of ',', ';'
  // and tab it has most of outside quotes (',' when it has none); returns it.
  char DetectDelimiter();
  // The next record's fields; false at the end of the input. A final line ending adds no record.
  // `quoted`, when given, tells for each field whether it was in quotes.
  bool Next(std::vector<std::string>& fields, std::vector<bool>* quoted = nullptr);
  // The line (1-based) on which the record last read starts.
  std::int64_t Line() const { return recordLine_; }
  // The line (1-based) on which the next record starts, after the line ending of the last one.
  std::int64_t NextLine() const { return input_.Line(); }
  std::uint64_t BytesRead() const { return input_.Consumed(); }
  // Skips a UTF-8 byte order mark at the very start.
  void SkipByteOrderMark() { input_.SkipPrefix("\xEF\xBB\xBF"); }

 private:
  void TakeRun(std::string& field, bool quoted);

  TInputBuffer input_;
  char delimiter_;
  std::int64_t recordLine_ = 0;
};

// Whether a text can stand for null in a CSV file: it holds no delimiter (',' ';' tab), quote,
// CR or LF, which would make it a quoted field (and so text) or several fields.
bool IsCsvNullToken(std::string_view token);
// Appends the field, quoted when it holds a delimiter (',' ';' tab or `delimiter`), a quote, CR
// or LF, or when `quote` asks for it.
void AppendCsvField(std::string& out, std::string_view field, char delimiter = ',',
                    bool quote = false);

}  // namespace katalog::isamtool
