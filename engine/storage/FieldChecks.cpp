#include "engine/storage/FieldChecks.h"

#include <cstdint>
#include <string>

#include "platform/AsciiText.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

bool IntegerIn(std::string_view text, std::int64_t low, std::int64_t high) {
  std::int64_t value;
  return platform::TryStrToInt64(text, value) && value >= low && value <= high;
}

}  // namespace

bool IsAcceptableCheckText(const TFieldDescriptor& field, std::string_view text,
                           const platform::TFormatSettings& settings) {
  using namespace platform;
  std::int32_t day, ms;
  std::int64_t scaled;
  double number;
  TTimeStamp stamp;
  switch (field.FieldTypeCode) {
    case ft::kWord:
      return IntegerIn(text, 0, 65535);
    case ft::kSmallInt:
      return IntegerIn(text, -32768, 32767);
    case ft::kInteger:
      return IntegerIn(text, INT32_MIN, INT32_MAX);
    case ft::kFloat:
      return TryStrToFloat(text, number, settings);
    case ft::kBcd:
      // At the declared scale: a working descriptor being checked has no physical one yet.
      return TryStrToScaled(text, field.DeclaredScale > 18 ? 18 : field.DeclaredScale, scaled,
                            settings);
    case ft::kBoolean:
      return platform::EqualsIgnoringAsciiCase(text, "TRUE") ||
             platform::EqualsIgnoringAsciiCase(text, "FALSE");
    case ft::kDate:
      return platform::EqualsIgnoringAsciiCase(text, "DATE") || TryStrToDate(text, day, settings);
    case ft::kTime:
      return platform::EqualsIgnoringAsciiCase(text, "TIME") || TryStrToTime(text, ms, settings);
    case ft::kDateTime:
      return platform::EqualsIgnoringAsciiCase(text, "NOW") ||
             platform::EqualsIgnoringAsciiCase(text, "DATE") ||
             platform::EqualsIgnoringAsciiCase(text, "TIME") ||
             TryStrToDateTime(text, stamp, settings);
    default:
      return true;
  }
}

const platform::TFormatSettings& TableFormatSettings(std::uint32_t localeId) {
  const platform::TLocale* locale = localeId == 0 ? nullptr : platform::FindLocale(localeId);
  return locale ? platform::LocaleFormatSettings(*locale) : platform::NoLocaleFormatSettings();
}

}  // namespace katalog
