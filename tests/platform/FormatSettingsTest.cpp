#include "platform/FormatSettings.h"

#include <gtest/gtest.h>

namespace katalog::platform {
namespace {

std::string Cs(std::u16string_view text) {
  return CodePage(1250).FromUtf16(text);
}

TEST(FormatSettingsTest, CzechIsFixed) {
  const TFormatSettings& s = LocaleFormatSettings(UserDefaultLocale());
  EXPECT_EQ(s.ShortDateFormat, "d.M.yyyy");
  EXPECT_EQ(s.LongDateFormat, "d. MMMM yyyy");
  EXPECT_EQ(s.ShortTimeFormat, "H:mm");
  EXPECT_EQ(s.LongTimeFormat, "H:mm:ss");
  EXPECT_EQ(s.DateSeparator, '.');
  EXPECT_EQ(s.TimeSeparator, ':');
  EXPECT_EQ(s.DecimalSeparator, ',');
  EXPECT_EQ(s.ThousandSeparator, '\xA0');
  EXPECT_EQ(s.CurrencyString, Cs(u"Kč"));
  EXPECT_EQ(s.CurrencyFormat, 3);
  EXPECT_EQ(s.CurrencyDecimals, 2);
  EXPECT_EQ(s.LongMonthNames[0], Cs(u"leden"));
  EXPECT_EQ(s.LongMonthNames[11], Cs(u"prosinec"));
  EXPECT_EQ(s.LongDayNames[0], Cs(u"neděle"));
  EXPECT_EQ(s.LongDayNames[1], Cs(u"pondělí"));
  EXPECT_EQ(s.ShortDayNames[2], Cs(u"út"));
}

TEST(FormatSettingsTest, NoLocaleDefaults) {
  const TFormatSettings& s = NoLocaleFormatSettings();
  EXPECT_EQ(s.CurrencyString, "$");
  EXPECT_EQ(s.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(s.LongDateFormat, "dddd, MMMM dd, yyyy");
  EXPECT_EQ(s.TimeAMString, "AM");
  EXPECT_EQ(s.TimePMString, "PM");
  EXPECT_EQ(s.ShortMonthNames[0], "Jan");
  EXPECT_EQ(s.LongMonthNames[8], "September");
  EXPECT_EQ(s.ShortDayNames[0], "Sun");
  EXPECT_EQ(s.LongDayNames[6], "Saturday");
}

TEST(FormatSettingsTest, OtherLocalesComeFromLocaleData) {
  const TFormatSettings& us = LocaleFormatSettings(*FindLocale(0x0409));
  EXPECT_EQ(us.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(us.ShortTimeFormat, "h:mm AMPM");
  EXPECT_EQ(us.LongTimeFormat, "h:mm:ss AMPM");
  EXPECT_EQ(us.DecimalSeparator, '.');
  EXPECT_EQ(us.CurrencyString, "$");
  EXPECT_EQ(us.CurrencyFormat, 0);

  const TFormatSettings& de = LocaleFormatSettings(*FindLocale(0x0407));
  EXPECT_EQ(de.DateSeparator, '.');
  EXPECT_EQ(de.DecimalSeparator, ',');
  EXPECT_EQ(de.ShortTimeFormat, "HH:mm");
  EXPECT_EQ(de.CurrencyString, "\x80");  // the euro sign of code page 1252
  EXPECT_EQ(de.CurrencyFormat, 3);
  EXPECT_EQ(de.LongMonthNames[2], "M\xE4rz");
  // Year patterns always carry four digits.
  EXPECT_NE(de.ShortDateFormat.find("yyyy"), std::string::npos);

  // Russian names arrive in code page 1251.
  const TFormatSettings& ru = LocaleFormatSettings(*FindLocale(0x0419));
  EXPECT_EQ(ru.LongMonthNames[0], CodePage(1251).FromUtf16(u"январь"));
}

}  // namespace
}  // namespace katalog::platform
