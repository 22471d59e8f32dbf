#include "dataset/BooleanField.h"

#include <algorithm>

#include "dataset/DatabaseError.h"
#include "dataset/FieldText.h"
#include "platform/Locale.h"

namespace katalog {

namespace {
constexpr std::size_t kMaxText = 255;
}  // namespace

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}

int TBooleanField::DefaultWidth() const {
  return static_cast<int>(std::max(trueText_.size(), falseText_.size()));
}

void TBooleanField::SetDisplayValues(std::string values) {
  displayValues_ = std::move(values);
  if (displayValues_.empty()) {
    trueText_ = "True";
    falseText_ = "False";
    return;
  }
  const std::size_t separator = displayValues_.find(';');
  if (separator != std::string::npos) {
    trueText_ = displayValues_.substr(0, separator);
    falseText_ = displayValues_.substr(separator + 1, kMaxText);
  } else {
    trueText_ = displayValues_.substr(0, kMaxText);
    falseText_ = displayValues_.size() > kMaxText + 1 ? displayValues_.substr(kMaxText + 1) : "";
  }
}

bool TBooleanField::GetAsBoolean() const {
  std::int16_t native = 0;
  return ReadValue(&native) && native != 0;
}

std::string TBooleanField::GetAsString() const {
  std::int16_t native = 0;
  if (!ReadValue(&native)) return {};
  return native != 0 ? trueText_ : falseText_;
}

void TBooleanField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  auto same = [&](const std::string& text) {
    return !text.empty() &&
           platform::UserDefaultLocale().Compare(platform::kNormIgnoreCase, value, text) == 0;
  };
  if (same(trueText_)) return SetAsBoolean(true);
  if (same(falseText_)) return SetAsBoolean(false);
  DatabaseError(
      FormatMessage("'%s' is not a valid boolean value for field '%s'", {value, DisplayName()}));
}

void TBooleanField::SetAsBoolean(bool value) {
  const std::int16_t native = value ? 1 : 0;
  WriteValue(&native);
}

}  // namespace katalog
