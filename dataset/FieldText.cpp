#include "dataset/FieldText.h"

#include "dataset/DatabaseError.h"
#include "platform/Locale.h"

namespace katalog {

const platform::TFormatSettings& UserSettings() {
  return platform::LocaleFormatSettings(platform::UserDefaultLocale());
}

void ConvertError(std::string_view pattern, std::string_view text) {
  throw EConvertError(FormatMessage(pattern, {text}));
}

std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args) {
  std::string out;
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() &&
        (pattern[i + 1] == 's' || pattern[i + 1] == 'd') && next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace katalog
