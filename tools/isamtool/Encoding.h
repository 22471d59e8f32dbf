// Text between a table's code page and the encodings isamtool reads and writes (UTF-8 or
// Windows-1250), bytes as hex and base64, and text quoted for JSON and SQL. A character the
// other side cannot hold is an error naming it, never a '?'.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace katalog {
class TIsamTable;
}
namespace katalog::platform {
class TCodePage;
}

namespace katalog::isamtool {

enum class TEncoding { Utf8, Cp1250 };

// The code page of a table's text: its locale's ANSI code page, 1250 without a locale.
int TableCodePage(std::uint32_t localeId);
int TableCodePage(const TIsamTable& table);

// A text that cannot be converted: the message names the character ("U+4E2D '中'").
class TEncodingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Converts between one table code page and one outside encoding. Immutable; cheap to copy.
class TTextCodec {
 public:
  TTextCodec(int tableCodePage, TEncoding outside);

  // Outside text to the table's code page.
  std::string ToTable(std::string_view text) const;
  // The table's text to the outside encoding.
  std::string FromTable(std::string_view text) const;
  // The same in UTF-8 without allocating: the text itself when it needs no conversion, else
  // its conversion at the start of `buffer` (kept by the caller, grown as needed).
  std::string_view FromTableToUtf8(std::string_view text, std::string& buffer) const;
  TEncoding Outside() const { return outside_ ? TEncoding::Cp1250 : TEncoding::Utf8; }

 private:
  const platform::TCodePage& table_;
  const platform::TCodePage* outside_;  // none for UTF-8
  bool identity_;  // both sides the same single-byte page: text passes unchanged
};

// Text in the encoding as UTF-8, for messages. The engine's and the data set's messages are
// program texts in code page 1250.
std::string Utf8Of(std::string_view text, TEncoding encoding);
// A value from a file, in UTF-8 for a message: a cp1250 file's text converted, and in a UTF-8
// file any byte that is not part of valid UTF-8 shown as \xNN.
std::string ShownText(std::string_view text, TEncoding encoding);
// A message for the terminal: UTF-8 as it is; anything else (an engine message, a field name
// from a table) read as code page 1250, the program's own.
std::string Printable(std::string_view message);

// Bytes as two upper-case hexadecimal digits each, and back (either case; TEncodingError for
// anything else).
std::string HexText(std::string_view bytes);
std::string BytesOfHex(std::string_view hex);
// Standard base64 with padding, and back (TEncodingError for anything else).
std::string Base64Text(std::string_view bytes);
std::string BytesOfBase64(std::string_view text);

// A JSON string literal of UTF-8 text.
void AppendJsonString(std::string& out, std::string_view text);
// An SQL identifier in double quotes, its quotes doubled.
std::string SqlIdentifier(std::string_view name);
// An SQL string literal in single quotes, its quotes doubled; CR and NUL, which the sqlite3
// shell would drop or cut, are joined in as char(13) and char(0).
void AppendSqlString(std::string& out, std::string_view text);

}  // namespace katalog::isamtool
