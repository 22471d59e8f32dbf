#include "platform/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "platform/CodePage.h"
#include "platform/TextConversion.h"

namespace katalog::platform {
namespace {

using enum TFloatFormat;

constexpr std::int64_t kMaxCurr = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinCurr = std::numeric_limits<std::int64_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();

const TFormatSettings& Czech() {
  return LocaleFormatSettings(UserDefaultLocale());
}

const TFormatSettings& NoLocale() {
  return NoLocaleFormatSettings();
}

std::string Cs(std::u16string_view text) {
  return CodePage(1250).FromUtf16(text);
}

std::string F(double v, TFloatFormat f, int precision, int digits) {
  return FloatToStrF(v, f, precision, digits, Czech());
}

std::string Fmt(std::string_view format, double v) {
  return FormatFloat(format, v, Czech());
}

TEST(NumberFormatTest, GeneralShortestForm) {
  EXPECT_EQ(F(123.456, ffGeneral, 15, 0), "123,456");
  EXPECT_EQ(F(1e20, ffGeneral, 15, 0), "1E20");
  EXPECT_EQ(F(1.5e-7, ffGeneral, 15, 0), "1,5E-7");
  EXPECT_EQ(F(0.00001, ffGeneral, 15, 0), "1E-5");
  EXPECT_EQ(F(0.0001, ffGeneral, 15, 0), "0,0001");
  EXPECT_EQ(F(1e14, ffGeneral, 15, 0), "100000000000000");
  EXPECT_EQ(F(1e15, ffGeneral, 15, 0), "1E15");
  EXPECT_EQ(F(0.1 + 0.2, ffGeneral, 15, 0), "0,3");
  EXPECT_EQ(F(123456, ffGeneral, 3, 0), "1,23E5");
  EXPECT_EQ(F(99999, ffGeneral, 4, 0), "1E5");  // the carry makes the exponent
  EXPECT_EQ(F(1e20, ffGeneral, 15, 3), "1E020");
  EXPECT_EQ(F(-1.5e-7, ffGeneral, 15, 2), "-1,5E-07");
  EXPECT_EQ(F(1.25, ffGeneral, 0, 0), "1,3");                    // precision 2 at least
  EXPECT_EQ(F(1.0 / 3, ffGeneral, 99, 0), "0,333333333333333");  // 15 at most
}

TEST(NumberFormatTest, GeneralAgreesWithFloatToStr) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 2000; ++i) {
    const double v = mantissa(random) * std::pow(10.0, exponent(random));
    EXPECT_EQ(FloatToStrF(v, ffGeneral, 15, 0, Czech()), FloatToStr(v, Czech())) << v;
  }
}

TEST(NumberFormatTest, ExponentAlwaysSignedWithAllDigits) {
  EXPECT_EQ(F(1234.5, ffExponent, 4, 2), "1,235E+03");
  EXPECT_EQ(F(0.00012, ffExponent, 3, 0), "1,20E-4");
  EXPECT_EQ(F(-1.5, ffExponent, 2, 1), "-1,5E+0");
  EXPECT_EQ(F(0, ffExponent, 4, 2), "0,000E+00");
  EXPECT_EQ(F(1, ffExponent, 2, 9), "1,0E+0000");
  EXPECT_EQ(F(9.99, ffExponent, 2, 0), "1,0E+1");
}

TEST(NumberFormatTest, FixedRoundsHalfAwayFromZero) {
  EXPECT_EQ(F(0.5, ffFixed, 15, 0), "1");
  EXPECT_EQ(F(-0.5, ffFixed, 15, 0), "-1");
  EXPECT_EQ(F(2.5, ffFixed, 15, 0), "3");
  EXPECT_EQ(F(0.49, ffFixed, 15, 0), "0");
  EXPECT_EQ(F(9.995, ffFixed, 15, 2), "10,00");
  EXPECT_EQ(F(0.285, ffFixed, 15, 2), "0,29");
  EXPECT_EQ(F(999.96, ffFixed, 15, 1), "1000,0");
  EXPECT_EQ(F(999.96, ffNumber, 15, 1),
            "1\xA0"
            "000,0");
  EXPECT_EQ(F(1.23456789, ffFixed, 4, 6), "1,235000");
  EXPECT_EQ(F(1.5, ffFixed, 15, 30), "1,500000000000000000");
  EXPECT_EQ(F(1.0 / 3, ffFixed, 15, 18), "0,333333333333333000");
}

TEST(NumberFormatTest, FixedBigNumbersTurnScientific) {
  EXPECT_EQ(F(1e20, ffFixed, 15, 2), "1E20");
  EXPECT_EQ(F(-123456, ffFixed, 5, 2), "-1,2346E5");
  EXPECT_EQ(F(123456, ffFixed, 6, 1), "123456,0");
  EXPECT_EQ(F(1e-300, ffFixed, 15, 2), "0,00");
}

TEST(NumberFormatTest, NegativeZeroHasNoSign) {
  EXPECT_EQ(F(-0.0, ffGeneral, 15, 0), "0");
  EXPECT_EQ(F(-0.0, ffFixed, 15, 2), "0,00");
  EXPECT_EQ(F(-0.004, ffFixed, 15, 2), "0,00");
  EXPECT_EQ(F(-0.004, ffNumber, 15, 2), "0,00");
  EXPECT_EQ(F(-0.004, ffCurrency, 15, 2), "0,00 " + Cs(u"Kč"));
  EXPECT_EQ(Fmt("0.00", -0.004), "0,00");
  EXPECT_EQ(Fmt("0", -0.0), "0");
}

TEST(NumberFormatTest, NotFiniteInEveryFormat) {
  for (TFloatFormat f : {ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency}) {
    EXPECT_EQ(F(std::nan(""), f, 15, 2), "NAN");
    EXPECT_EQ(F(kInf, f, 15, 2), "INF");
    EXPECT_EQ(F(-kInf, f, 15, 2), "-INF");
  }
  EXPECT_EQ(Fmt("#,##0.00", -kInf), "-INF");
}

TEST(NumberFormatTest, CurrencyCzechUserDefault) {
  const std::string kc = Cs(u"Kč");
  const int digits = Czech().CurrencyDecimals;
  EXPECT_EQ(F(1234.5, ffCurrency, 15, digits),
            "1\xA0"
            "234,50 " +
                kc);
  EXPECT_EQ(F(-1234.5, ffCurrency, 15, digits),
            "-1\xA0"
            "234,50 " +
                kc);
  EXPECT_EQ(CurrToStrF(12345000, ffCurrency, digits, Czech()),
            "1\xA0"
            "234,50 " +
                kc);
}

TEST(NumberFormatTest, CurrencyPlacementCodes) {
  TFormatSettings s = NoLocale();
  auto placed = [&](double v) { return FloatToStrF(v, ffCurrency, 15, 2, s); };
  const char* positive[] = {"$1,234.50", "1,234.50$", "$ 1,234.50", "1,234.50 $"};
  for (std::uint8_t code = 0; code < 4; ++code) {
    s.CurrencyFormat = code;
    EXPECT_EQ(placed(1234.5), positive[code]);
  }
  const std::pair<std::uint8_t, const char*> negative[] = {
      {0, "($1,234.50)"},  {3, "$1,234.50-"},    {6, "1,234.50-$"},
      {12, "$ -1,234.50"}, {15, "(1,234.50 $)"}, {99, "-$1,234.50"}};
  for (const auto& [code, text] : negative) {
    s.NegCurrFormat = code;
    EXPECT_EQ(placed(-1234.5), text) << int{code};
  }
}

TEST(NumberFormatTest, CurrencyExactOverInt64) {
  EXPECT_EQ(CurrToStr(kMaxCurr, Czech()), "922337203685477,5807");
  EXPECT_EQ(CurrToStr(kMinCurr, Czech()), "-922337203685477,5808");
  EXPECT_EQ(CurrToStr(1234567890123456789, NoLocale()), "123456789012345.6789");
  EXPECT_EQ(CurrToStr(-250000, NoLocale()), "-25");
  EXPECT_EQ(CurrToStr(1, NoLocale()), "0.0001");
  EXPECT_EQ(CurrToStrF(kMaxCurr, ffNumber, 4, NoLocale()), "922,337,203,685,477.5807");
  EXPECT_EQ(CurrToStrF(kMaxCurr, ffFixed, 2, NoLocale()), "922337203685477.58");
  EXPECT_EQ(CurrToStrF(kMinCurr, ffFixed, 0, NoLocale()), "-922337203685478");
  EXPECT_EQ(CurrToStrF(-5000, ffFixed, 0, NoLocale()), "-1");
  EXPECT_EQ(CurrToStrF(-49, ffFixed, 2, NoLocale()), "0.00");
  EXPECT_EQ(CurrToStrF(12345, ffFixed, 6, NoLocale()), "1.234500");
  EXPECT_EQ(CurrToStrF(kMinCurr, ffExponent, 2, NoLocale()), "-9.223372036854775808E+14");
}

TEST(NumberFormatTest, PictureDigitsAndLiterals) {
  EXPECT_EQ(Fmt("0", 12345), "12345");
  EXPECT_EQ(Fmt("00000", 42), "00042");
  EXPECT_EQ(Fmt("#", 0), "");
  EXPECT_EQ(Fmt("#.##", 1), "1");
  EXPECT_EQ(Fmt("0.##", 1.5), "1,5");
  EXPECT_EQ(Fmt("#.00", 0.5), ",50");
  EXPECT_EQ(Fmt(".00", 12.5), "12,50");
  EXPECT_EQ(Fmt("0.0%", 12.345), "12,3%");
  EXPECT_EQ(Fmt("00-00", 1234), "12-34");
  EXPECT_EQ(Fmt("0", 1e20), "100000000000000000000");
  EXPECT_EQ(Fmt("0", 1.23456789012345678e20), "123456789012346000000");
  EXPECT_EQ(Fmt("", 1.5e-7), "1,5E-7");
}

TEST(NumberFormatTest, PictureRounding) {
  EXPECT_EQ(Fmt("0", 0.5), "1");
  EXPECT_EQ(Fmt("0", -0.5), "-1");
  EXPECT_EQ(Fmt("0.00", 9.995), "10,00");
  EXPECT_EQ(Fmt("0.0", 999.96), "1000,0");
  EXPECT_EQ(Fmt("0.00", 1e-300), "0,00");
}

TEST(NumberFormatTest, PictureThousandsGrouping) {
  EXPECT_EQ(Fmt("#,##0.00", 1234567.891),
            "1\xA0"
            "234\xA0"
            "567,89");
  EXPECT_EQ(Fmt("#,##0.0", 999.96),
            "1\xA0"
            "000,0");
  EXPECT_EQ(Fmt("#,##0.00 " + Cs(u"Kč"), 1234.5),
            "1\xA0"
            "234,50 " +
                Cs(u"Kč"));
  EXPECT_EQ(Fmt("#,##0", 123), "123");
  EXPECT_EQ(FormatFloat("0,", 1234, NoLocale()), "1234,");  // after the digits: copied
  EXPECT_EQ(FormatFloat("#,###", -1234567, NoLocale()), "-1,234,567");
}

TEST(NumberFormatTest, PictureSections) {
  EXPECT_EQ(Fmt("0.00;(0.00)", -5), "(5,00)");
  EXPECT_EQ(Fmt("0.00;(0.00)", 5), "5,00");
  EXPECT_EQ(Fmt("0.00;", -5), "-5,00");
  EXPECT_EQ(Fmt("0;-0;'nula'", 0), "nula");
  EXPECT_EQ(Fmt("0;-0;'nula'", 0.4), "nula");
  EXPECT_EQ(Fmt("0;-0;'nula'", -0.4), "nula");
  EXPECT_EQ(Fmt("0.0;-0.0;'nula'", 0.05), "0,1");
  EXPECT_EQ(Fmt("0;;", 0), "0");
  EXPECT_EQ(Fmt(";(0)", 2.5), "2,5");  // an empty first section is the general form
  EXPECT_EQ(Fmt("0;(0);zero;ignored", -3), "(3)");
}

TEST(NumberFormatTest, PictureQuotedLiterals) {
  EXPECT_EQ(Fmt("'#0.0;' 0.0", 5), "#0.0; 5,0");
  EXPECT_EQ(Fmt("\"E+0\"0", 5), "E+05");
  EXPECT_EQ(Fmt("0 'ks, celkem'", 1234), "1234 ks, celkem");
  EXPECT_EQ(Fmt("0 'open", 7), "7 open");
  EXPECT_EQ(Fmt("0;n.a.", -7), "n.a.");  // no digit placeholders: the value is not written
}

TEST(NumberFormatTest, PictureAnyTextSameForFloatAndCurr) {
  // Random pictures of the characters that mean something: values both families hold exactly
  // must come out alike, and the sanitizers watch the rest.
  const std::string_view alphabet = "0#.,;Ee+-'\"x%";
  std::mt19937 random(11);
  for (int i = 0; i < 3000; ++i) {
    std::string format(random() % 14, ' ');
    for (char& c : format) c = alphabet[random() % alphabet.size()];
    for (double v : {0.0, -0.25, 1234.5, -9876543.0}) {
      EXPECT_EQ(Fmt(format, v), FormatCurr(format, static_cast<std::int64_t>(v * 10000), Czech()))
          << format << " " << v;
    }
    (void)Fmt(format, -9.995e300);
  }
}

TEST(NumberFormatTest, PictureExponent) {
  EXPECT_EQ(Fmt("0.00E+00", 1234.5), "1,23E+03");
  EXPECT_EQ(Fmt("0.000E-0", 0.00012345), "1,235E-4");
  EXPECT_EQ(Fmt("00.0E+0", 1234.5), "12,3E+2");
  EXPECT_EQ(Fmt("0.0e-00", 1e20), "1,0e20");
  EXPECT_EQ(Fmt("0.0E+000", 1.5e5), "1,5E+005");
  EXPECT_EQ(Fmt("0.0E+000", -1e-300), "-1,0E-300");
  EXPECT_EQ(Fmt("0E+0", 0), "0E+0");
  EXPECT_EQ(Fmt("0.0E+0 'x'0", 25), "2,5E+1 x0");
  EXPECT_EQ(Fmt("0E", 25), "25E");  // no sign and zeros: a literal
}

TEST(NumberFormatTest, CurrPictureIsExact) {
  EXPECT_EQ(FormatCurr("#,##0.0000", kMinCurr, Czech()),
            "-922\xA0"
            "337\xA0"
            "203\xA0"
            "685\xA0"
            "477,5808");
  EXPECT_EQ(FormatCurr("0.00", 50, NoLocale()), "0.01");
  EXPECT_EQ(FormatCurr("0.00", -49, NoLocale()), "0.00");
  EXPECT_EQ(FormatCurr("0;;'zero'", 4999, NoLocale()), "zero");
  EXPECT_EQ(FormatCurr("0", kMaxCurr, NoLocale()), "922337203685478");
  EXPECT_EQ(FormatCurr("", 1234567890123456789, NoLocale()), "123456789012345.6789");
  EXPECT_EQ(FormatCurr("0.000000000000000000E+0", kMaxCurr, NoLocale()),
            "9.223372036854775807E+14");
}

}  // namespace
}  // namespace katalog::platform
