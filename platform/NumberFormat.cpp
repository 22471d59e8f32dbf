#include "platform/NumberFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace katalog::platform {
namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr int kDoubleDigits = 15;    // significant digits a double is taken at
constexpr int kCurrencyDigits = 19;  // the most an int64 amount has

// A finite number in decimal: 0.D1D2...Dn x 10^Exponent, so that Exponent counts the integer
// digits of a number of one or more. Digits has no trailing zeros; zero has none at all, exponent
// 0 and no sign. Every format renders from this, whether the number came from a double or from a
// currency amount.
struct TDecimal {
  bool Negative = false;
  int Exponent = 0;
  int Count = 0;
  std::array<char, 20> Digits{};

  bool IsZero() const { return Count == 0; }
  // The digit at a position counted from the first significant one; '0' outside the digits.
  char Digit(int i) const {
    return i >= 0 && i < Count ? Digits[static_cast<std::size_t>(i)] : '0';
  }
};

// Keeps the first `keep` digits, rounding half away from zero on the next one. `keep` may be zero
// or negative when the rounding place lies above the first digit.
void RoundDigits(TDecimal& d, int keep) {
  if (keep < d.Count) {
    const bool up = d.Digit(keep) >= '5';
    d.Count = std::max(keep, 0);
    if (up) {
      while (d.Count > 0 && d.Digits[static_cast<std::size_t>(d.Count - 1)] == '9') --d.Count;
      if (d.Count == 0) {  // 9.99 -> 10: one digit more in front
        d.Digits[0] = '1';
        d.Count = 1;
        ++d.Exponent;
      } else {
        ++d.Digits[static_cast<std::size_t>(d.Count - 1)];
      }
    }
  }
  while (d.Count > 0 && d.Digits[static_cast<std::size_t>(d.Count - 1)] == '0') --d.Count;
  if (d.Count == 0) d = TDecimal{};
}

// The double at 15 significant digits, correctly rounded from its binary value.
TDecimal FromDouble(double value) {
  TDecimal d;
  if (value == 0) return d;
  char buffer[40];
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                  std::chars_format::scientific, kDoubleDigits - 1)
                        .ptr;
  const char* p = buffer;
  for (; p < end && *p != 'e'; ++p) {
    if (*p != '.') d.Digits[static_cast<std::size_t>(d.Count++)] = *p;
  }
  const bool negativeExponent = p + 1 < end && p[1] == '-';
  int exponent = 0;
  if (p + 2 < end) std::from_chars(p + 2, end, exponent);
  d.Exponent = (negativeExponent ? -exponent : exponent) + 1;
  d.Negative = value < 0;
  RoundDigits(d, kDoubleDigits);  // trims the trailing zeros
  return d;
}

// The amount exactly: its digits with four of them after the decimal point.
TDecimal FromCurrency(std::int64_t scaledBy10000) {
  TDecimal d;
  const auto magnitude = scaledBy10000 < 0 ? 0 - static_cast<std::uint64_t>(scaledBy10000)
                                           : static_cast<std::uint64_t>(scaledBy10000);
  const char* end =
      std::to_chars(d.Digits.data(), d.Digits.data() + d.Digits.size(), magnitude).ptr;
  d.Count = static_cast<int>(end - d.Digits.data());
  d.Exponent = d.Count - 4;
  d.Negative = scaledBy10000 < 0;
  RoundDigits(d, kCurrencyDigits);  // trims the trailing zeros; zero loses its sign
  return d;
}

const char* NonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return nullptr;
}

void AppendPadded(std::string& out, int value, int width) {
  char buffer[16];
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  const auto length = static_cast<int>(end - buffer);
  if (length < width) out.append(static_cast<std::size_t>(width - length), '0');
  out.append(buffer, static_cast<std::size_t>(length));
}

// The integer digit k places left of the units, where the first `shift` digits of d are the
// integer ones, then the thousands separator when a group of three ends after it.
void AppendIntegerDigit(std::string& out, const TDecimal& d, int shift, int k, char thousand) {
  out += d.Digit(shift - 1 - k);
  if (thousand != 0 && k > 0 && k % 3 == 0) out += thousand;
}

// The integer digits (at least "0"), then `decimals` decimals after the DecimalSeparator.
void AppendPlain(std::string& out, const TDecimal& d, int decimals, char thousand,
                 const TFormatSettings& s) {
  for (int k = std::max(d.Exponent, 1) - 1; k >= 0; --k) {
    AppendIntegerDigit(out, d, d.Exponent, k, thousand);
  }
  if (decimals <= 0) return;
  out += s.DecimalSeparator;
  for (int j = 0; j < decimals; ++j) out += d.Digit(d.Exponent + j);
}

// One digit, the separator and the rest of at least `mantissaDigits` digits, 'E', the exponent's
// sign ('+' only when forceSign) and at least `exponentDigits` exponent digits.
void AppendScientific(std::string& out, const TDecimal& d, int mantissaDigits, int exponentDigits,
                      bool forceSign, const TFormatSettings& s) {
  const int shown = std::max(d.Count, mantissaDigits);
  out += d.Digit(0);
  if (shown > 1) out += s.DecimalSeparator;
  for (int i = 1; i < shown; ++i) out += d.Digit(i);
  out += 'E';
  const int exponent = d.IsZero() ? 0 : d.Exponent - 1;
  if (exponent < 0) {
    out += '-';
  } else if (forceSign) {
    out += '+';
  }
  AppendPadded(out, std::abs(exponent), exponentDigits);
}

// The shortest form of d, which has at most `precision` digits.
void AppendGeneral(std::string& out, const TDecimal& d, int precision, int exponentDigits,
                   const TFormatSettings& s) {
  if (d.Exponent > precision || d.Exponent < -3) {
    AppendScientific(out, d, 1, exponentDigits, false, s);
  } else {
    AppendPlain(out, d, d.Count - d.Exponent, 0, s);
  }
}

// The number text placed with the currency string: '$' stands for CurrencyString, '1' for the
// number.
std::string PlaceCurrency(const std::string& number, bool negative, const TFormatSettings& s) {
  static constexpr std::array<std::string_view, 4> kPositive = {"$1", "1$", "$ 1", "1 $"};
  static constexpr std::array<std::string_view, 16> kNegative = {
      "($1)", "-$1",  "$-1",  "$1-",  "(1$)", "-1$",  "1-$",   "1$-",
      "-1 $", "-$ 1", "1 $-", "$ 1-", "$ -1", "1- $", "($ 1)", "(1 $)"};
  const std::string_view pattern = negative
                                       ? kNegative[s.NegCurrFormat < 16 ? s.NegCurrFormat : 1]
                                       : kPositive[s.CurrencyFormat < 4 ? s.CurrencyFormat : 0];
  std::string out;
  for (char c : pattern) {
    if (c == '$') {
      out += s.CurrencyString;
    } else if (c == '1') {
      out += number;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Render(TDecimal d, TFloatFormat format, int precision, int digits,
                   const TFormatSettings& s) {
  std::string out;
  if (format == TFloatFormat::ffGeneral || format == TFloatFormat::ffExponent) {
    RoundDigits(d, precision);
    if (d.Negative) out += '-';
    const int exponentDigits = std::clamp(digits, 0, 4);
    if (format == TFloatFormat::ffExponent) {
      AppendScientific(out, d, precision, exponentDigits, true, s);
    } else {
      AppendGeneral(out, d, precision, exponentDigits, s);
    }
    return out;
  }
  const int decimals = std::clamp(digits, 0, 18);
  // One rounding, at whichever comes first: the last significant digit or the last decimal.
  RoundDigits(d, std::min(precision, d.Exponent + decimals));
  if (d.Exponent > precision) {
    AppendScientific(out, d, 1, 0, false, s);
  } else {
    AppendPlain(out, d, decimals, format == TFloatFormat::ffFixed ? 0 : s.ThousandSeparator, s);
  }
  if (format == TFloatFormat::ffCurrency) return PlaceCurrency(out, d.Negative, s);
  return d.Negative ? '-' + out : out;
}

// ---- Pictures of FormatFloat and FormatCurr ----

// The position of the quote that closes the one at i, or the end of the text.
std::size_t QuoteEnd(std::string_view text, std::size_t i) {
  return std::min(text.find(text[i], i + 1), text.size());
}

bool IsQuote(char c) {
  return c == '\'' || c == '"';
}

// What one section of a picture asks for.
struct TSection {
  std::string_view Text;
  int IntPlaces = 0;  // digit placeholders before the decimal point
  int MinInt = 0;     // of them, those from the first '0' on: integer digits always written
  int DecPlaces = 0;  // digit placeholders after the decimal point
  int MinDec = 0;     // of them, those up to the last '0': decimals always written
  bool Grouping = false;
  std::size_t First = npos;     // first digit placeholder
  std::size_t Last = npos;      // last digit placeholder
  std::size_t Point = npos;     // the decimal point
  std::size_t Exponent = npos;  // the 'E' or 'e' of a scientific section
  int ExponentDigits = 0;

  bool IsDigit(std::size_t i) const { return (Text[i] == '0' || Text[i] == '#') && i < Exponent; }
};

TSection Analyze(std::string_view text) {
  TSection s;
  s.Text = text;
  int firstIntZero = -1;
  bool comma = false;
  for (std::size_t i = 0; i < text.size() && s.Exponent == npos; ++i) {
    const char c = text[i];
    if (IsQuote(c)) {
      i = QuoteEnd(text, i);
    } else if (c == '0' || c == '#') {
      if (s.First == npos) s.First = i;
      s.Last = i;
      s.Grouping = s.Grouping || comma;
      if (s.Point != npos) {
        ++s.DecPlaces;
        if (c == '0') s.MinDec = s.DecPlaces;
      } else {
        if (c == '0' && firstIntZero < 0) firstIntZero = s.IntPlaces;
        ++s.IntPlaces;
      }
    } else if (c == ',') {
      comma = s.First != npos;
    } else if (c == '.' && s.Point == npos) {
      s.Point = i;
    } else if ((c == 'E' || c == 'e') && s.First != npos && i + 2 < text.size() &&
               (text[i + 1] == '+' || text[i + 1] == '-') && text[i + 2] == '0') {
      s.Exponent = i;
      for (std::size_t j = i + 2; j < text.size() && text[j] == '0'; ++j) ++s.ExponentDigits;
    }
  }
  s.MinInt = firstIntZero < 0 ? 0 : s.IntPlaces - firstIntZero;
  if (s.First == npos) s.Point = npos;  // a section of text alone: its '.' is text too
  return s;
}

// Rounds d (a magnitude) as the section shows it.
void RoundFor(const TSection& section, TDecimal& d) {
  if (section.Exponent != npos) {
    RoundDigits(d, section.IntPlaces + section.DecPlaces);
  } else {
    RoundDigits(d, d.Exponent + section.DecPlaces);
  }
}

std::string RenderSection(const TSection& section, TDecimal d, bool minus,
                          const TFormatSettings& s) {
  RoundFor(section, d);
  const bool scientific = section.Exponent != npos;
  const int shift = scientific ? section.IntPlaces : d.Exponent;  // integer digits of d
  const int exponent = scientific && !d.IsZero() ? d.Exponent - section.IntPlaces : 0;
  const int intDigits = std::max(d.IsZero() ? 0 : std::max(shift, 0), section.MinInt);
  int decDigits = section.MinDec;
  for (int j = decDigits; j < section.DecPlaces; ++j) {
    if (d.Digit(shift + j) != '0') decDigits = j + 1;
  }
  const char thousand = section.Grouping ? s.ThousandSeparator : 0;
  auto integers = [&](std::string& out, int from, int to) {
    for (int k = from; k >= to; --k) AppendIntegerDigit(out, d, shift, k, thousand);
  };

  std::string out = minus ? "-" : "";
  const std::string_view text = section.Text;
  int intSeen = 0;
  int decSeen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsQuote(c)) {
      const std::size_t close = QuoteEnd(text, i);
      out.append(text.substr(i + 1, close - i - 1));
      i = close;
    } else if (section.IsDigit(i) && (section.Point == npos || i < section.Point)) {
      const int k = section.IntPlaces - 1 - intSeen++;
      if (intSeen == 1) integers(out, intDigits - 1, section.IntPlaces);  // beyond the places
      if (k < intDigits) integers(out, k, k);
    } else if (section.IsDigit(i)) {
      if (decSeen < decDigits) out += d.Digit(shift + decSeen);
      ++decSeen;
    } else if (i == section.Point) {
      if (section.IntPlaces == 0) integers(out, intDigits - 1, 0);
      if (decDigits > 0) out += s.DecimalSeparator;
    } else if (i == section.Exponent) {
      out += c;
      if (exponent < 0) {
        out += '-';
      } else if (text[i + 1] == '+') {
        out += '+';
      }
      AppendPadded(out, std::abs(exponent), section.ExponentDigits);
      i += 1 + static_cast<std::size_t>(section.ExponentDigits);
    } else if (!(c == ',' && section.First < i && i < section.Last)) {
      out += c;
    }
  }
  return out;
}

std::string FormatPicture(std::string_view format, TDecimal value, int precision,
                          const TFormatSettings& s) {
  std::array<std::string_view, 3> sections;
  std::size_t count = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (IsQuote(format[i])) {
      i = QuoteEnd(format, i);
    } else if (format[i] == ';') {
      if (count < sections.size()) sections[count++] = format.substr(start, i - start);
      start = i + 1;
    }
  }
  if (count < sections.size()) sections[count++] = format.substr(start);

  // Zero is decided by the first section's rounding; a zero never has a minus sign.
  const TSection first = Analyze(sections[0]);
  TDecimal rounded = value;
  RoundFor(first, rounded);
  const bool negative = value.Negative;
  std::size_t chosen = 0;
  bool minus = false;
  if (rounded.IsZero()) {
    if (count > 2 && !sections[2].empty()) chosen = 2;
  } else if (negative && count > 1 && !sections[1].empty()) {
    chosen = 1;
  } else {
    minus = negative;
  }
  if (sections[chosen].empty()) return Render(value, TFloatFormat::ffGeneral, precision, 0, s);
  value.Negative = false;
  return RenderSection(chosen == 0 ? first : Analyze(sections[chosen]), value, minus, s);
}

}  // namespace

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
  if (const char* text = NonFiniteText(value)) return text;
  return Render(FromDouble(value), format, std::clamp(precision, 2, kDoubleDigits), digits,
                settings);
}

std::string CurrToStrF(std::int64_t scaledBy10000, TFloatFormat format, int digits,
                       const TFormatSettings& settings) {
  return Render(FromCurrency(scaledBy10000), format, kCurrencyDigits, digits, settings);
}

std::string CurrToStr(std::int64_t scaledBy10000, const TFormatSettings& settings) {
  return CurrToStrF(scaledBy10000, TFloatFormat::ffGeneral, 0, settings);
}

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings) {
  if (const char* text = NonFiniteText(value)) return text;
  return FormatPicture(format, FromDouble(value), kDoubleDigits, settings);
}

std::string FormatCurr(std::string_view format, std::int64_t scaledBy10000,
                       const TFormatSettings& settings) {
  return FormatPicture(format, FromCurrency(scaledBy10000), kCurrencyDigits, settings);
}

}  // namespace katalog::platform
