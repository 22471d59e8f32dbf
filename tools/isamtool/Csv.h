// Comma-separated values as RFC 4180 has them: fields separated by commas, records by CR LF or
// LF; a field holding a comma, a quote, CR or LF is quoted, its quotes doubled. The reader
// streams the input; the writer appends to a caller's buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace katalog::isamtool {

// Malformed input; the message names the line.
class TCsvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCsvReader {
 public:
  // Reads `file` (not owned) from its current position.
  explicit TCsvReader(std::FILE* file);

  // The next record's fields; false at the end of the input. A final line ending adds no record.
  bool Next(std::vector<std::string>& fields);
  // The line (1-based) on which the record last read starts.
  std::int64_t Line() const { return recordLine_; }
  // The line (1-based) on which the next record starts, after the line ending of the last one.
  std::int64_t NextLine() const { return line_; }
  std::uint64_t BytesRead() const { return consumed_; }
  // Skips a UTF-8 byte order mark at the very start.
  void SkipByteOrderMark();

 private:
  int Peek();
  int Get();

  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  std::uint64_t consumed_ = 0;
  std::int64_t line_ = 1;
  std::int64_t recordLine_ = 0;
};

// True when the field must be quoted.
bool CsvNeedsQuotes(std::string_view field);
// Appends the field, quoted when it needs it or when `quote` asks for it.
void AppendCsvField(std::string& out, std::string_view field, bool quote = false);

}  // namespace katalog::isamtool
