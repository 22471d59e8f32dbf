#include "dataset/StringField.h"

#include <cstring>
#include <vector>

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/EditMask.h"
#include "dataset/FieldText.h"
#include "platform/NumberFormat.h"
#include "platform/TextConversion.h"

namespace katalog {

using namespace platform;

namespace {
// The longest text a string field holds, and so the largest value it hands over.
constexpr int kMaxStringSize = 8192;
}  // namespace

TStringField::TStringField(TComponent* owner, TFieldType type) : TField(owner, type) {
  SetSize(20);
}

std::string TStringField::GetAsString() const {
  char buffer[kMaxStringSize + 1];
  if (!ReadValue(buffer)) return {};
  const std::string text(buffer, strnlen(buffer, static_cast<std::size_t>(DataSize())));
  return transliterate_ ? DataSet()->Translate(text, false) : text;
}

std::int64_t TStringField::GetAsInteger() const {
  if (IsBlank()) return 0;
  const std::string text = GetAsString();
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value)) ConvertError("'%s' is not a valid integer value", text);
  return value;
}

double TStringField::GetAsFloat() const {
  if (IsBlank()) return 0;
  const std::string text = GetAsString();
  double value = 0;
  if (!TryStrToFloat(text, value, UserSettings())) {
    ConvertError("'%s' is not a valid floating point value", text);
  }
  return value;
}

bool TStringField::GetAsBoolean() const {
  const std::string text = GetAsString();
  return !text.empty() && std::strchr("TtYy", text[0]) != nullptr;
}

double TStringField::GetAsDateTime() const {
  if (IsBlank()) return 0;
  const std::string text = GetAsString();
  TTimeStamp stamp{};
  if (!TryStrToDateTime(text, stamp, UserSettings())) {
    ConvertError("'%s' is not a valid date and time", text);
  }
  return TimeStampToDateTime(stamp);
}

std::int64_t TStringField::GetAsCurrency() const {
  if (IsBlank()) return 0;
  const std::string text = GetAsString();
  std::int64_t value = 0;
  if (!TryStrToCurr(text, value, UserSettings())) {
    ConvertError("'%s' is not a valid floating point value", text);
  }
  return value;
}

std::string TStringField::GetText(bool displayText) const {
  if (displayText && !editMask_.empty()) return FormatMaskText(editMask_, GetAsString());
  return GetAsString();
}

void TStringField::SetAsString(std::string_view value) {
  std::vector<char> buffer(static_cast<std::size_t>(DataSize()), '\0');
  const std::string text = transliterate_ ? DataSet()->Translate(value, true) : std::string(value);
  std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size() - 1));
  WriteValue(buffer.data());
}

void TStringField::SetAsInteger(std::int64_t value) {
  SetAsString(std::to_string(value));
}

void TStringField::SetAsFloat(double value) {
  SetAsString(FloatToStr(value, UserSettings()));
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "T" : "F");
}

void TStringField::SetAsDateTime(double value) {
  SetAsString(DateTimeToStr(DateTimeToTimeStamp(value), UserSettings()));
}

void TStringField::SetAsCurrency(std::int64_t value) {
  SetAsString(CurrToStr(value, UserSettings()));
}

TGuidField::TGuidField(TComponent* owner) : TStringField(owner, ftGuid) {
  // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
  SetSize(38);
  SetFixedChar(true);
}

}  // namespace katalog
