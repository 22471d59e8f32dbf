#include "tools/isamtool/ValueText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dataset/Field.h"
#include "dataset/FieldType.h"
#include "platform/AsciiText.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/IsoDateTime.h"
#include "platform/TextConversion.h"

namespace katalog::isamtool {

namespace {

using platform::kMsecsPerDay;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::int64_t ReadInteger(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw TValueError("'" + std::string(text) + "' is not an integer");
  }
  return value;
}

double ReadFloat(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range && end == digits.data() + digits.size()) {
    throw TValueError("'" + std::string(text) + "' is out of range");
  }
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw TValueError("'" + std::string(text) + "' is not a number");
  }
  return value;
}

// Number texts with '.' as the decimal point, whatever the locale.
const platform::TFormatSettings& PointSettings() {
  static const platform::TFormatSettings settings = [] {
    platform::TFormatSettings copy = platform::NoLocaleFormatSettings();
    copy.DecimalSeparator = '.';
    return copy;
  }();
  return settings;
}

// An optional sign, digits with at most one '.' (at least one digit), and an optional exponent:
// 'e' or 'E', an optional sign and digits.
bool IsDecimalText(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t digits = 0;
  bool point = false;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.' && !point) {
      point = true;
    } else if (IsDigit(text[i])) {
      ++digits;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  if (i == text.size()) return true;
  ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
  }
  return true;
}

// A decimal as a whole number of 10^-scale, rounded half away from zero. The digits are read
// exactly, also with an exponent: a double would lose those of amounts beyond 2^53.
std::int64_t ReadDecimal(std::string_view text, int scale) {
  const std::string quoted = "'" + std::string(text) + "'";
  if (!IsDecimalText(text)) throw TValueError(quoted + " is not a number");
  std::int64_t scaled = 0;
  if (!platform::TryStrToScaled(text, scale, scaled, PointSettings())) {
    throw TValueError(quoted + " is out of range");
  }
  return scaled;
}

template <class T>
T ReadNative(const TField& field) {
  std::array<unsigned char, 64> buffer{};
  field.ReadValue(buffer.data(), true);
  T value{};
  std::memcpy(&value, buffer.data(), sizeof value);
  return value;
}

template <class T>
void WriteNative(TField& field, T value) {
  std::array<unsigned char, 64> buffer{};
  std::memcpy(buffer.data(), &value, sizeof value);
  field.WriteValue(buffer.data(), true);
}

void CheckLength(std::string_view text, const TField& field, const char* unit) {
  if (text.size() > static_cast<std::size_t>(field.Size())) {
    throw TValueError("the value has " + std::to_string(text.size()) + " " + unit +
                      "; the field holds at most " + std::to_string(field.Size()));
  }
}

}  // namespace

std::string DecimalText(std::int64_t value, int scale) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? 0 - static_cast<std::uint64_t>(value)
                                               : static_cast<std::uint64_t>(value));
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale)) {
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, '.');
  }
  return negative ? "-" + digits : digits;
}

std::string DateTimeText(double native) {
  const std::int64_t total = std::isfinite(native) ? std::llround(native) : 0;
  const auto day = static_cast<std::int32_t>(total / kMsecsPerDay);
  return platform::IsoDateTimeToStr({day, static_cast<std::int32_t>(total % kMsecsPerDay)});
}

const char* const kValueFormatsHelp =
    "Values are written the same way whatever the locale:\n"
    "  string, memo, fmtmemo     the text itself (line breaks kept); trailing blanks of a string\n"
    "                            are not stored\n"
    "  smallint, integer, word,  decimal digits: 42, -7\n"
    "  autoinc\n"
    "  float, currency           '.' as the decimal point, an exponent allowed: 2.5, -1e-7; "
    "export\n"
    "                            writes the shortest text that reads back as the same value\n"
    "  bcd                       12.34; export writes all the field's decimals, import rounds to\n"
    "                            them\n"
    "  boolean                   true, false\n"
    "  date                      YYYY-MM-DD\n"
    "  time                      HH:MM:SS[.mmm] (the milliseconds only when not zero)\n"
    "  datetime                  YYYY-MM-DD HH:MM:SS[.mmm] (import also takes a date alone, or\n"
    "                            'T' between date and time)\n"
    "  bytes, varbytes, blob,    hexadecimal, two digits a byte: 0A1BFF\n"
    "  graphic, typedbinary\n"
    "An empty field is null; a table keeps empty text as null.\n";

TValueKind KindOf(const TField& field) {
  switch (field.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
      return TValueKind::Text;
    case ftMemo:
    case ftFmtMemo:
      return TValueKind::Memo;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
      return TValueKind::Integer;
    case ftAutoInc:
      return TValueKind::AutoInc;
    case ftFloat:
    case ftCurrency:
      return TValueKind::Float;
    case ftBCD:
      return TValueKind::Bcd;
    case ftBoolean:
      return TValueKind::Boolean;
    case ftDate:
      return TValueKind::Date;
    case ftTime:
      return TValueKind::Time;
    case ftDateTime:
      return TValueKind::DateTime;
    case ftBytes:
    case ftVarBytes:
      return TValueKind::Bytes;
    default:
      return IsBlobType(field.DataType()) && field.IsBlobField() ? TValueKind::Blob
                                                                 : TValueKind::Other;
  }
}

const char* KindName(TValueKind kind) {
  constexpr const char* kNames[] = {"string", "memo",    "integer", "autoincrement", "float",
                                    "bcd",    "boolean", "date",    "time",          "date-time",
                                    "bytes",  "blob",    "other"};
  return kNames[static_cast<int>(kind)];
}

std::optional<std::string> FieldValueText(const TField& field, TValueKind kind) {
  if (kind == TValueKind::Other || field.IsBlank()) return std::nullopt;
  switch (kind) {
    case TValueKind::Integer:
    case TValueKind::AutoInc:
      return std::to_string(field.ValueInteger());
    case TValueKind::Float:
      return FloatText(field.ValueFloat());
    case TValueKind::Bcd:
      return DecimalText(ReadNative<std::int64_t>(field), field.Size());
    case TValueKind::Boolean:
      return field.ValueBoolean() ? "true" : "false";
    case TValueKind::Date:
      return platform::IsoDateToStr(ReadNative<std::int32_t>(field));
    case TValueKind::Time:
      return platform::IsoTimeToStr(ReadNative<std::int32_t>(field));
    case TValueKind::DateTime:
      return DateTimeText(ReadNative<double>(field));
    default:
      return field.ValueString();
  }
}

void SetFieldValueText(TField& field, TValueKind kind, std::string_view text) {
  if (text.empty()) return field.Clear();
  const std::string quoted = "'" + std::string(text) + "'";
  std::int32_t day = 0, ms = 0;
  switch (kind) {
    case TValueKind::Text:
      if (text.find('\0') != std::string_view::npos) {
        throw TValueError("a text field cannot hold a zero byte");
      }
      CheckLength(text, field, "characters");
      return field.SetValueString(text);
    case TValueKind::Bytes: {
      CheckLength(text, field, "bytes");
      field.SetValueString(text);
      // Read back, so that a record layout holding fewer bytes than the field's size cannot
      // cut the value unnoticed; a fixed-size value comes back padded with zero bytes.
      std::string expected(text);
      if (field.DataType() == ftBytes)
        expected.resize(static_cast<std::size_t>(field.Size()), '\0');
      if (field.ValueString() != expected) {
        throw TValueError("the field cannot hold the value's " + std::to_string(text.size()) +
                          " bytes whole");
      }
      return;
    }
    case TValueKind::Memo:
    case TValueKind::Blob:
      return field.SetValueString(text);
    case TValueKind::Integer:
      return field.SetValueInteger(ReadInteger(text));
    case TValueKind::Float:
      return field.SetValueFloat(ReadFloat(text));
    case TValueKind::Bcd:
      return WriteNative(field, ReadDecimal(text, field.Size()));
    case TValueKind::Boolean:
      if (platform::EqualsIgnoringAsciiCase(text, "true")) return field.SetValueBoolean(true);
      if (platform::EqualsIgnoringAsciiCase(text, "false")) return field.SetValueBoolean(false);
      throw TValueError(quoted + " is not a boolean (true or false)");
    case TValueKind::Date:
      if (!platform::TryIsoStrToDate(text, day)) {
        throw TValueError(quoted + " is not a date (YYYY-MM-DD)");
      }
      return WriteNative(field, day);
    case TValueKind::Time:
      if (!platform::TryIsoStrToTime(text, ms)) {
        throw TValueError(quoted + " is not a time (HH:MM:SS[.mmm])");
      }
      return WriteNative(field, ms);
    case TValueKind::DateTime: {
      platform::TTimeStamp stamp{0, 0};
      if (!platform::TryIsoStrToDateTime(text, stamp)) {
        throw TValueError(quoted + " is not a date and time (YYYY-MM-DD HH:MM:SS[.mmm])");
      }
      return WriteNative(field, static_cast<double>(stamp.Date) * kMsecsPerDay + stamp.Time);
    }
    case TValueKind::AutoInc:
    case TValueKind::Other:
      break;
  }
  throw TValueError(std::string("a field of type ") + KindName(kind) + " cannot be written");
}

std::string FloatText(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace katalog::isamtool
