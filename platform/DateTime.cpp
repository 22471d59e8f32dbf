#include "platform/DateTime.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace katalog::platform {
namespace {

constexpr std::int32_t kDaysPer400Years = 146097;
constexpr std::int32_t kDaysPer100Years = 36524;
constexpr std::int32_t kDaysPer4Years = 1461;
constexpr std::int32_t kDaysPerYear = 365;

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The local date and time now, read once so that date and time belong together.
TTimeStamp LocalNow() {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  const auto seconds = floor<std::chrono::seconds>(sinceEpoch);
  const time_t whole = static_cast<time_t>(seconds.count());
  tm local{};
  localtime_r(&whole, &local);
  TTimeStamp stamp{kDateDelta, 0};
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, stamp.Date);
  const int ms = static_cast<int>((sinceEpoch - seconds).count());
  TryEncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms, stamp.Time);
  return stamp;
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryEncodeDate(int year, int month, int day, std::int32_t& dayNumber) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  const int before = year - 1;
  std::int32_t n = before * kDaysPerYear + before / 4 - before / 100 + before / 400;
  for (int m = 1; m < month; ++m) n += DaysInMonth(year, m);
  dayNumber = n + day;
  return true;
}

void DecodeDate(std::int32_t dayNumber, int& year, int& month, int& day) {
  if (dayNumber < 1 || dayNumber > kMaxDayNumber) {
    year = month = day = 0;
    return;
  }
  std::int32_t d = dayNumber - 1;
  const int n400 = d / kDaysPer400Years;
  d %= kDaysPer400Years;
  int n100 = d / kDaysPer100Years;
  d %= kDaysPer100Years;
  if (n100 == 4) {  // the last day of a 400-year cycle, a leap day
    n100 = 3;
    d += kDaysPer100Years;
  }
  const int n4 = d / kDaysPer4Years;
  d %= kDaysPer4Years;
  int n1 = d / kDaysPerYear;
  d %= kDaysPerYear;
  if (n1 == 4) {  // the last day of a 4-year cycle, a leap day
    n1 = 3;
    d += kDaysPerYear;
  }
  year = 400 * n400 + 100 * n100 + 4 * n4 + n1 + 1;
  month = 1;
  while (d >= DaysInMonth(year, month)) d -= DaysInMonth(year, month++);
  day = d + 1;
}

int DayOfWeek(std::int32_t dayNumber) {
  // Day 1, 0001-01-01, was a Monday.
  const int r = dayNumber % 7;
  return (r < 0 ? r + 7 : r) + 1;
}

bool TryEncodeTime(int h, int m, int s, int ms, std::int32_t& msOfDay) {
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
  msOfDay = ((h * 60 + m) * 60 + s) * 1000 + ms;
  return true;
}

void DecodeTime(std::int32_t msOfDay, int& h, int& m, int& s, int& ms) {
  std::int32_t t = msOfDay % kMsecsPerDay;
  if (t < 0) t += kMsecsPerDay;
  ms = t % 1000;
  t /= 1000;
  s = t % 60;
  t /= 60;
  m = t % 60;
  h = t / 60;
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  // The magnitude is split, so that the fraction of a negative value counts forward.
  const double scaled = std::round(std::fabs(value) * kMsecsPerDay);
  constexpr std::int64_t kMaxDays = std::numeric_limits<std::int32_t>::max() - kDateDelta;
  if (!(scaled < static_cast<double>(kMaxDays + 1) * kMsecsPerDay)) return {0, 0};  // or NaN
  const auto total = static_cast<std::int64_t>(scaled);
  const auto days = static_cast<std::int32_t>(total / kMsecsPerDay);
  const auto time = static_cast<std::int32_t>(total % kMsecsPerDay);
  return {(value < 0 ? -days : days) + kDateDelta, time};
}

TDateTime TimeStampToDateTime(TTimeStamp stamp) {
  const double days = static_cast<double>(stamp.Date) - kDateDelta;
  const double fraction = static_cast<double>(stamp.Time) / kMsecsPerDay;
  return days < 0 ? days - fraction : days + fraction;
}

TDateTime Now() {
  return TimeStampToDateTime(LocalNow());
}

std::int32_t Today() {
  return LocalNow().Date;
}

std::int32_t CurrentTimeOfDay() {
  return LocalNow().Time;
}

}  // namespace katalog::platform
