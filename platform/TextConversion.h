// Text to numbers, dates and times and back, under the format settings of a locale.
//
// Every Try... function returns false on text it cannot read, leaving the result alone; none
// throws, and no input, however long or malformed, can make one fail otherwise. Blanks are the
// space and the tab. Text is single-byte, in the settings' code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/DateTime.h"
#include "platform/FormatSettings.h"

namespace katalog::platform {

// A year written with one or two digits lies in 2000 + yy when yy is below this, else 1900 + yy.
inline constexpr int kTwoDigitYearPivot = 50;

// Optional leading blanks, an optional sign, then decimal digits, or '$', "0x" or "0X" followed
// by hexadecimal digits; nothing after. Hexadecimal digits give the magnitude, which must fit like
// a decimal one ("$FFFFFFFFFFFFFFFF" is too large, "-$8000000000000000" is the minimum).
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// Blanks around, an optional sign, digits with at most one DecimalSeparator ('.' is not accepted
// unless it is the separator), at least one digit, and an optional exponent: E or e, an optional
// sign and digits. No thousands separators, no "INF" or "NAN". Values beyond the range of double,
// large or small (1E400, 1E-400), are refused.
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);

// The same text as TryStrToFloat, giving the value times 10 000 rounded half away from zero. The
// digits are read exactly, never through a double; the result must fit std::int64_t.
bool TryStrToCurr(std::string_view text, std::int64_t& scaledBy10000,
                  const TFormatSettings& settings);
// The same with `scale` decimals (0 to 18) instead of 4: the value times 10^scale, rounded half
// away from zero, read exactly; the result must fit std::int64_t.
bool TryStrToScaled(std::string_view text, int scale, std::int64_t& scaled,
                    const TFormatSettings& settings);

// Day, month and year in the order in which the letters d, M and y first appear in
// ShortDateFormat (letters it lacks follow in the order M, d, y), separated by exactly the
// DateSeparator, with blanks allowed around every part and separator. Day and month have one or
// two digits; a year of one or two digits is a two-digit year (kTwoDigitYearPivot), one of three
// or four digits is taken as written. Two parts are day and month of the current year. One
// DateSeparator may follow the last part ("8. 12. 2026."). Names of months are not read.
bool TryStrToDate(std::string_view text, std::int32_t& dayNumber, const TFormatSettings& settings);

// h[:m[:s[.f]]] with the TimeSeparator, each of h, m and s one or two digits, and f one to three
// digits of a decimal fraction of the second after the DecimalSeparator or '.' (".5" is 500 ms).
// Blanks are allowed around the text and before an optional day period suffix: TimeAMString,
// TimePMString, "AM" or "PM" in any ASCII letter case. Hours are 0-23, or 1-12 with a suffix,
// where 12 AM is midnight and 12 PM noon.
bool TryStrToTime(std::string_view text, std::int32_t& msOfDay, const TFormatSettings& settings);

// A date, optionally followed by blanks and a time (midnight when absent); or a time alone, which
// is given the date 1899-12-30 (kDateDelta), the zero of TDateTime. Text that reads whole as a
// date is a date ("8.12. 7" is 8.12.2007); otherwise the longest leading date followed by a time
// wins.
bool TryStrToDateTime(std::string_view text, TTimeStamp& stamp, const TFormatSettings& settings);

// Formats a time stamp with the pattern letters:
//   d dd        day, without and with a leading zero; ddd dddd the short and long day name
//   M MM        month, without and with a leading zero; MMM MMMM the short and long month name
//   yy yyyy     year, two digits or four (y counts as yy, yyy as yyyy)
//   h hh        hour, 12-hour when the format contains AMPM, else 24-hour; H HH always 24-hour
//   m mm        minutes when the last pattern before them was an hour, else like M and MM (mmm
//               and mmmm are month names)
//   n nn        minutes; s ss seconds; z milliseconds; zz zzz milliseconds in three digits
//   AMPM        TimeAMString before noon, else TimePMString
//   / :         the DateSeparator and the TimeSeparator
//   '...' "..." copied without the quotes
// d, y, n, s, z and AMPM are read in any letter case; h and H, m and M differ as above. A longer
// run of a letter is read as its longest pattern followed by the rest of the run. Every other
// character is copied.
std::string FormatDateTime(std::string_view format, TTimeStamp stamp,
                           const TFormatSettings& settings);
// ShortDateFormat.
std::string DateToStr(std::int32_t dayNumber, const TFormatSettings& settings);
// LongTimeFormat.
std::string TimeToStr(std::int32_t msOfDay, const TFormatSettings& settings);
// ShortDateFormat, and a blank and LongTimeFormat unless hours, minutes and seconds are all 0.
std::string DateTimeToStr(TTimeStamp stamp, const TFormatSettings& settings);

// Up to 15 significant digits in the shortest form, the DecimalSeparator, no thousands
// separators. Where a %g conversion would use an exponent, the form is mantissa, 'E', a minus
// sign only for a negative exponent and the exponent without leading zeros: "1,5E20", "1E-5".
// Negative zero is "0"; infinities and NaN are "INF", "-INF" and "NAN".
std::string FloatToStr(double value, const TFormatSettings& settings);

}  // namespace katalog::platform
