#include "engine/storage/RecordValues.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>
#include <variant>

#include "dataset/DatabaseError.h"
#include "engine/storage/FieldChecks.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

using platform::TFormatSettings;

constexpr double kMsecsPerDay = platform::kMsecsPerDay;

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

// Decimals of a BCD field's stored amount; scales beyond 18 (only in a damaged file) are taken as
// 18, the most a 64-bit amount holds.
int BcdScale(const TFieldDescriptor& field) {
  return field.PhysicalScale > 18 ? 18 : field.PhysicalScale;
}

// The value a default or limit text stands for, in the form the record stores for the type (a
// BCD value as its stored amount); monostate for types that take no such text. Raises the
// conversion error, also for a BCD value the field's stored amount cannot hold.
TFieldValue ValueOfText(const TFieldDescriptor& field, std::string_view text,
                        const TFormatSettings& settings) {
  using namespace platform;
  std::int64_t integer = 0;
  double number = 0;
  std::int32_t part = 0;
  TTimeStamp stamp{};
  switch (field.FieldTypeCode) {
    case ft::kString:
      return std::string(text);
    case ft::kBoolean:
      if (platform::EqualsIgnoringAsciiCase(text, "TRUE")) return true;
      if (platform::EqualsIgnoringAsciiCase(text, "FALSE")) return false;
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
      // Read at the field's own scale, rounded once: every digit the field holds is kept.
      if (TryStrToScaled(text, BcdScale(field), integer, settings)) return TBcdAmount{integer};
      break;
    case ft::kDate:
      if (platform::EqualsIgnoringAsciiCase(text, "DATE")) return std::int64_t{Today()};
      if (TryStrToDate(text, part, settings)) return std::int64_t{part};
      break;
    case ft::kTime:
      if (platform::EqualsIgnoringAsciiCase(text, "TIME")) return std::int64_t{CurrentTimeOfDay()};
      if (TryStrToTime(text, part, settings)) return std::int64_t{part};
      break;
    case ft::kDateTime:
      if (platform::EqualsIgnoringAsciiCase(text, "NOW"))
        return StoredDateTime(DateTimeToTimeStamp(Now()));
      if (platform::EqualsIgnoringAsciiCase(text, "DATE")) return StoredDateTime({Today(), 0});
      if (platform::EqualsIgnoringAsciiCase(text, "TIME"))
        return StoredDateTime({kDateDelta, CurrentTimeOfDay()});
      if (TryStrToDateTime(text, stamp, settings)) return StoredDateTime(stamp);
      break;
    default:
      return std::monostate{};
  }
  RaiseConversionError(field, text);
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
  if (const auto* amount = std::get_if<TBcdAmount>(&value)) {
    return ThreeWay(amount->Scaled, std::get<TBcdAmount>(limit).Scaled);
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
    const TFieldValue value = ValueOfText(field, field.DefaultValue, settings);
    if (std::holds_alternative<std::monostate>(value)) continue;
    if (!WriteField(fields, static_cast<int>(i + 1), value, record)) {
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
    const TFieldValue value = LoadFieldValue(field, record);
    if (std::holds_alternative<std::monostate>(value)) {
      if (field.RequiredFlag) RaiseIsamError(ie::kValueRequired, fileName_, field.Name);
      continue;
    }
    if (!HasLimits(field)) continue;
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
