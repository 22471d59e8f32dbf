#include "platform/TextConversion.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace katalog::platform {
namespace {

constexpr std::uint64_t kInt64Magnitude = 1ULL << 63;  // of the minimum; the maximum is one less
// Written exponents are cut here: far beyond any double, yet far from overflowing the arithmetic.
constexpr std::int64_t kExponentCap = 1'000'000'000'000'000;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A read position in a text.
struct TScanner {
  std::string_view text;
  std::size_t pos = 0;

  bool AtEnd() const { return pos == text.size(); }
  bool Next(char c) const { return pos < text.size() && text[pos] == c; }
  bool Take(char c) {
    if (!Next(c)) return false;
    ++pos;
    return true;
  }
  void SkipBlanks() {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
  }
  // A '+' or '-' if one is next; true for '-'.
  bool TakeSign() { return !Take('+') && Take('-'); }
  // The run of decimal digits here; false when it is empty or longer than maxDigits.
  bool Digits(int maxDigits, int& value, int& count) {
    value = count = 0;
    for (; pos < text.size() && IsAsciiDigit(text[pos]); ++pos) {
      if (++count > maxDigits) return false;
      value = value * 10 + (text[pos] - '0');
    }
    return count > 0;
  }
};

// A decimal number text: the value is Digits x 10^Exponent. Digits has neither leading nor
// trailing zeros and is empty for zero.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  std::int64_t Exponent = 0;
};

bool ParseDecimal(std::string_view text, char separator, TDecimal& number) {
  TScanner in{text};
  in.SkipBlanks();
  number.Negative = in.TakeSign();
  std::size_t mantissaDigits = 0;
  for (; !in.AtEnd() && IsAsciiDigit(text[in.pos]); ++in.pos, ++mantissaDigits) {
    number.Digits += text[in.pos];
  }
  if (in.Take(separator)) {
    for (; !in.AtEnd() && IsAsciiDigit(text[in.pos]); ++in.pos, ++mantissaDigits) {
      number.Digits += text[in.pos];
      --number.Exponent;
    }
  }
  if (mantissaDigits == 0) return false;
  if (in.Take('E') || in.Take('e')) {
    const bool negative = in.TakeSign();
    std::int64_t written = 0;
    if (in.AtEnd() || !IsAsciiDigit(text[in.pos])) return false;
    for (; !in.AtEnd() && IsAsciiDigit(text[in.pos]); ++in.pos) {
      written = std::min(written * 10 + (text[in.pos] - '0'), kExponentCap);
    }
    number.Exponent += negative ? -written : written;
  }
  in.SkipBlanks();
  if (!in.AtEnd()) return false;
  const std::size_t last = number.Digits.find_last_not_of('0');
  if (last == std::string::npos) {
    number.Digits.clear();
    number.Exponent = 0;
    return true;
  }
  number.Exponent += static_cast<std::int64_t>(number.Digits.size() - last - 1);
  number.Digits.erase(last + 1);
  number.Digits.erase(0, number.Digits.find_first_not_of('0'));
  return true;
}

// The parts of ShortDateFormat in their order: 0 day, 1 month, 2 year.
std::array<int, 3> DateOrder(std::string_view format) {
  std::array<std::size_t, 3> first;
  first.fill(std::string_view::npos);
  bool quoted = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = AsciiLower(format[i]);
    if (c == '\'' || c == '"') quoted = !quoted;
    const int part = quoted ? -1 : c == 'd' ? 0 : c == 'm' ? 1 : c == 'y' ? 2 : -1;
    if (part >= 0 && first[part] == std::string_view::npos) first[part] = i;
  }
  std::array<int, 3> order = {1, 0, 2};
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return first[a] < first[b]; });
  return order;
}

void AppendNumber(std::string& out, int value, int width) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<int>(end - digits);
  if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(digits, end);
}

// True when the format has the day period pattern outside quotes.
bool HasDayPeriod(std::string_view format) {
  char quote = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (EqualsIgnoringAsciiCase(format.substr(i, 4), "AMPM")) {
      return true;
    }
  }
  return false;
}

// The pattern letter a character belongs to, or 0: h/H and m/M differ, other letters do not.
char PatternOf(char c) {
  if (c == 'h' || c == 'H' || c == 'm' || c == 'M') return c;
  const char lower = AsciiLower(c);
  return lower == 'd' || lower == 'y' || lower == 'n' || lower == 's' || lower == 'z' ? lower : 0;
}

}  // namespace

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  TScanner in{text};
  in.SkipBlanks();
  const bool negative = in.TakeSign();
  int base = 10;
  if (in.Take('$')) {
    base = 16;
  } else if (text.substr(in.pos, 2) == "0x" || text.substr(in.pos, 2) == "0X") {
    in.pos += 2;
    base = 16;
  }
  const std::uint64_t limit = negative ? kInt64Magnitude : kInt64Magnitude - 1;
  std::uint64_t magnitude = 0;
  const std::size_t start = in.pos;
  for (; !in.AtEnd(); ++in.pos) {
    const char c = AsciiLower(text[in.pos]);
    const int digit = IsAsciiDigit(c)                      ? c - '0'
                      : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                           : -1;
    if (digit < 0) return false;
    if (magnitude > (limit - static_cast<std::uint64_t>(digit)) / static_cast<unsigned>(base)) {
      return false;
    }
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<std::uint64_t>(digit);
  }
  if (in.pos == start) return false;
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  TDecimal number;
  if (!ParseDecimal(text, settings.DecimalSeparator, number)) return false;
  if (number.Digits.empty()) {
    value = 0.0;
    return true;
  }
  // Beyond these the value is outside the range of double whatever the digits.
  const auto magnitude = static_cast<std::int64_t>(number.Digits.size()) + number.Exponent;
  if (magnitude > 400 || magnitude < -400) return false;
  std::string plain = number.Negative ? "-" : "";
  plain += number.Digits;
  plain += 'e';
  plain += std::to_string(number.Exponent);
  double result = 0.0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), result);
  if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(result)) {
    return false;
  }
  value = result;
  return true;
}

bool TryStrToCurr(std::string_view text, std::int64_t& scaledBy10000,
                  const TFormatSettings& settings) {
  return TryStrToScaled(text, 4, scaledBy10000, settings);
}

bool TryStrToScaled(std::string_view text, int scale, std::int64_t& scaled,
                    const TFormatSettings& settings) {
  if (scale < 0 || scale > 18) return false;
  TDecimal number;
  if (!ParseDecimal(text, settings.DecimalSeparator, number)) return false;
  // The integer result has `kept` digits of Digits (padded with zeros); the next one rounds.
  const auto length = static_cast<std::int64_t>(number.Digits.size());
  const std::int64_t kept = length + number.Exponent + scale;
  if (number.Digits.empty() || kept < 0) {
    scaled = 0;
    return true;
  }
  if (kept > 19) return false;
  const std::uint64_t limit = number.Negative ? kInt64Magnitude : kInt64Magnitude - 1;
  std::uint64_t magnitude = 0;
  for (std::int64_t i = 0; i < kept; ++i) {
    const auto digit = static_cast<std::uint64_t>(i < length ? number.Digits[i] - '0' : 0);
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  if (kept < length && number.Digits[kept] >= '5') {
    if (magnitude == limit) return false;
    ++magnitude;
  }
  scaled = number.Negative ? static_cast<std::int64_t>(0 - magnitude)
                           : static_cast<std::int64_t>(magnitude);
  return true;
}

bool TryStrToDate(std::string_view text, std::int32_t& dayNumber, const TFormatSettings& settings) {
  const bool blankSeparator = IsBlank(settings.DateSeparator);
  TScanner in{text};
  std::array<int, 3> values{};
  std::array<int, 3> digits{};
  int parts = 0;
  in.SkipBlanks();
  while (parts < 3) {
    if (!in.Digits(4, values[parts], digits[parts])) return false;
    ++parts;
    const std::size_t end = in.pos;
    in.SkipBlanks();
    const bool separated = blankSeparator ? in.pos > end : in.Take(settings.DateSeparator);
    in.SkipBlanks();
    if (!separated || in.AtEnd()) break;
  }
  if (!in.AtEnd() || parts < 2) return false;

  std::array<int, 3> order = DateOrder(settings.ShortDateFormat);
  int year = 0;
  if (parts == 2) {  // day and month in their order; the year is this one
    const auto yearAt = std::find(order.begin(), order.end(), 2);
    std::rotate(yearAt, yearAt + 1, order.end());
    int month = 0;
    int day = 0;
    DecodeDate(Today(), year, month, day);
  }
  std::array<int, 3> value{};  // day, month, year
  for (int i = 0; i < parts; ++i) {
    if (order[i] != 2 && digits[i] > 2) return false;
    value[order[i]] = values[i];
    if (order[i] == 2) {
      year = values[i];
      if (digits[i] <= 2) year += year < kTwoDigitYearPivot ? 2000 : 1900;
    }
  }
  return TryEncodeDate(year, value[1], value[0], dayNumber);
}

bool TryStrToTime(std::string_view text, std::int32_t& msOfDay, const TFormatSettings& settings) {
  TScanner in{text};
  int hour = 0;
  int minute = 0;
  int second = 0;
  int ms = 0;
  int count = 0;
  in.SkipBlanks();
  if (!in.Digits(2, hour, count)) return false;
  if (in.Take(settings.TimeSeparator)) {
    if (!in.Digits(2, minute, count)) return false;
    if (in.Take(settings.TimeSeparator)) {
      if (!in.Digits(2, second, count)) return false;
      if (in.Take(settings.DecimalSeparator) || in.Take('.')) {
        static constexpr int kScale[4] = {0, 100, 10, 1};
        if (!in.Digits(3, ms, count)) return false;
        ms *= kScale[count];
      }
    }
  }
  in.SkipBlanks();
  const std::string_view suffix = TrimBlanks(text.substr(in.pos));
  if (!suffix.empty()) {
    const bool am = EqualsIgnoringAsciiCase(suffix, settings.TimeAMString) ||
                    EqualsIgnoringAsciiCase(suffix, "AM");
    const bool pm = !am && (EqualsIgnoringAsciiCase(suffix, settings.TimePMString) ||
                            EqualsIgnoringAsciiCase(suffix, "PM"));
    if ((!am && !pm) || hour < 1 || hour > 12) return false;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  return TryEncodeTime(hour, minute, second, ms, msOfDay);
}

bool TryStrToDateTime(std::string_view text, TTimeStamp& stamp, const TFormatSettings& settings) {
  std::int32_t date = 0;
  std::int32_t time = 0;
  if (TryStrToDate(text, date, settings)) {
    stamp = {date, 0};
    return true;
  }
  if (TryStrToTime(text, time, settings)) {
    stamp = {kDateDelta, time};
    return true;
  }
  // Splits are tried at the start of each run of blanks, the longest date first; a split inside
  // a run reads the same, since both parts skip blanks.
  const std::string_view body = TrimBlanks(text);
  for (std::size_t i = body.size(); i-- > 1;) {
    if (!IsBlank(body[i]) || IsBlank(body[i - 1])) continue;
    if (TryStrToDate(body.substr(0, i), date, settings) &&
        TryStrToTime(body.substr(i), time, settings)) {
      stamp = {date, time};
      return true;
    }
  }
  return false;
}

std::string FormatDateTime(std::string_view format, TTimeStamp stamp,
                           const TFormatSettings& settings) {
  int year, month, day, hour, minute, second, ms;
  DecodeDate(stamp.Date, year, month, day);
  DecodeTime(stamp.Time, hour, minute, second, ms);
  const int weekday = DayOfWeek(stamp.Date) - 1;
  const bool twelveHour = HasDayPeriod(format);
  const bool validMonth = month >= 1 && month <= 12;

  std::string out;
  bool afterHour = false;  // the last pattern was an hour, so m and mm are minutes
  std::size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    const char pattern = PatternOf(c);
    if (pattern == 0) {
      if (EqualsIgnoringAsciiCase(format.substr(i, 4), "AMPM")) {
        out += hour < 12 ? settings.TimeAMString : settings.TimePMString;
        afterHour = false;
        i += 4;
      } else if (c == '\'' || c == '"') {
        const std::size_t close = std::min(format.find(c, i + 1), format.size());
        out.append(format.substr(i + 1, close - i - 1));
        i = close + 1;
      } else {
        out += c == '/' ? settings.DateSeparator : c == ':' ? settings.TimeSeparator : c;
        ++i;
      }
      continue;
    }
    std::size_t run = 1;
    while (i + run < format.size() && PatternOf(format[i + run]) == pattern) ++run;
    const bool minutes = pattern == 'n' || (pattern == 'm' && afterHour);
    const bool months = pattern == 'M' || (pattern == 'm' && !afterHour);
    const std::size_t longest = months || pattern == 'd' || pattern == 'y' ? 4
                                : pattern == 'z'                           ? 3
                                                                           : 2;
    const std::size_t take = std::min(run, longest);
    const int width = take >= 2 ? 2 : 0;
    if (pattern == 'd' && take >= 3) {
      out += take == 3 ? settings.ShortDayNames[weekday] : settings.LongDayNames[weekday];
    } else if (pattern == 'd') {
      AppendNumber(out, day, width);
    } else if (months && take >= 3) {
      if (validMonth) {
        out += take == 3 ? settings.ShortMonthNames[month - 1] : settings.LongMonthNames[month - 1];
      }
    } else if (months) {
      AppendNumber(out, month, width);
    } else if (pattern == 'y') {
      AppendNumber(out, take <= 2 ? year % 100 : year, take <= 2 ? 2 : 4);
    } else if (pattern == 'h') {
      AppendNumber(out, twelveHour ? (hour + 11) % 12 + 1 : hour, width);
    } else if (pattern == 'H') {
      AppendNumber(out, hour, width);
    } else if (minutes) {
      AppendNumber(out, minute, width);
    } else if (pattern == 's') {
      AppendNumber(out, second, width);
    } else {  // 'z'
      AppendNumber(out, ms, take >= 2 ? 3 : 0);
    }
    afterHour = pattern == 'h' || pattern == 'H';
    i += take;
  }
  return out;
}

std::string DateToStr(std::int32_t dayNumber, const TFormatSettings& settings) {
  return FormatDateTime(settings.ShortDateFormat, {dayNumber, 0}, settings);
}

std::string TimeToStr(std::int32_t msOfDay, const TFormatSettings& settings) {
  return FormatDateTime(settings.LongTimeFormat, {kDateDelta, msOfDay}, settings);
}

std::string DateTimeToStr(TTimeStamp stamp, const TFormatSettings& settings) {
  std::string text = DateToStr(stamp.Date, settings);
  if (stamp.Time >= 1000) text += ' ' + TimeToStr(stamp.Time, settings);
  return text;
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[64];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15).ptr;
  std::string out;
  for (const char* p = buffer; p < end; ++p) {
    if (*p == '.') {
      out += settings.DecimalSeparator;
    } else if (*p == 'e') {
      out += 'E';
      if (*++p == '-') out += '-';
      ++p;
      while (p + 1 < end && *p == '0') ++p;
      out.append(p, static_cast<std::size_t>(end - p));
      break;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace katalog::platform
