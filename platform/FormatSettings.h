// The date, time, number and currency format settings of a locale, in the locale's code page.
//
// Format strings use the system's pattern letters: d dd ddd dddd (day, its short and long name),
// M MM MMM MMMM, yy yyyy, h hh (12-hour) H HH (24-hour), mm, ss, AMPM. CurrencyFormat places the
// currency string: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"; NegCurrFormat is the system's 0-15 code.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/Locale.h"

namespace katalog::platform {

struct TFormatSettings {
  std::string CurrencyString;
  std::uint8_t CurrencyFormat = 0;
  std::uint8_t NegCurrFormat = 0;
  char ThousandSeparator = ',';
  char DecimalSeparator = '.';
  std::uint8_t CurrencyDecimals = 2;
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat;
  std::string LongDateFormat;
  std::string TimeAMString;
  std::string TimePMString;
  std::string ShortTimeFormat;
  std::string LongTimeFormat;
  std::array<std::string, 12> ShortMonthNames;
  std::array<std::string, 12> LongMonthNames;
  std::array<std::string, 7> ShortDayNames;  // Sunday first
  std::array<std::string, 7> LongDayNames;
};

// The settings of a table without a locale: "$", "M/d/yyyy", "dddd, MMMM dd, yyyy", "AM", "PM",
// 12-hour times and the English month and day names.
const TFormatSettings& NoLocaleFormatSettings();

// The settings of a locale from the locale data. The user-default locale (Czech) has its formats
// fixed so that every machine shows and reads the same texts: "d.M.yyyy", "d. MMMM yyyy", "H:mm",
// "H:mm:ss", decimal comma, no-break space between thousands, "Kč" after the amount.
// The result is cached per locale.
const TFormatSettings& LocaleFormatSettings(const TLocale& locale);

}  // namespace katalog::platform
