// The engine's date and time values.
//
// A day number counts days of the proleptic Gregorian calendar with 0001-01-01 as day 1, so the
// valid dates 0001-01-01 .. 9999-12-31 are the day numbers 1 .. kMaxDayNumber. A time of day is
// the milliseconds since midnight, 0 .. kMsecsPerDay - 1. A TTimeStamp pairs the two.
//
// TDateTime is the floating form: whole days since 1899-12-30 (day number kDateDelta), the
// fraction the time of day. For negative values the fraction still counts forward from midnight
// of the day named by the whole part: -1.25 is 1899-12-29 06:00, not 1899-12-28 18:00.
#pragma once

#include <cstdint>

namespace katalog::platform {

// The day number of 1899-12-30, the zero of TDateTime.
inline constexpr std::int32_t kDateDelta = 693594;
// The day number of 9999-12-31, the last valid date.
inline constexpr std::int32_t kMaxDayNumber = 3652059;
inline constexpr std::int32_t kMsecsPerDay = 86'400'000;

struct TTimeStamp {
  std::int32_t Date;  // day number
  std::int32_t Time;  // milliseconds since midnight
};

using TDateTime = double;

bool IsLeapYear(int year);
// False, leaving dayNumber alone, unless 1 <= year <= 9999 and the month and day exist.
bool TryEncodeDate(int year, int month, int day, std::int32_t& dayNumber);
// Day numbers outside 1 .. kMaxDayNumber decode as 0, 0, 0.
void DecodeDate(std::int32_t dayNumber, int& year, int& month, int& day);
// 1 = Sunday .. 7 = Saturday; defined for every day number, continuing the week backwards.
int DayOfWeek(std::int32_t dayNumber);

// False, leaving msOfDay alone, unless 0 <= h < 24, 0 <= m < 60, 0 <= s < 60, 0 <= ms < 1000.
bool TryEncodeTime(int h, int m, int s, int ms, std::int32_t& msOfDay);
// A value outside one day is first brought into it (modulo kMsecsPerDay).
void DecodeTime(std::int32_t msOfDay, int& h, int& m, int& s, int& ms);

// Rounds to the nearest millisecond. Values that are not finite or whose day number does not fit
// std::int32_t give {0, 0}.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(TTimeStamp stamp);

// The local date and time now.
TDateTime Now();
std::int32_t Today();
std::int32_t CurrentTimeOfDay();

}  // namespace katalog::platform
