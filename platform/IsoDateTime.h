// Dates and times in fixed forms that no locale changes, for programs that exchange values as
// text (import, export, filter constants asked for in these forms):
//   date        YYYY-MM-DD
//   time        HH:MM:SS, or HH:MM:SS.f with one to three digits of a fraction of the second
//   date-time   a date, then a blank or 'T' and a time; or a date alone, which is midnight
// Readers take the whole text, nothing around it, and refuse dates outside 0001-01-01 ..
// 9999-12-31 and times outside one day; like the Try... conversions they leave the result alone
// when they return false. Writers give the time's fraction as three digits, and only when the
// milliseconds are not zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/DateTime.h"

namespace katalog::platform {

bool TryIsoStrToDate(std::string_view text, std::int32_t& dayNumber);
bool TryIsoStrToTime(std::string_view text, std::int32_t& msOfDay);
bool TryIsoStrToDateTime(std::string_view text, TTimeStamp& stamp);

// Day numbers outside the valid dates are written as 0000-00-00, as DecodeDate gives them.
std::string IsoDateToStr(std::int32_t dayNumber);
// A value outside one day is first brought into it, as DecodeTime does.
std::string IsoTimeToStr(std::int32_t msOfDay);
// The date, a blank and the time, always with the time.
std::string IsoDateTimeToStr(TTimeStamp stamp);

}  // namespace katalog::platform
