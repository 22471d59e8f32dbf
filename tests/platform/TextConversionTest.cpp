#include "platform/TextConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "platform/CodePage.h"

namespace katalog::platform {
namespace {

const TFormatSettings& Czech() {
  return LocaleFormatSettings(UserDefaultLocale());
}

const TFormatSettings& NoLocale() {
  return NoLocaleFormatSettings();
}

std::string Cs(std::u16string_view text) {
  return CodePage(1250).FromUtf16(text);
}

std::int32_t Day(int year, int month, int day) {
  std::int32_t n = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, n));
  return n;
}

int CurrentYear() {
  int year = 0, month = 0, day = 0;
  DecodeDate(Today(), year, month, day);
  return year;
}

std::optional<std::int64_t> Int(std::string_view text) {
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v)) return std::nullopt;
  return v;
}

std::optional<double> Float(std::string_view text, const TFormatSettings& s) {
  double v = 0;
  if (!TryStrToFloat(text, v, s)) return std::nullopt;
  return v;
}

std::optional<std::int64_t> Curr(std::string_view text, const TFormatSettings& s) {
  std::int64_t v = 0;
  if (!TryStrToCurr(text, v, s)) return std::nullopt;
  return v;
}

std::optional<std::int32_t> Date(std::string_view text, const TFormatSettings& s) {
  std::int32_t v = 0;
  if (!TryStrToDate(text, v, s)) return std::nullopt;
  return v;
}

std::optional<std::int32_t> Time(std::string_view text, const TFormatSettings& s) {
  std::int32_t v = 0;
  if (!TryStrToTime(text, v, s)) return std::nullopt;
  return v;
}

std::int32_t Ms(int h, int m, int s = 0, int ms = 0) {
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

TEST(TextConversionIntTest, Decimal) {
  EXPECT_EQ(Int("0"), 0);
  EXPECT_EQ(Int("  42"), 42);
  EXPECT_EQ(Int("+7"), 7);
  EXPECT_EQ(Int("-007"), -7);
  EXPECT_EQ(Int("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Int("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(TextConversionIntTest, Hexadecimal) {
  EXPECT_EQ(Int("$ff"), 255);
  EXPECT_EQ(Int("0x1F"), 31);
  EXPECT_EQ(Int("0X10"), 16);
  EXPECT_EQ(Int(" -$10"), -16);
  EXPECT_EQ(Int("$7FFFFFFFFFFFFFFF"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Int("-$8000000000000000"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Int("$FFFFFFFFFFFFFFFF"), std::nullopt);
  EXPECT_EQ(Int("$"), std::nullopt);
  EXPECT_EQ(Int("0x"), std::nullopt);
  EXPECT_EQ(Int("$fg"), std::nullopt);
}

TEST(TextConversionIntTest, RefusesBadText) {
  for (const char* text :
       {"", " ", "-", "+", "1 ", "1x", "12a", "1.0", "1,0", "--1", "+-1", "9223372036854775808",
        "-9223372036854775809", "99999999999999999999999", "ff", "1e3"}) {
    EXPECT_EQ(Int(text), std::nullopt) << text;
  }
}

TEST(TextConversionFloatTest, CzechUsesTheDecimalComma) {
  EXPECT_EQ(Float("2,5", Czech()), 2.5);
  EXPECT_EQ(Float(" -2,5 ", Czech()), -2.5);
  EXPECT_EQ(Float(",5", Czech()), 0.5);
  EXPECT_EQ(Float("5,", Czech()), 5.0);
  EXPECT_EQ(Float("1,5E3", Czech()), 1500.0);
  EXPECT_EQ(Float("25e-1", Czech()), 2.5);
  EXPECT_EQ(Float("2.5", Czech()), std::nullopt);
  EXPECT_EQ(Float("1\xA0"
                  "000",
                  Czech()),
            std::nullopt);
}

TEST(TextConversionFloatTest, NoLocaleUsesThePoint) {
  EXPECT_EQ(Float("2.5", NoLocale()), 2.5);
  EXPECT_EQ(Float("0.1", NoLocale()), 0.1);
  EXPECT_EQ(Float("+1E+2", NoLocale()), 100.0);
  EXPECT_EQ(Float("2,5", NoLocale()), std::nullopt);
  EXPECT_EQ(Float("1,000", NoLocale()), std::nullopt);
  EXPECT_EQ(Float("1.7976931348623157e308", NoLocale()), std::numeric_limits<double>::max());
  EXPECT_EQ(Float("0.000000000000000000000000000001e30", NoLocale()), 1.0);
}

TEST(TextConversionFloatTest, RefusesBadText) {
  for (const char* text : {"", " ", ".", "-", "e5", "1e", "1e+", "1.2.3", "INF", "inf", "NAN",
                           "nan", "1 2", "0x10", "1e400", "-1e400", "1e-400", "1d5", "--1"}) {
    EXPECT_EQ(Float(text, NoLocale()), std::nullopt) << text;
  }
  EXPECT_EQ(Float("1e99999999999999999999999", NoLocale()), std::nullopt);
  EXPECT_EQ(Float(std::string(5000, '9'), NoLocale()), std::nullopt);
}

TEST(TextConversionCurrTest, ReadsDigitsExactly) {
  EXPECT_EQ(Curr("12,3456", Czech()), 123456);
  EXPECT_EQ(Curr("-12,3456", Czech()), -123456);
  EXPECT_EQ(Curr("0,1", Czech()), 1000);
  EXPECT_EQ(Curr("1,15", Czech()), 11500);
  EXPECT_EQ(Curr("12", Czech()), 120000);
  EXPECT_EQ(Curr("1,5E2", Czech()), 1500000);
  EXPECT_EQ(Curr("12345E-4", Czech()), 12345);
  EXPECT_EQ(Curr("0", Czech()), 0);
  EXPECT_EQ(Curr("12.5", Czech()), std::nullopt);
}

TEST(TextConversionCurrTest, RoundsHalfAwayFromZero) {
  EXPECT_EQ(Curr("0,00005", Czech()), 1);
  EXPECT_EQ(Curr("-0,00005", Czech()), -1);
  EXPECT_EQ(Curr("0,000049999", Czech()), 0);
  EXPECT_EQ(Curr("0,00015", Czech()), 2);
  EXPECT_EQ(Curr("2,00025", Czech()), 20003);
  EXPECT_EQ(Curr("0,0000000009", Czech()), 0);
  EXPECT_EQ(Curr("9,99995", Czech()), 100000);
}

TEST(TextConversionCurrTest, RangeOfInt64) {
  EXPECT_EQ(Curr("922337203685477.5807", NoLocale()), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Curr("-922337203685477,5808", Czech()), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Curr("922337203685477,5808", Czech()), std::nullopt);
  EXPECT_EQ(Curr("922337203685477,58074", Czech()), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Curr("922337203685477,58075", Czech()), std::nullopt);
  EXPECT_EQ(Curr("1E15", Czech()), std::nullopt);
  EXPECT_EQ(Curr("1E99999999999999999999", Czech()), std::nullopt);
  EXPECT_EQ(Curr("1E-99999999999999999999", Czech()), 0);
  EXPECT_EQ(Curr("", Czech()), std::nullopt);
  EXPECT_EQ(Curr(Cs(u"1 Kč"), Czech()), std::nullopt);
}

// Any number of decimals from 0 to 18, read as exactly as the currency form, one rounding.
TEST(TextConversionScaledTest, ReadsAtTheGivenScale) {
  struct TCase {
    const char* Text;
    int Scale;
    std::optional<std::int64_t> Scaled;
  };
  const TCase cases[] = {
      {"12,345", 2, 1235},
      {"-12,345", 2, -1235},
      {"12,34449", 2, 1234},  // once: not 12,3445 first
      {"0,123456", 6, 123456},
      {"90071992547409,93", 2, 9007199254740993},
      {"9,007199254740993E13", 2, 9007199254740993},
      {"9223372036854775807", 0, std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", 0, std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", 0, std::nullopt},
      {"-9,223372036854775808", 18, std::numeric_limits<std::int64_t>::min()},
      {"0,0000000000000000015", 18, 2},
      {"10", 18, std::nullopt},
      {"0,5", 0, 1},
      {"0,05", 0, 0},
      {"1", 19, std::nullopt},
      {"1", -1, std::nullopt},
      {"x", 2, std::nullopt},
  };
  for (const TCase& c : cases) {
    std::int64_t scaled = 7;
    const bool read = TryStrToScaled(c.Text, c.Scale, scaled, Czech());
    EXPECT_EQ(read ? std::optional<std::int64_t>(scaled) : std::nullopt, c.Scaled)
        << c.Text << " at " << c.Scale;
    if (!read) {
      EXPECT_EQ(scaled, 7) << c.Text;
    }
  }
}

TEST(TextConversionDateTest, CzechDayMonthYear) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(Date("8.12.2026", cz), Day(2026, 12, 8));
  EXPECT_EQ(Date("8. 12. 2026", cz), Day(2026, 12, 8));
  EXPECT_EQ(Date(" 08 .12 .2026. ", cz), Day(2026, 12, 8));
  EXPECT_EQ(Date("8.12.", cz), Day(CurrentYear(), 12, 8));
  EXPECT_EQ(Date("8.12", cz), Day(CurrentYear(), 12, 8));
  EXPECT_EQ(Date("29.2.2024", cz), Day(2024, 2, 29));
  EXPECT_EQ(Date("29.2.2023", cz), std::nullopt);
  EXPECT_EQ(Date("29.2.1900", cz), std::nullopt);
  EXPECT_EQ(Date("29.2.2000", cz), Day(2000, 2, 29));
  EXPECT_EQ(Date("31.2.2026", cz), std::nullopt);
  EXPECT_EQ(Date("1.1.0001", cz), 1);
  EXPECT_EQ(Date("31.12.9999", cz), kMaxDayNumber);
  EXPECT_EQ(Date("1.1.0000", cz), std::nullopt);
}

TEST(TextConversionDateTest, NoLocaleMonthDayYear) {
  EXPECT_EQ(Date("12/8/2026", NoLocale()), Day(2026, 12, 8));
  EXPECT_EQ(Date("12/08", NoLocale()), Day(CurrentYear(), 12, 8));
  EXPECT_EQ(Date("13/8/2026", NoLocale()), std::nullopt);
  EXPECT_EQ(Date("12.8.2026", NoLocale()), std::nullopt);  // only the settings' separator
}

TEST(TextConversionDateTest, YearFirstAndBlankSeparator) {
  TFormatSettings iso = NoLocale();
  iso.ShortDateFormat = "yyyy-MM-dd";
  iso.DateSeparator = '-';
  EXPECT_EQ(Date("2026-12-08", iso), Day(2026, 12, 8));
  EXPECT_EQ(Date("12-08", iso), Day(CurrentYear(), 12, 8));  // month and day still in order
  TFormatSettings blank = Czech();
  blank.ShortDateFormat = "d M yyyy";
  blank.DateSeparator = ' ';
  EXPECT_EQ(Date("8 12  2026", blank), Day(2026, 12, 8));
  EXPECT_EQ(Date("8.12.2026", blank), std::nullopt);
}

TEST(TextConversionDateTest, TwoDigitYears) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(Date("1.1.00", cz), Day(2000, 1, 1));
  EXPECT_EQ(Date("1.1.5", cz), Day(2005, 1, 1));
  EXPECT_EQ(Date("1.1.49", cz), Day(2049, 1, 1));
  EXPECT_EQ(Date("1.1.50", cz), Day(1950, 1, 1));
  EXPECT_EQ(Date("1.1.99", cz), Day(1999, 1, 1));
  EXPECT_EQ(Date("1.1.099", cz), Day(99, 1, 1));  // three digits are taken as written
  EXPECT_EQ(Date("1.1.0099", cz), Day(99, 1, 1));
  EXPECT_EQ(Date("29.2.00", cz), Day(2000, 2, 29));
}

TEST(TextConversionDateTest, RefusesBadText) {
  for (const char* text : {"",
                           " ",
                           "8",
                           "8.",
                           ".8.12",
                           "8..12",
                           "8.12.2026.1",
                           "8.12.20261",
                           "008.12.2026",
                           "8.012.2026",
                           "0.12.2026",
                           "8.0.2026",
                           "8.13.2026",
                           "a.12.2026",
                           "8.12.2026x",
                           "8,12,2026",
                           "8.12.2026 7:05",
                           "prosinec",
                           "8. prosince 2026",
                           "-8.12.2026"}) {
    EXPECT_EQ(Date(text, Czech()), std::nullopt) << text;
  }
}

TEST(TextConversionTimeTest, TwentyFourHours) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(Time("7:05", cz), Ms(7, 5));
  EXPECT_EQ(Time("7", cz), Ms(7, 0));
  EXPECT_EQ(Time(" 23:59:59 ", cz), Ms(23, 59, 59));
  EXPECT_EQ(Time("0:00", cz), 0);
  EXPECT_EQ(Time("12:30:15,250", cz), Ms(12, 30, 15, 250));
  EXPECT_EQ(Time("12:30:15.5", cz), Ms(12, 30, 15, 500));
  EXPECT_EQ(Time("12:30:15,05", cz), Ms(12, 30, 15, 50));
  for (const char* text : {"24:00", "7:60", "7:05:60", "7:", "7:05:", "7:05:00,", "7:05:00,1234",
                           "123", "7.05", "-1:00", "", "7:05 xx", "13:00 PM", "0:30 AM"}) {
    EXPECT_EQ(Time(text, cz), std::nullopt) << text;
  }
}

TEST(TextConversionTimeTest, DayPeriods) {
  const TFormatSettings& en = NoLocale();
  EXPECT_EQ(Time("7:05", en), Ms(7, 5));
  EXPECT_EQ(Time("7:05 PM", en), Ms(19, 5));
  EXPECT_EQ(Time("7:05pm", en), Ms(19, 5));
  EXPECT_EQ(Time("7:05 am ", en), Ms(7, 5));
  EXPECT_EQ(Time("12:00 AM", en), 0);
  EXPECT_EQ(Time("12:00 PM", en), Ms(12, 0));
  EXPECT_EQ(Time("12:59:59 AM", en), Ms(0, 59, 59));
  EXPECT_EQ(Time("0:30 PM", en), std::nullopt);
  EXPECT_EQ(Time("PM", en), std::nullopt);
  TFormatSettings cz = Czech();
  cz.TimeAMString = Cs(u"dop.");
  cz.TimePMString = Cs(u"odp.");
  EXPECT_EQ(Time("3:00 ODP.", cz), Ms(15, 0));
  EXPECT_EQ(Time("3:00 PM", cz), Ms(15, 0));
  EXPECT_EQ(Time("3:00 dop.", cz), Ms(3, 0));
}

TEST(TextConversionDateTimeTest, DateTimeOrEither) {
  const TFormatSettings& cz = Czech();
  TTimeStamp t{0, 0};
  ASSERT_TRUE(TryStrToDateTime("8.12.2026 7:05", t, cz));
  EXPECT_EQ(t.Date, Day(2026, 12, 8));
  EXPECT_EQ(t.Time, Ms(7, 5));
  ASSERT_TRUE(TryStrToDateTime(" 8. 12. 2026   23:59:59 ", t, cz));
  EXPECT_EQ(t.Date, Day(2026, 12, 8));
  EXPECT_EQ(t.Time, Ms(23, 59, 59));
  ASSERT_TRUE(TryStrToDateTime("8.12.2026", t, cz));
  EXPECT_EQ(t.Time, 0);
  ASSERT_TRUE(TryStrToDateTime("8.12. 7:05", t, cz));
  EXPECT_EQ(t.Date, Day(CurrentYear(), 12, 8));
  EXPECT_EQ(t.Time, Ms(7, 5));
  ASSERT_TRUE(TryStrToDateTime("8.12. 7", t, cz));  // whole text reads as a date
  EXPECT_EQ(t.Date, Day(2007, 12, 8));
  EXPECT_EQ(t.Time, 0);
  ASSERT_TRUE(TryStrToDateTime("7:05", t, cz));
  EXPECT_EQ(t.Date, kDateDelta);
  EXPECT_EQ(t.Time, Ms(7, 5));
  ASSERT_TRUE(TryStrToDateTime("12/8/2026 7:05:09 PM", t, NoLocale()));
  EXPECT_EQ(t.Date, Day(2026, 12, 8));
  EXPECT_EQ(t.Time, Ms(19, 5, 9));
  for (const char* text : {"", "8.12.2026 24:00", "8.12.2026 x", "8.12.20267:05", "7:05 8.12.2026",
                           "31.2.2026 7:05"}) {
    EXPECT_FALSE(TryStrToDateTime(text, t, cz)) << text;
  }
}

TEST(TextConversionDateTimeTest, LongBlankRunsAreRefused) {
  TTimeStamp t{0, 0};
  const std::string text =
      "1" + std::string(20000, ' ') + "1 1 1 1 1 1 1 1 1" + std::string(20000, ' ') + "x";
  EXPECT_FALSE(TryStrToDateTime(text, t, Czech()));
}

TEST(TextConversionFormatTest, CzechLongDateHasMonthNames) {
  const TFormatSettings& cz = Czech();
  const TTimeStamp stamp{Day(2026, 12, 8), 0};
  const std::string text = FormatDateTime(cz.LongDateFormat, stamp, cz);
  EXPECT_EQ(text, Cs(u"8. prosinec 2026"));
  EXPECT_EQ(Date("8. 12. 2026", cz), stamp.Date);  // its numeric form reads back
  EXPECT_EQ(FormatDateTime("dddd d. MMMM", stamp, cz), Cs(u"úterý 8. prosinec"));
  EXPECT_EQ(FormatDateTime("ddd MMM", stamp, cz), Cs(u"út pro"));
}

TEST(TextConversionFormatTest, PatternLetters) {
  const TFormatSettings& en = NoLocale();
  const TTimeStamp t{Day(2026, 3, 5), Ms(19, 7, 3, 45)};
  EXPECT_EQ(FormatDateTime("d dd M MM yy yyyy", t, en), "5 05 3 03 26 2026");
  EXPECT_EQ(FormatDateTime("ddd dddd MMM MMMM", t, en), "Thu Thursday Mar March");
  EXPECT_EQ(FormatDateTime("DD/MM/YYYY", t, en), "05/03/2026");
  EXPECT_EQ(FormatDateTime("H:mm:ss z zzz", t, en), "19:07:03 45 045");
  EXPECT_EQ(FormatDateTime("h:mm AMPM", t, en), "7:07 PM");
  EXPECT_EQ(FormatDateTime("hh:nn ampm", {t.Date, Ms(0, 7)}, en), "12:07 AM");
  EXPECT_EQ(FormatDateTime("hh", t, en), "19");              // no AMPM: 24-hour
  EXPECT_EQ(FormatDateTime("d.m.yyyy", t, en), "5.3.2026");  // no hour before: months
  EXPECT_EQ(FormatDateTime("h 'h' mm", t, en), "19 h 07");
  EXPECT_EQ(FormatDateTime("mm:ss", t, en), "03:03");  // minutes only after an hour
  EXPECT_EQ(FormatDateTime("nn:ss", t, en), "07:03");
  EXPECT_EQ(FormatDateTime("\"d\" d 'M'", t, en), "d 5 M");
  EXPECT_EQ(FormatDateTime("'open", t, en), "open");
  EXPECT_EQ(FormatDateTime("y yyy ddddd", t, en), "26 2026 Thursday5");
  EXPECT_EQ(FormatDateTime("yy", {Day(2005, 1, 1), 0}, en), "05");
}

TEST(TextConversionFormatTest, SeparatorsComeFromTheSettings) {
  TFormatSettings s = NoLocale();
  s.DateSeparator = '-';
  s.TimeSeparator = '.';
  const TTimeStamp t{Day(2026, 12, 8), Ms(7, 5, 9)};
  EXPECT_EQ(FormatDateTime("yyyy/MM/dd HH:mm:ss", t, s), "2026-12-08 07.05.09");
}

TEST(TextConversionFormatTest, CalendarEnds) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(DateToStr(1, cz), "1.1.0001");
  EXPECT_EQ(DateToStr(kMaxDayNumber, cz), "31.12.9999");
  EXPECT_EQ(DateToStr(Day(2024, 2, 29), cz), "29.2.2024");
  EXPECT_EQ(FormatDateTime("yy", {1, 0}, cz), "01");
  // Day numbers outside the calendar format without failing.
  EXPECT_EQ(FormatDateTime("d.M.yyyy MMMM", {0, 0}, cz), "0.0.0000 ");
}

TEST(TextConversionFormatTest, DateAndTimeToText) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(TimeToStr(Ms(7, 5, 9), cz), "7:05:09");
  EXPECT_EQ(DateTimeToStr({Day(2026, 12, 8), Ms(7, 5, 9)}, cz), "8.12.2026 7:05:09");
  EXPECT_EQ(DateTimeToStr({Day(2026, 12, 8), 0}, cz), "8.12.2026");
  // Milliseconds alone do not show: the time shows from the first whole second.
  EXPECT_EQ(DateTimeToStr({Day(2026, 12, 8), 999}, cz), "8.12.2026");
  EXPECT_EQ(DateTimeToStr({Day(2026, 12, 8), 1000}, cz), "8.12.2026 0:00:01");
  const TFormatSettings& en = NoLocale();
  EXPECT_EQ(DateTimeToStr({Day(2026, 12, 8), Ms(0, 5)}, en), "12/8/2026 12:05:00 AM");
  EXPECT_EQ(TimeToStr(Ms(12, 0), en), "12:00:00 PM");
}

TEST(TextConversionFormatTest, DateTextRoundTrips) {
  const TFormatSettings* all[] = {&Czech(), &NoLocale()};
  for (const TFormatSettings* s : all) {
    for (const std::int32_t day :
         {1, kDateDelta, Day(2000, 2, 29), Day(2026, 12, 8), kMaxDayNumber}) {
      EXPECT_EQ(Date(DateToStr(day, *s), *s), day) << DateToStr(day, *s);
    }
    for (const std::int32_t ms : {0, Ms(0, 0, 1), Ms(11, 59, 59), Ms(12, 0), Ms(23, 59, 59)}) {
      EXPECT_EQ(Time(TimeToStr(ms, *s), *s), ms) << TimeToStr(ms, *s);
    }
  }
}

TEST(TextConversionFloatToStrTest, ShortestFifteenDigits) {
  const TFormatSettings& cz = Czech();
  const TFormatSettings& en = NoLocale();
  EXPECT_EQ(FloatToStr(2.5, cz), "2,5");
  EXPECT_EQ(FloatToStr(2.5, en), "2.5");
  EXPECT_EQ(FloatToStr(-0.1, en), "-0.1");
  EXPECT_EQ(FloatToStr(100, en), "100");
  EXPECT_EQ(FloatToStr(0.1 + 0.2, en), "0.3");
  EXPECT_EQ(FloatToStr(1.0 / 3, en), "0.333333333333333");
  EXPECT_EQ(FloatToStr(123456789012345.0, en), "123456789012345");
  EXPECT_EQ(FloatToStr(1234567.0, cz), "1234567");  // no thousands separators
  EXPECT_EQ(FloatToStr(0.0, en), "0");
  EXPECT_EQ(FloatToStr(-0.0, en), "0");
}

TEST(TextConversionFloatToStrTest, ExponentForm) {
  const TFormatSettings& cz = Czech();
  EXPECT_EQ(FloatToStr(1.5e20, cz), "1,5E20");
  EXPECT_EQ(FloatToStr(1e15, cz), "1E15");
  EXPECT_EQ(FloatToStr(1e-5, cz), "1E-5");
  EXPECT_EQ(FloatToStr(-2.5e-300, cz), "-2,5E-300");
  EXPECT_EQ(FloatToStr(0.0001, cz), "0,0001");
  EXPECT_EQ(FloatToStr(9999999999999995.0, cz), "1E16");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity(), cz), "INF");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity(), cz), "-INF");
  EXPECT_EQ(FloatToStr(std::nan(""), cz), "NAN");
}

TEST(TextConversionFloatToStrTest, ReadsBack) {
  for (const double v : {2.5, -1e-5, 1.5e20, 123.456, 4.9e-324, 1e308}) {
    const std::string text = FloatToStr(v, Czech());
    const std::optional<double> back = Float(text, Czech());
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_NEAR(*back, v, std::fabs(v) * 1e-14) << text;
  }
}

TEST(TextConversionRobustnessTest, FailuresLeaveTheResultAlone) {
  std::int64_t i = 7;
  double f = 7;
  std::int32_t d = 7;
  TTimeStamp t{7, 7};
  EXPECT_FALSE(TryStrToInt64("x", i));
  EXPECT_FALSE(TryStrToFloat("x", f, Czech()));
  EXPECT_FALSE(TryStrToCurr("x", i, Czech()));
  EXPECT_FALSE(TryStrToDate("31.2.2026", d, Czech()));
  EXPECT_FALSE(TryStrToTime("24:00", d, Czech()));
  EXPECT_FALSE(TryStrToDateTime("x", t, Czech()));
  EXPECT_EQ(i, 7);
  EXPECT_EQ(f, 7);
  EXPECT_EQ(d, 7);
  EXPECT_EQ(t.Date, 7);
  EXPECT_EQ(t.Time, 7);
}

// Random texts over the characters the readers care about, and random formats over extreme time
// stamps: run under the sanitizers, any out-of-bounds access or overflow stops the test.
TEST(TextConversionRobustnessTest, ArbitraryTextIsHandled) {
  static constexpr char kAlphabet[] = "0123456789 .,:/-+$xXeEaApPmMdyhHnsz'\"\t\xA0";
  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> length(0, 24);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::uniform_int_distribution<std::int32_t> any(std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max());
  for (int round = 0; round < 20000; ++round) {
    std::string text(length(random), ' ');
    for (char& c : text) c = kAlphabet[pick(random)];
    std::int64_t i = 0;
    double f = 0;
    std::int32_t d = 0;
    TTimeStamp t{0, 0};
    for (const TFormatSettings* s : {&Czech(), &NoLocale()}) {
      TryStrToInt64(text, i);
      TryStrToFloat(text, f, *s);
      TryStrToCurr(text, i, *s);
      if (TryStrToDate(text, d, *s)) {
        EXPECT_TRUE(d >= 1 && d <= kMaxDayNumber) << text;
      }
      if (TryStrToTime(text, d, *s)) {
        EXPECT_TRUE(d >= 0 && d < kMsecsPerDay) << text;
      }
      TryStrToDateTime(text, t, *s);
      FormatDateTime(text, {any(random), any(random)}, *s);
    }
  }
}

}  // namespace
}  // namespace katalog::platform
