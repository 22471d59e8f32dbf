#include "engine/components/FilterConstant.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dataset/Bcd.h"
#include "dataset/DatabaseError.h"
#include "platform/AsciiText.h"
#include "platform/FormatSettings.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void NotValid(std::string_view text, std::string_view what) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + std::string(what));
}

const platform::TFormatSettings& LocaleSettings() {
  return platform::LocaleFormatSettings(platform::UserDefaultLocale());
}

// The locale's settings with '.' as the decimal point, for unquoted number literals.
const platform::TFormatSettings& NumberSettings() {
  static const platform::TFormatSettings settings = [] {
    platform::TFormatSettings copy = LocaleSettings();
    copy.DecimalSeparator = '.';
    return copy;
  }();
  return settings;
}

const platform::TFormatSettings& SettingsFor(const TExprNode& constant) {
  return constant.UnquotedNumber ? NumberSettings() : LocaleSettings();
}

// A numeric constant (Locate's integers, booleans and floats) as a double.
double NumberOf(const TVariant& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
  return std::get<double>(value);
}

}  // namespace

[[noreturn]] void OutOfRange() {
  DatabaseError("Constant out of range");
}

// An integer constant within low..high. Text reads as a 32-bit integer first.
std::int64_t IntegerOf(const TExprNode& constant, std::int64_t low, std::int64_t high) {
  std::int64_t value = 0;
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    if (!platform::TryStrToInt64(*text, value) || value < kInt32Min || value > kInt32Max) {
      NotValid(*text, "integer value");
    }
  } else if (const auto* i = std::get_if<std::int64_t>(&constant.Value)) {
    value = *i;
  } else {
    const double number = std::round(NumberOf(constant.Value));
    if (!(number >= static_cast<double>(low) && number <= static_cast<double>(high))) OutOfRange();
    value = static_cast<std::int64_t>(number);
  }
  if (value < low || value > high) OutOfRange();
  return value;
}

double FloatOf(const TExprNode& constant) {
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    double value = 0;
    if (!platform::TryStrToFloat(*text, value, SettingsFor(constant))) {
      NotValid(*text, "floating point value");
    }
    return value;
  }
  return NumberOf(constant.Value);
}

// A BCD constant: the amount in units of 1/10 000, rounded half away from zero to `decimals`.
std::int64_t AmountOf(const TExprNode& constant, int decimals) {
  std::int64_t amount = 0;
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    if (!platform::TryStrToCurr(*text, amount, SettingsFor(constant))) {
      NotValid(*text, "floating point value");
    }
  } else if (const auto* i = std::get_if<std::int64_t>(&constant.Value)) {
    // Whole units exactly: a double holds no more than 2^53 of them.
    if (__builtin_mul_overflow(*i, std::int64_t{10000}, &amount)) OutOfRange();
  } else {
    const double scaled = std::round(NumberOf(constant.Value) * 10000.0);
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) OutOfRange();
    amount = static_cast<std::int64_t>(scaled);
  }
  // Through a BCD of the field's decimals, which rounds the digits beyond them.
  TBcd bcd{};
  if (!CurrToBcd(amount, bcd, kBcdMaxPrecision, std::clamp(decimals, 0, 4)) ||
      !BcdToCurr(bcd, amount)) {
    OutOfRange();
  }
  return amount;
}

bool BooleanOf(const TExprNode& constant) {
  const auto* text = std::get_if<std::string>(&constant.Value);
  if (!text) return NumberOf(constant.Value) != 0;
  std::int64_t number = 0;
  if (platform::TryStrToInt64(*text, number)) return number != 0;
  if (platform::EqualsIgnoringAsciiCase(*text, "TRUE")) return true;
  if (platform::EqualsIgnoringAsciiCase(*text, "FALSE")) return false;
  NotValid(*text, "boolean value");
}

// Dates, times and date-times: text in the short formats, numbers as day-based floating values.
platform::TTimeStamp StampOf(const TExprNode& constant, TFieldType type) {
  const auto* text = std::get_if<std::string>(&constant.Value);
  if (!text) return platform::DateTimeToTimeStamp(NumberOf(constant.Value));
  platform::TTimeStamp stamp{0, 0};
  const platform::TFormatSettings& settings = SettingsFor(constant);
  if (type == ftDate) {
    if (!platform::TryStrToDate(*text, stamp.Date, settings)) NotValid(*text, "date");
  } else if (type == ftTime) {
    if (!platform::TryStrToTime(*text, stamp.Time, settings)) NotValid(*text, "time");
  } else if (!platform::TryStrToDateTime(*text, stamp, settings)) {
    NotValid(*text, "date and time");
  }
  return stamp;
}

// The text a string field is compared with.
std::string TextOf(const TExprNode& constant) {
  const TVariant& value = constant.Value;
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
  return platform::FloatToStr(std::get<double>(value), LocaleSettings());
}

}  // namespace katalog
