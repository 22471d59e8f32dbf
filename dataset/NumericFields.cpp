#include "dataset/NumericFields.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dataset/DatabaseError.h"
#include "dataset/FieldText.h"
#include "platform/NumberFormat.h"
#include "platform/TextConversion.h"

namespace katalog {

using namespace platform;

namespace {

std::string NumberText(double value) {
  return FloatToStr(value, UserSettings());
}

[[noreturn]] void RangeError(double value, double min, double max, const TField& field) {
  DatabaseError(
      FormatMessage("%s is not a valid value for field '%s'. The allowed range is %s to %s",
                    {NumberText(value), field.DisplayName(), NumberText(min), NumberText(max)}));
}

[[noreturn]] void InvalidValue(std::string_view pattern, std::string_view text,
                               const TField& field) {
  DatabaseError(FormatMessage(pattern, {text, field.DisplayName()}));
}

// Rounds to the nearest integer, halves to even; false when the result does not fit int64.
bool RoundToInt64(double value, std::int64_t& result) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -9223372036854775808.0 && rounded < 9223372036854775808.0)) return false;
  result = static_cast<std::int64_t>(rounded);
  return true;
}

// A currency value rounded to whole units, halves to even.
std::int64_t CurrencyToInteger(std::int64_t scaled) {
  std::int64_t units = scaled / 10000;
  const std::int64_t rest = scaled % 10000;
  const std::int64_t magnitude = rest < 0 ? -rest : rest;
  if (magnitude > 5000 || (magnitude == 5000 && units % 2 != 0)) units += rest < 0 ? -1 : 1;
  return units;
}

}  // namespace

// --- TNumericField ---

TNumericField::TNumericField(TComponent* owner, TFieldType type) : TField(owner, type) {
  SetAlignment(taRightJustify);
}

const std::string& TNumericField::FormatFor(bool displayText) const {
  return displayText || editFormat_.empty() ? displayFormat_ : editFormat_;
}

std::string TNumericField::IntegerText(std::int64_t value, bool displayText) const {
  const std::string& format = FormatFor(displayText);
  if (format.empty()) return std::to_string(value);
  return FormatFloat(format, static_cast<double>(value), UserSettings());
}

void TNumericField::CheckIntegerRange(std::int64_t value, std::int64_t minValue,
                                      std::int64_t maxValue, std::int64_t typeMin,
                                      std::int64_t typeMax) const {
  if (minValue == 0 && maxValue == 0) {
    minValue = typeMin;
    maxValue = typeMax;
  }
  // Limits wider than the type cannot let a value through that the type cannot hold.
  minValue = std::max(minValue, typeMin);
  maxValue = std::min(maxValue, typeMax);
  if (value < minValue || value > maxValue) {
    RangeError(static_cast<double>(value), static_cast<double>(minValue),
               static_cast<double>(maxValue), *this);
  }
}

std::int64_t TNumericField::IntegerOfText(std::string_view text) {
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value)) ConvertError("'%s' is not a valid integer value", text);
  return value;
}

// --- TIntegerField and its 16-bit kin ---

TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TNumericField(owner, type) {}

bool TIntegerField::ReadInteger(std::int64_t& value) const {
  std::int32_t native = 0;
  if (!ReadValue(&native)) return false;
  value = native;
  return true;
}

void TIntegerField::WriteInteger(std::int64_t value) {
  const auto native = static_cast<std::int32_t>(value);
  WriteValue(&native);
}

bool TSmallintField::ReadInteger(std::int64_t& value) const {
  std::int16_t native = 0;
  if (!ReadValue(&native)) return false;
  value = native;
  return true;
}

void TSmallintField::WriteInteger(std::int64_t value) {
  const auto native = static_cast<std::int16_t>(value);
  WriteValue(&native);
}

bool TWordField::ReadInteger(std::int64_t& value) const {
  std::uint16_t native = 0;
  if (!ReadValue(&native)) return false;
  value = native;
  return true;
}

void TWordField::WriteInteger(std::int64_t value) {
  const auto native = static_cast<std::uint16_t>(value);
  WriteValue(&native);
}

std::string TIntegerField::GetAsString() const {
  std::int64_t value = 0;
  return ReadInteger(value) ? std::to_string(value) : std::string();
}

std::int64_t TIntegerField::GetAsInteger() const {
  std::int64_t value = 0;
  ReadInteger(value);
  return value;
}

std::int64_t TIntegerField::GetAsCurrency() const {
  return GetAsInteger() * 10000;
}

std::string TIntegerField::GetText(bool displayText) const {
  std::int64_t value = 0;
  return ReadInteger(value) ? IntegerText(value, displayText) : std::string();
}

void TIntegerField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  std::int64_t number = 0;
  if (!TryStrToInt64(value, number)) {
    InvalidValue("'%s' is not a valid integer value for field '%s'", value, *this);
  }
  SetAsInteger(number);
}

void TIntegerField::SetAsInteger(std::int64_t value) {
  CheckIntegerRange(value, minValue_, maxValue_, TypeMin(), TypeMax());
  WriteInteger(value);
}

void TIntegerField::SetAsFloat(double value) {
  std::int64_t number = 0;
  if (!RoundToInt64(value, number)) RangeError(value, double(TypeMin()), double(TypeMax()), *this);
  SetAsInteger(number);
}

void TIntegerField::SetAsCurrency(std::int64_t value) {
  SetAsInteger(CurrencyToInteger(value));
}

// --- TLargeintField ---

std::string TLargeintField::GetAsString() const {
  std::int64_t value = 0;
  return ReadValue(&value) ? std::to_string(value) : std::string();
}

std::int64_t TLargeintField::GetAsInteger() const {
  std::int64_t value = 0;
  ReadValue(&value);
  return value;
}

std::string TLargeintField::GetText(bool displayText) const {
  std::int64_t value = 0;
  return ReadValue(&value) ? IntegerText(value, displayText) : std::string();
}

void TLargeintField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  std::int64_t number = 0;
  if (!TryStrToInt64(value, number)) {
    InvalidValue("'%s' is not a valid integer value for field '%s'", value, *this);
  }
  SetAsInteger(number);
}

void TLargeintField::SetAsInteger(std::int64_t value) {
  CheckIntegerRange(value, minValue_, maxValue_, INT64_MIN, INT64_MAX);
  WriteValue(&value);
}

// --- TFloatField, TCurrencyField ---

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TNumericField(owner, type) {}

TCurrencyField::TCurrencyField(TComponent* owner) : TFloatField(owner, ftCurrency) {
  SetCurrency(true);
}

void TFloatField::SetPrecision(int value) {
  precision_ = value < 2 ? 2 : value > 15 ? 15 : value;
}

double TFloatField::GetAsFloat() const {
  double value = 0;
  ReadValue(&value);
  return value;
}

std::string TFloatField::GetAsString() const {
  double value = 0;
  return ReadValue(&value) ? FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, UserSettings())
                           : std::string();
}

std::int64_t TFloatField::GetAsInteger() const {
  const double value = GetAsFloat();
  std::int64_t number = 0;
  if (!RoundToInt64(value, number))
    ConvertError("'%s' is not a valid integer value", NumberText(value));
  return number;
}

std::int64_t TFloatField::GetAsCurrency() const {
  const double value = GetAsFloat();
  std::int64_t scaled = 0;
  if (!RoundToInt64(value * 1e4, scaled)) {
    ConvertError("'%s' is not a valid floating point value", NumberText(value));
  }
  return scaled;
}

std::string TFloatField::GetText(bool displayText) const {
  double value = 0;
  if (!ReadValue(&value)) return {};
  const TFormatSettings& settings = UserSettings();
  const std::string& format = FormatFor(displayText);
  if (!format.empty()) return FormatFloat(format, value, settings);
  if (currency_) {
    return FloatToStrF(value, displayText ? TFloatFormat::ffCurrency : TFloatFormat::ffFixed,
                       precision_, settings.CurrencyDecimals, settings);
  }
  return FloatToStrF(value, TFloatFormat::ffGeneral, precision_, 0, settings);
}

void TFloatField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  double number = 0;
  if (!TryStrToFloat(value, number, UserSettings())) {
    InvalidValue("'%s' is not a valid floating point value for field '%s'", value, *this);
  }
  SetAsFloat(number);
}

void TFloatField::SetAsFloat(double value) {
  if ((minValue_ != 0 || maxValue_ != 0) && (value < minValue_ || value > maxValue_)) {
    RangeError(value, minValue_, maxValue_, *this);
  }
  WriteValue(&value);
}

// --- TBCDField ---

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner, ftBCD) {
  SetSize(4);
}

std::int64_t TBCDField::GetAsCurrency() const {
  std::int64_t value = 0;
  ReadValue(&value, false);
  return value;
}

std::string TBCDField::GetAsString() const {
  std::int64_t value = 0;
  return ReadValue(&value, false) ? CurrToStr(value, UserSettings()) : std::string();
}

std::int64_t TBCDField::GetAsInteger() const {
  return CurrencyToInteger(GetAsCurrency());
}

std::string TBCDField::GetText(bool displayText) const {
  try {
    std::int64_t value = 0;
    if (!ReadValue(&value, false)) return {};
    const TFormatSettings& settings = UserSettings();
    const std::string& format = FormatFor(displayText);
    if (!format.empty()) return FormatCurr(format, value, settings);
    if (currency_) {
      return CurrToStrF(value, displayText ? TFloatFormat::ffCurrency : TFloatFormat::ffFixed,
                        settings.CurrencyDecimals, settings);
    }
    return CurrToStr(value, settings);
  } catch (const std::exception&) {
    return "(Overflow)";
  }
}

void TBCDField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  std::int64_t scaled = 0;
  if (!TryStrToCurr(value, scaled, UserSettings())) {
    InvalidValue("'%s' is not a valid floating point value for field '%s'", value, *this);
  }
  SetAsCurrency(scaled);
}

void TBCDField::SetAsInteger(std::int64_t value) {
  if (value > INT64_MAX / 10000 || value < INT64_MIN / 10000) {
    RangeError(static_cast<double>(value), static_cast<double>(INT64_MIN / 10000),
               static_cast<double>(INT64_MAX / 10000), *this);
  }
  SetAsCurrency(value * 10000);
}

void TBCDField::SetAsFloat(double value) {
  std::int64_t scaled = 0;
  if (!RoundToInt64(value * 1e4, scaled)) {
    RangeError(value, static_cast<double>(INT64_MIN) / 1e4, static_cast<double>(INT64_MAX) / 1e4,
               *this);
  }
  SetAsCurrency(scaled);
}

void TBCDField::SetAsCurrency(std::int64_t value) {
  if ((minValue_ != 0 || maxValue_ != 0) && (value < minValue_ || value > maxValue_)) {
    RangeError(static_cast<double>(value) / 1e4, static_cast<double>(minValue_) / 1e4,
               static_cast<double>(maxValue_) / 1e4, *this);
  }
  WriteValue(&value, false);
}

}  // namespace katalog
