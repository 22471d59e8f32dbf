// The text forms of field values that import and export share, independent of any locale:
//   text, memo          the characters (in the table's code page here; the callers convert)
//   integers            decimal digits with an optional '-'
//   float, currency     the shortest decimal that reads back as the same double, '.' as point
//   BCD                 the stored decimal exactly, with as many decimals as the field has
//   boolean             true / false
//   date                YYYY-MM-DD
//   time                HH:MM:SS, with .mmm when the milliseconds are not zero
//   date-time           YYYY-MM-DD HH:MM:SS[.mmm]
//   bytes, other blobs  the raw bytes here; the callers write them as hex or base64
// A null value has no text. Writing reads the same forms and refuses what does not fit the
// field rather than cutting it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace katalog {
class TField;
}

namespace katalog::isamtool {

enum class TValueKind {
  Text,     // ftString and its kin
  Memo,     // ftMemo, ftFmtMemo: text kept in the blob file
  Integer,  // ftSmallint, ftInteger, ftWord, ftLargeint
  AutoInc,  // the engine numbers it; never written
  Float,    // ftFloat, ftCurrency
  Bcd,
  Boolean,
  Date,
  Time,
  DateTime,
  Bytes,  // ftBytes, ftVarBytes
  Blob,   // ftBlob, ftGraphic, ftTypedBinary, ...
  Other,  // nothing isamtool reads or writes
};

TValueKind KindOf(const TField& field);
// "string", "memo", ...: the kind's name in messages.
const char* KindName(TValueKind kind);
// Text and memo: their text passes through the code-page conversion.
inline bool IsTextKind(TValueKind kind) {
  return kind == TValueKind::Text || kind == TValueKind::Memo;
}
// Bytes and blobs: raw bytes.
inline bool IsBinaryKind(TValueKind kind) {
  return kind == TValueKind::Bytes || kind == TValueKind::Blob;
}

// A value text that does not read, or a value that does not fit the field.
class TValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The current record's value of the field in the form above; none when it is null.
std::optional<std::string> FieldValueText(const TField& field, TValueKind kind);
// Stores a value given in the form above into the field of the record being edited; an empty
// text clears it. Raises TValueError for text that does not read, or the field's own error.
void SetFieldValueText(TField& field, TValueKind kind, std::string_view text);

// The help paragraph that describes these forms.
extern const char* const kValueFormatsHelp;

// A BCD amount (value x 10^scale) as its exact decimal, with `scale` decimals.
std::string DecimalText(std::int64_t scaled, int scale);
// A stored date-time (milliseconds since the start of day 0) as YYYY-MM-DD HH:MM:SS[.mmm].
std::string DateTimeText(double native);

// A double in the shortest text that reads back as the same value ("inf", "-inf", "nan" for
// those).
std::string FloatText(double value);

}  // namespace katalog::isamtool
