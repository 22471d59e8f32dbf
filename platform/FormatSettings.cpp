#include "platform/FormatSettings.h"

#include <map>
#include <memory>
#include <mutex>

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/decimfmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>

namespace katalog::platform {
namespace {

std::string ToBytes(const TLocale& locale, const icu::UnicodeString& s) {
  return locale.CodePage().FromUtf16(std::u16string_view(
      reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<std::size_t>(s.length())));
}

// Rewrites a locale-data date or time pattern in the system's pattern letters: years always
// with four digits, weekday names as ddd/dddd, the day period as AMPM; eras, zones and the like
// are dropped.
std::string SystemPattern(const TLocale& locale, const icu::UnicodeString& pattern) {
  icu::UnicodeString out;
  int32_t i = 0;
  const int32_t n = pattern.length();
  while (i < n) {
    const char16_t c = pattern.charAt(i);
    if (c == u'\'') {  // quoted literal, copied with its quotes
      int32_t end = pattern.indexOf(u'\'', i + 1);
      if (end < 0) end = n - 1;
      out.append(pattern, i, end - i + 1);
      i = end + 1;
      continue;
    }
    int32_t run = 1;
    while (i + run < n && pattern.charAt(i + run) == c) ++run;
    switch (c) {
      case u'y':
      case u'Y':
      case u'u':
        out.append(u"yyyy");
        break;
      case u'M':
      case u'L':
        out.append(icu::UnicodeString(u"MMMM", std::min(run, 4)));
        break;
      case u'd':
        out.append(icu::UnicodeString(u"dd", std::min(run, 2)));
        break;
      case u'E':
      case u'c':
      case u'e':
        out.append(run >= 4 ? u"dddd" : u"ddd");
        break;
      case u'H':
      case u'h':
      case u'm':
      case u's':
        out.append(icu::UnicodeString(c == u'H'   ? u"HH"
                                      : c == u'h' ? u"hh"
                                      : c == u'm' ? u"mm"
                                                  : u"ss",
                                      std::min(run, 2)));
        break;
      case u'a':
      case u'b':
      case u'B':
        out.append(u"AMPM");
        break;
      default:
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))) {
          out.append(icu::UnicodeString(run, static_cast<UChar32>(c), run));
        }
    }
    i += run;
  }
  out.trim();
  return ToBytes(locale, out);
}

icu::UnicodeString PatternOf(const icu::DateFormat* format) {
  icu::UnicodeString pattern;
  if (auto* simple = dynamic_cast<const icu::SimpleDateFormat*>(format)) simple->toPattern(pattern);
  return pattern;
}

// The first character of a pattern that is neither a pattern letter nor a blank.
char SeparatorIn(const std::string& pattern, char fallback) {
  for (char c : pattern) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ' || c == '\'')) return c;
  }
  return fallback;
}

void ReadNames(const TLocale& locale, const icu::Locale& where, TFormatSettings& s) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DateFormatSymbols symbols(where, status);
  if (U_FAILURE(status)) return;
  int32_t count = 0;
  using Symbols = icu::DateFormatSymbols;
  const icu::UnicodeString* months = symbols.getMonths(count, Symbols::STANDALONE, Symbols::WIDE);
  for (int32_t i = 0; i < 12 && i < count; ++i) s.LongMonthNames[i] = ToBytes(locale, months[i]);
  months = symbols.getMonths(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
  for (int32_t i = 0; i < 12 && i < count; ++i) s.ShortMonthNames[i] = ToBytes(locale, months[i]);
  // Weekday arrays start at index 1 with Sunday.
  const icu::UnicodeString* days = symbols.getWeekdays(count, Symbols::STANDALONE, Symbols::WIDE);
  for (int32_t i = 0; i < 7 && i + 1 < count; ++i) s.LongDayNames[i] = ToBytes(locale, days[i + 1]);
  days = symbols.getWeekdays(count, Symbols::STANDALONE, Symbols::ABBREVIATED);
  for (int32_t i = 0; i < 7 && i + 1 < count; ++i)
    s.ShortDayNames[i] = ToBytes(locale, days[i + 1]);
  const icu::UnicodeString* periods = symbols.getAmPmStrings(count);
  if (count >= 2) {
    s.TimeAMString = ToBytes(locale, periods[0]);
    s.TimePMString = ToBytes(locale, periods[1]);
  }
}

void ReadNumbers(const TLocale& locale, const icu::Locale& where, TFormatSettings& s) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(where, status);
  if (U_FAILURE(status)) return;
  auto single = [&](icu::DecimalFormatSymbols::ENumberFormatSymbol which, char fallback) {
    const std::string bytes = ToBytes(locale, symbols.getSymbol(which));
    return bytes.size() == 1 ? bytes[0] : fallback;
  };
  s.DecimalSeparator = single(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol, '.');
  s.ThousandSeparator = single(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol, ',');
  s.CurrencyString = ToBytes(locale, symbols.getSymbol(icu::DecimalFormatSymbols::kCurrencySymbol));

  std::unique_ptr<icu::NumberFormat> currency(
      icu::NumberFormat::createCurrencyInstance(where, status));
  auto* decimal = dynamic_cast<icu::DecimalFormat*>(currency.get());
  if (U_FAILURE(status) || !decimal) return;
  s.CurrencyDecimals = static_cast<std::uint8_t>(decimal->getMaximumFractionDigits());
  icu::UnicodeString pattern;
  decimal->toPattern(pattern);
  const int32_t sign = pattern.indexOf(u'\u00A4');
  const int32_t digit = pattern.indexOf(u'0');
  if (sign < 0 || digit < 0) return;
  const bool after = sign > digit;
  const char16_t between = after ? pattern.charAt(sign - 1) : pattern.charAt(sign + 1);
  const bool spaced = between == u' ' || between == u'\u00A0' || between == u'\u202F';
  s.CurrencyFormat = static_cast<std::uint8_t>((after ? 1 : 0) + (spaced ? 2 : 0));
  static constexpr std::uint8_t kNegative[4] = {1, 5, 9, 8};  // -$1, -1$, -$ 1, -1 $
  s.NegCurrFormat = kNegative[s.CurrencyFormat];
}

void ReadDatesAndTimes(const TLocale& locale, const icu::Locale& where, TFormatSettings& s) {
  std::unique_ptr<icu::DateFormat> shortDate(
      icu::DateFormat::createDateInstance(icu::DateFormat::kShort, where));
  std::unique_ptr<icu::DateFormat> longDate(
      icu::DateFormat::createDateInstance(icu::DateFormat::kFull, where));
  std::unique_ptr<icu::DateFormat> longTime(
      icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, where));
  s.ShortDateFormat = SystemPattern(locale, PatternOf(shortDate.get()));
  s.LongDateFormat = SystemPattern(locale, PatternOf(longDate.get()));
  s.DateSeparator = SeparatorIn(s.ShortDateFormat, '/');
  const std::string time = SystemPattern(locale, PatternOf(longTime.get()));
  s.TimeSeparator = SeparatorIn(time, ':');
  // Times are the hour followed by ":mm" and ":mm:ss", with the day period for 12-hour locales.
  const bool twelveHour = time.find('h') != std::string::npos;
  const bool leadingZero = time.find(twelveHour ? "hh" : "HH") != std::string::npos;
  const std::string hour = twelveHour ? (leadingZero ? "hh" : "h") : (leadingZero ? "HH" : "H");
  const std::string period = twelveHour ? " AMPM" : "";
  s.ShortTimeFormat = hour + ":mm" + period;
  s.LongTimeFormat = hour + ":mm:ss" + period;
}

TFormatSettings Build(const TLocale& locale) {
  TFormatSettings s = NoLocaleFormatSettings();
  const icu::Locale where(locale.IcuName().c_str());
  ReadNames(locale, where, s);
  ReadNumbers(locale, where, s);
  ReadDatesAndTimes(locale, where, s);
  if (locale.Id() == kUserDefaultLcid) {
    const TCodePage& page = locale.CodePage();
    s.ShortDateFormat = "d.M.yyyy";
    s.LongDateFormat = "d. MMMM yyyy";
    s.ShortTimeFormat = "H:mm";
    s.LongTimeFormat = "H:mm:ss";
    s.DateSeparator = '.';
    s.TimeSeparator = ':';
    s.DecimalSeparator = ',';
    s.ThousandSeparator = static_cast<char>(page.ByteOf(u'\u00A0'));
    s.CurrencyString = page.FromUtf16(u"K\u010D");
    s.CurrencyFormat = 3;
    s.NegCurrFormat = 8;
    s.CurrencyDecimals = 2;
  }
  return s;
}

}  // namespace

const TFormatSettings& NoLocaleFormatSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings s;
    s.CurrencyString = "$";
    s.ShortDateFormat = "M/d/yyyy";
    s.LongDateFormat = "dddd, MMMM dd, yyyy";
    s.TimeAMString = "AM";
    s.TimePMString = "PM";
    s.ShortTimeFormat = "h:mm AMPM";
    s.LongTimeFormat = "h:mm:ss AMPM";
    s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                        "July",    "August",   "September", "October", "November", "December"};
    s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    return s;
  }();
  return settings;
}

const TFormatSettings& LocaleFormatSettings(const TLocale& locale) {
  static std::mutex mutex;
  static std::map<LCID, std::unique_ptr<TFormatSettings>> cache;
  std::lock_guard lock(mutex);
  auto& settings = cache[locale.Id()];
  if (!settings) settings = std::make_unique<TFormatSettings>(Build(locale));
  return *settings;
}

}  // namespace katalog::platform
