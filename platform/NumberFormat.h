// Numbers and currency amounts to text under the format settings of a locale.
//
// Doubles are taken at 15 significant digits, correctly rounded from their binary value (digits
// beyond print as 0); currency amounts are 64-bit integers holding the value times 10 000 and are
// formatted exactly, never through a double. Every further rounding is half away from zero on the
// decimal digits, and a result that rounds to zero never has a minus sign. NaN and the infinities
// are "NAN", "INF" and "-INF" whatever the format. Text is single-byte, in the settings' code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FormatSettings.h"

namespace katalog::platform {

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// precision is the number of significant digits, 2-15; digits depends on the format:
//   ffGeneral   the shortest form with at most precision digits ("123,456", "1E20", "1,5E-7");
//               scientific when the decimal exponent is at least precision or below -4, written
//               as mantissa, 'E', a minus sign only for a negative exponent and at least digits
//               (0-4) exponent digits.
//   ffExponent  "-d,dddE+dd": precision digits in all, the exponent always signed and with at
//               least digits (0-4) digits.
//   ffFixed     "-ddd,dd" with digits (0-18) decimals; more than precision integer digits turn
//               it into the scientific form of ffGeneral (exponent without leading zeros).
//   ffNumber    ffFixed with the ThousandSeparator between groups of three integer digits.
//   ffCurrency  ffNumber placed with CurrencyString by CurrencyFormat, or by NegCurrFormat for a
//               negative amount (codes out of range act as 0 and 1: "$1" and "-$1").
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings);
// As FloatToStrF with precision 19, on the exact amount.
std::string CurrToStrF(std::int64_t scaledBy10000, TFloatFormat format, int digits,
                       const TFormatSettings& settings);
// CurrToStrF with ffGeneral and digits 0: "922337203685477,5807", "-12,5", "3".
std::string CurrToStr(std::int64_t scaledBy10000, const TFormatSettings& settings);

// Formats by a picture of up to three sections separated by ';': for positive values, for
// negative values (written without an added minus sign; when it is missing or empty the first
// section is used with a leading '-') and for zero. A value that rounds to zero with the first
// section's decimals takes the zero section when it is there and not empty, else the first
// section without a sign; never the negative one. In a section:
//   0 #        a digit; '0' writes 0 where the number has none, '#' writes nothing. Integer
//              digits beyond the placeholders are all written at the first one.
//   .          the first one is the decimal point, written as DecimalSeparator when a decimal
//              digit follows; the value is rounded to the decimal placeholders.
//   ,          between the first and last digit placeholder: ThousandSeparator every three
//              integer digits; elsewhere copied.
//   E+0 E-0 e+0 e-0   scientific: the digit placeholders before the point fix the exponent, the
//              exponent has at least as many digits as there are 0s; '+' writes its sign always,
//              '-' only when it is negative.
//   '...' "..."  copied without the quotes; every other character is copied ("0.0 %" writes a
//              per cent sign and does not scale).
// An empty picture, or an empty chosen section, gives ffGeneral with precision 15 and digits 0
// (CurrToStr for FormatCurr).
std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings);
// FormatFloat on the exact amount: four decimals, up to 19 significant digits.
std::string FormatCurr(std::string_view format, std::int64_t scaledBy10000,
                       const TFormatSettings& settings);

}  // namespace katalog::platform
