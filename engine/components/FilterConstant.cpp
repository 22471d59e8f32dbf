#include "engine/components/FilterConstant.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dataset/Bcd.h"
#include "engine/components/FilterError.h"
#include "platform/AsciiText.h"
#include "platform/FormatSettings.h"
#include "platform/IsoDateTime.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void NotValid(const TExprNode& constant, std::string_view text,
                           std::string_view what) {
  FilterConvertError("'" + std::string(text) + "' is not a valid " + std::string(what),
                     constant.Position);
}

[[noreturn]] void OutOfRange(const TExprNode& constant) {
  FilterError("Constant out of range", constant.Position);
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

const platform::TFormatSettings& SettingsFor(const TExprNode& constant, TConstantForms forms) {
  return constant.UnquotedNumber || forms == TConstantForms::Iso ? NumberSettings()
                                                                 : LocaleSettings();
}

// A date, time or date-time text by the field's type; false when it does not read.
bool ReadStamp(const TExprNode& constant, std::string_view text, TFieldType type,
               TConstantForms forms, platform::TTimeStamp& stamp) {
  if (forms == TConstantForms::Iso) {
    if (type == ftDate) return platform::TryIsoStrToDate(text, stamp.Date);
    if (type == ftTime) return platform::TryIsoStrToTime(text, stamp.Time);
    return platform::TryIsoStrToDateTime(text, stamp);
  }
  const platform::TFormatSettings& settings = SettingsFor(constant, forms);
  if (type == ftDate) return platform::TryStrToDate(text, stamp.Date, settings);
  if (type == ftTime) return platform::TryStrToTime(text, stamp.Time, settings);
  return platform::TryStrToDateTime(text, stamp, settings);
}

// A numeric constant (Locate's integers, booleans and floats) as a double.
double NumberOf(const TVariant& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return static_cast<double>(*i);
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
  return std::get<double>(value);
}

}  // namespace

// An integer constant within low..high. Text reads as a 32-bit integer first.
std::int64_t IntegerOf(const TExprNode& constant, std::int64_t low, std::int64_t high) {
  std::int64_t value = 0;
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    if (!platform::TryStrToInt64(*text, value) || value < kInt32Min || value > kInt32Max) {
      NotValid(constant, *text, "integer value");
    }
  } else if (const auto* i = std::get_if<std::int64_t>(&constant.Value)) {
    value = *i;
  } else {
    const double number = std::round(NumberOf(constant.Value));
    if (!(number >= static_cast<double>(low) && number <= static_cast<double>(high))) {
      OutOfRange(constant);
    }
    value = static_cast<std::int64_t>(number);
  }
  if (value < low || value > high) OutOfRange(constant);
  return value;
}

double FloatOf(const TExprNode& constant, TConstantForms forms) {
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    double value = 0;
    if (!platform::TryStrToFloat(*text, value, SettingsFor(constant, forms))) {
      NotValid(constant, *text, "floating point value");
    }
    return value;
  }
  return NumberOf(constant.Value);
}

// A BCD constant: the amount in units of 1/10 000, rounded half away from zero to `decimals`.
std::int64_t AmountOf(const TExprNode& constant, int decimals, TConstantForms forms) {
  std::int64_t amount = 0;
  if (const auto* text = std::get_if<std::string>(&constant.Value)) {
    if (!platform::TryStrToCurr(*text, amount, SettingsFor(constant, forms))) {
      NotValid(constant, *text, "floating point value");
    }
  } else if (const auto* i = std::get_if<std::int64_t>(&constant.Value)) {
    // Whole units exactly: a double holds no more than 2^53 of them.
    if (__builtin_mul_overflow(*i, std::int64_t{10000}, &amount)) OutOfRange(constant);
  } else {
    const double scaled = std::round(NumberOf(constant.Value) * 10000.0);
    if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
      OutOfRange(constant);
    }
    amount = static_cast<std::int64_t>(scaled);
  }
  // Through a BCD of the field's decimals, which rounds the digits beyond them.
  TBcd bcd{};
  if (!CurrToBcd(amount, bcd, kBcdMaxPrecision, std::clamp(decimals, 0, 4)) ||
      !BcdToCurr(bcd, amount)) {
    OutOfRange(constant);
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
  NotValid(constant, *text, "boolean value");
}

// Dates, times and date-times: text in the constant forms, numbers as day-based floating values.
platform::TTimeStamp StampOf(const TExprNode& constant, TFieldType type, TConstantForms forms) {
  const auto* text = std::get_if<std::string>(&constant.Value);
  if (!text) return platform::DateTimeToTimeStamp(NumberOf(constant.Value));
  platform::TTimeStamp stamp{0, 0};
  if (!ReadStamp(constant, *text, type, forms, stamp)) {
    NotValid(constant, *text, type == ftDate ? "date" : type == ftTime ? "time" : "date and time");
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
