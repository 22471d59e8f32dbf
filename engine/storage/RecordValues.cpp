#include "engine/storage/RecordValues.h"

#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>
#include <utility>
#include <variant>

#include "dataset/DatabaseError.h"
#include "engine/storage/FieldChecks.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

using platform::TFormatSettings;

constexpr double kMsecsPerDay = platform::kMsecsPerDay;

bool SameIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = (text[i] >= 'a' && text[i] <= 'z') ? static_cast<char>(text[i] - 32) : text[i];
    if (c != word[i]) return false;
  }
  return true;
}

// What a text of the type is called in the conversion error.
const char* KindName(std::uint8_t typeCode) {
  switch (typeCode) {
    case ft::kBoolean:
      return "boolean value";
    case ft::kDate:
      return "date";
    case ft::kTime:
      return "time";
    case ft::kDateTime:
      return "date and time";
    case ft::kFloat:
    case ft::kBcd:
      return "floating point value";
    default:
      return "integer value";
  }
}

[[noreturn]] void RaiseConversionError(const TFieldDescriptor& field, std::string_view text) {
  DatabaseError("'" + std::string(text) + "' is not a valid " + KindName(field.FieldTypeCode));
}

bool IsComputed(const TFieldDescriptor& field) {
  return !field.Expression.empty();
}

// A date-time as the record stores it: day number x 86 400 000 + milliseconds.
double StoredDateTime(platform::TTimeStamp stamp) {
  return static_cast<double>(stamp.Date) * kMsecsPerDay + stamp.Time;
}

// A currency value (scaled by 10 000) scaled to `scale` decimals instead, rounded half away from
// zero. False when it does not fit; `out` is then the nearest end of the range.
bool RescaleCurrency(std::int64_t scaledBy10000, int scale, std::int64_t& out) {
  constexpr int kCurrencyScale = 4;
  scale = scale > 18 ? 18 : scale;
  std::int64_t factor = 1;
  for (int i = kCurrencyScale; i < scale; ++i) factor *= 10;
  for (int i = scale; i < kCurrencyScale; ++i) factor *= 10;
  if (scale <= kCurrencyScale) {
    const std::int64_t quotient = scaledBy10000 / factor;
    const std::int64_t remainder = scaledBy10000 % factor;
    const bool up = 2 * (remainder < 0 ? -remainder : remainder) >= factor;
    out = up ? quotient + (scaledBy10000 < 0 ? -1 : 1) : quotient;
    return true;
  }
  if (__builtin_mul_overflow(scaledBy10000, factor, &out)) {
    out = scaledBy10000 < 0 ? std::numeric_limits<std::int64_t>::min()
                            : std::numeric_limits<std::int64_t>::max();
    return false;
  }
  return true;
}

// The value a default or limit text stands for, in the form the record stores for the type (a
// BCD value as its scaled integer); monostate for types that take no such text. Raises the
// conversion error. For BCD, `exact` tells whether the scaled value fits.
TFieldValue ValueOfText(const TFieldDescriptor& field, std::string_view text,
                        const TFormatSettings& settings, bool* exact = nullptr) {
  using namespace platform;
  std::int64_t integer = 0;
  double number = 0;
  std::int32_t part = 0;
  TTimeStamp stamp{};
  switch (field.FieldTypeCode) {
    case ft::kString:
      return std::string(text);
    case ft::kBoolean:
      if (SameIgnoringCase(text, "TRUE")) return true;
      if (SameIgnoringCase(text, "FALSE")) return false;
      break;
    case ft::kSmallInt:
    case ft::kInteger:
    case ft::kWord:
      if (TryStrToInt64(text, integer)) return integer;
      break;
    case ft::kFloat:
      if (TryStrToFloat(text, number, settings)) return number;
      break;
    case ft::kBcd:
      if (TryStrToCurr(text, integer, settings)) {
        std::int64_t scaled = 0;
        const bool fits = RescaleCurrency(integer, field.PhysicalScale, scaled);
        if (exact) *exact = fits;
        return scaled;
      }
      break;
    case ft::kDate:
      if (SameIgnoringCase(text, "DATE")) return std::int64_t{Today()};
      if (TryStrToDate(text, part, settings)) return std::int64_t{part};
      break;
    case ft::kTime:
      if (SameIgnoringCase(text, "TIME")) return std::int64_t{CurrentTimeOfDay()};
      if (TryStrToTime(text, part, settings)) return std::int64_t{part};
      break;
    case ft::kDateTime:
      if (SameIgnoringCase(text, "NOW")) return StoredDateTime(DateTimeToTimeStamp(Now()));
      if (SameIgnoringCase(text, "DATE")) return StoredDateTime({Today(), 0});
      if (SameIgnoringCase(text, "TIME")) return StoredDateTime({kDateDelta, CurrentTimeOfDay()});
      if (TryStrToDateTime(text, stamp, settings)) return StoredDateTime(stamp);
      break;
    default:
      return std::monostate{};
  }
  RaiseConversionError(field, text);
}

// A BCD field's stored scaled integer; the record codec would hand out a rounded double.
void StoreScaledBcd(const TFieldDescriptor& field, std::int64_t scaled, std::uint8_t* record) {
  std::uint8_t* flag = record + field.FieldOffset;
  std::memset(flag, 0, std::size_t{field.PhysicalSize} + 1);
  flag[0] = 1;
  StoreI64(flag + 1, scaled);
}

std::int64_t LoadScaledBcd(const TFieldDescriptor& field, const std::uint8_t* record) {
  return LoadI64(record + field.FieldOffset + 1);
}

template <class T>
int ThreeWay(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares a record value with a limit of the same kind; strings by the table's comparison.
int CompareWithLimit(const TFieldValue& value, const TFieldValue& limit,
                     const platform::TLocale* locale) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    const std::string& bound = std::get<std::string>(limit);
    if (locale) return locale->Compare(0, *text, bound);
    return ThreeWay(std::string_view(*text), std::string_view(bound));
  }
  if (const auto* integer = std::get_if<std::int64_t>(&value)) {
    return ThreeWay(*integer, std::get<std::int64_t>(limit));
  }
  return ThreeWay(std::get<double>(value), std::get<double>(limit));
}

bool HasLimits(const TFieldDescriptor& field) {
  switch (field.FieldTypeCode) {
    case ft::kString:
    case ft::kDate:
    case ft::kSmallInt:
    case ft::kInteger:
    case ft::kFloat:
    case ft::kBcd:
    case ft::kTime:
    case ft::kDateTime:
    case ft::kWord:
      return true;
    default:
      return false;
  }
}

}  // namespace

TRecordValues::TRecordValues(std::uint32_t localeId, std::string fileName)
    : localeId_(localeId), fileName_(std::move(fileName)) {}

const TFieldDescriptor& TRecordValues::FieldAt(const TFieldList& fields, int fieldNumber) const {
  if (fieldNumber < 1 || static_cast<std::size_t>(fieldNumber) > fields.size()) {
    RaiseIsamError(ie::kInvalidField, fileName_, std::to_string(fieldNumber));
  }
  return fields[static_cast<std::size_t>(fieldNumber) - 1];
}

TFieldValue TRecordValues::ReadField(const TFieldList& fields, int fieldNumber,
                                     const std::uint8_t* record) const {
  const TFieldDescriptor& field = FieldAt(fields, fieldNumber);
  if (IsComputed(field) && field.FieldOffset < kSlotHeaderSize) return std::monostate{};
  return LoadFieldValue(field, record);
}

bool TRecordValues::WriteField(const TFieldList& fields, int fieldNumber, const TFieldValue& value,
                               std::uint8_t* record) const {
  const TFieldDescriptor& field = FieldAt(fields, fieldNumber);
  if (IsComputed(field) || field.IsAutoIncrement()) return true;
  if (!StoreFieldValue(field, value, record)) return false;
  if (evaluator_) evaluator_(fields, record);
  return true;
}

bool TRecordValues::WriteComputedField(const TFieldList& fields, int fieldNumber,
                                       const TFieldValue& value, std::uint8_t* record) const {
  const TFieldDescriptor& field = FieldAt(fields, fieldNumber);
  if (!IsComputed(field) || field.FieldOffset < kSlotHeaderSize) return false;
  return StoreFieldValue(field, value, record);
}

void TRecordValues::BlankRecord(const TFieldList& fields, std::uint8_t* record,
                                std::size_t recordSize) const {
  std::memset(record, 0, recordSize);
  bool anyDefault = false;
  for (const TFieldDescriptor& field : fields)
    anyDefault = anyDefault || !field.DefaultValue.empty();
  if (!anyDefault) return;

  std::lock_guard<std::recursive_mutex> lock(FormatSettingsLock());
  const TFormatSettings& settings = TableFormatSettings(localeId_);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const TFieldDescriptor& field = fields[i];
    if (field.DefaultValue.empty() || IsComputed(field) || field.IsAutoIncrement()) continue;
    bool exact = true;
    const TFieldValue value = ValueOfText(field, field.DefaultValue, settings, &exact);
    if (std::holds_alternative<std::monostate>(value)) continue;
    if (field.FieldTypeCode == ft::kBcd) {
      if (!exact) RaiseConversionError(field, field.DefaultValue);
      StoreScaledBcd(field, std::get<std::int64_t>(value), record);
      if (evaluator_) evaluator_(fields, record);
    } else if (!WriteField(fields, static_cast<int>(i + 1), value, record)) {
      RaiseConversionError(field, field.DefaultValue);
    }
  }
}

void TRecordValues::CheckValidity(const TFieldList& fields, const std::uint8_t* record) const {
  std::lock_guard<std::recursive_mutex> lock(FormatSettingsLock());
  const TFormatSettings& settings = TableFormatSettings(localeId_);
  const platform::TLocale* locale = localeId_ == 0 ? nullptr : platform::FindLocale(localeId_);
  for (const TFieldDescriptor& field : fields) {
    if (IsComputed(field) || !field.HasValidityChecks()) continue;
    TFieldValue value = LoadFieldValue(field, record);
    if (std::holds_alternative<std::monostate>(value)) {
      if (field.RequiredFlag) RaiseIsamError(ie::kValueRequired, fileName_, field.Name);
      continue;
    }
    if (!HasLimits(field)) continue;
    if (field.FieldTypeCode == ft::kBcd) value = LoadScaledBcd(field, record);
    if (!field.MinValue.empty() &&
        CompareWithLimit(value, ValueOfText(field, field.MinValue, settings), locale) < 0) {
      RaiseIsamError(ie::kBelowMinimum, fileName_, field.Name);
    }
    if (!field.MaxValue.empty() &&
        CompareWithLimit(value, ValueOfText(field, field.MaxValue, settings), locale) > 0) {
      RaiseIsamError(ie::kAboveMaximum, fileName_, field.Name);
    }
  }
}

}  // namespace katalog
