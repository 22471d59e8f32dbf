#include "platform/DateTime.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace katalog::platform {
namespace {

std::int32_t DayNumber(int year, int month, int day) {
  std::int32_t n = -1;
  EXPECT_TRUE(TryEncodeDate(year, month, day, n)) << year << "-" << month << "-" << day;
  return n;
}

TEST(DateTimeCalendarTest, LeapYears) {
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(1600));
  EXPECT_TRUE(IsLeapYear(4));
  EXPECT_FALSE(IsLeapYear(1));
}

TEST(DateTimeCalendarTest, KnownDayNumbers) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(DayNumber(1899, 12, 30), kDateDelta);
  EXPECT_EQ(DayNumber(1970, 1, 1), 719163);
  EXPECT_EQ(DayNumber(2000, 2, 29), 730179);
  EXPECT_EQ(DayNumber(2000, 3, 1), 730180);
  EXPECT_EQ(DayNumber(1600, 12, 31), 584388);
  EXPECT_EQ(DayNumber(2026, 12, 8), 739958);
  EXPECT_EQ(DayNumber(9999, 12, 31), 3652059);
  EXPECT_EQ(DayNumber(9999, 12, 31), kMaxDayNumber);
}

TEST(DateTimeCalendarTest, EncodeRefusesDatesThatDoNotExist) {
  const struct {
    int y, m, d;
  } bad[] = {{0, 12, 31},   {10000, 1, 1}, {2026, 0, 1},  {2026, 13, 1},
             {2026, 1, 0},  {2026, 1, 32}, {2026, 4, 31}, {2023, 2, 29},
             {1900, 2, 29}, {2000, 2, 30}, {-1, 1, 1}};
  for (const auto& date : bad) {
    std::int32_t n = 42;
    EXPECT_FALSE(TryEncodeDate(date.y, date.m, date.d, n))
        << date.y << "-" << date.m << "-" << date.d;
    EXPECT_EQ(n, 42);
  }
}

// Walks the whole calendar: every date gets the next day number and decodes back to itself.
TEST(DateTimeCalendarTest, EveryDateRoundTrips) {
  std::int32_t expected = 1;
  for (int y = 1; y <= 9999; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= 31; ++d) {
        std::int32_t n = 0;
        if (!TryEncodeDate(y, m, d, n)) break;
        ASSERT_EQ(n, expected) << y << "-" << m << "-" << d;
        int year = 0, month = 0, day = 0;
        DecodeDate(n, year, month, day);
        ASSERT_TRUE(year == y && month == m && day == d) << n;
        ++expected;
      }
    }
  }
  EXPECT_EQ(expected - 1, kMaxDayNumber);
}

TEST(DateTimeCalendarTest, DecodeOutsideTheCalendarGivesZeros) {
  for (std::int32_t n : {0, -1, kMaxDayNumber + 1, std::numeric_limits<std::int32_t>::min()}) {
    int year = 7, month = 7, day = 7;
    DecodeDate(n, year, month, day);
    EXPECT_EQ(year, 0);
    EXPECT_EQ(month, 0);
    EXPECT_EQ(day, 0);
  }
}

TEST(DateTimeCalendarTest, DayOfWeek) {
  EXPECT_EQ(DayOfWeek(DayNumber(2026, 12, 8)), 3);  // Tuesday
  EXPECT_EQ(DayOfWeek(1), 2);                       // 0001-01-01, Monday
  EXPECT_EQ(DayOfWeek(kDateDelta), 7);              // 1899-12-30, Saturday
  EXPECT_EQ(DayOfWeek(DayNumber(1970, 1, 1)), 5);   // Thursday
  EXPECT_EQ(DayOfWeek(kMaxDayNumber), 6);           // 9999-12-31, Friday
  // Before day 1 the week goes on backwards.
  EXPECT_EQ(DayOfWeek(0), 1);
  EXPECT_EQ(DayOfWeek(-1), 7);
  EXPECT_EQ(DayOfWeek(-7), 1);
  EXPECT_GE(DayOfWeek(std::numeric_limits<std::int32_t>::min()), 1);
}

TEST(DateTimeTimeOfDayTest, EncodeAndDecode) {
  std::int32_t t = -1;
  ASSERT_TRUE(TryEncodeTime(0, 0, 0, 0, t));
  EXPECT_EQ(t, 0);
  ASSERT_TRUE(TryEncodeTime(23, 59, 59, 999, t));
  EXPECT_EQ(t, kMsecsPerDay - 1);
  ASSERT_TRUE(TryEncodeTime(7, 5, 3, 20, t));
  EXPECT_EQ(t, 25'503'020);
  int h = 0, m = 0, s = 0, ms = 0;
  DecodeTime(25'503'020, h, m, s, ms);
  EXPECT_EQ(h, 7);
  EXPECT_EQ(m, 5);
  EXPECT_EQ(s, 3);
  EXPECT_EQ(ms, 20);
}

TEST(DateTimeTimeOfDayTest, EncodeRefusesOutOfRangeParts) {
  std::int32_t t = 42;
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, t));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, t));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, t));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, t));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, t));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, -1, t));
  EXPECT_EQ(t, 42);
}

TEST(DateTimeTimeOfDayTest, DecodeBringsOtherValuesIntoTheDay) {
  int h = 0, m = 0, s = 0, ms = 0;
  DecodeTime(-1, h, m, s, ms);
  EXPECT_EQ(h * 10000000 + m * 100000 + s * 1000 + ms, 235959999);
  DecodeTime(kMsecsPerDay, h, m, s, ms);
  EXPECT_EQ(h + m + s + ms, 0);
  DecodeTime(std::numeric_limits<std::int32_t>::min(), h, m, s, ms);
  EXPECT_TRUE(h >= 0 && h < 24 && m >= 0 && s >= 0 && ms >= 0);
}

TEST(DateTimeFloatTest, PositiveValues) {
  const TTimeStamp zero = DateTimeToTimeStamp(0.0);
  EXPECT_EQ(zero.Date, kDateDelta);
  EXPECT_EQ(zero.Time, 0);
  const TTimeStamp epoch = DateTimeToTimeStamp(25569.75);
  EXPECT_EQ(epoch.Date, 719163);
  EXPECT_EQ(epoch.Time, 18 * 3600 * 1000);
  EXPECT_EQ(TimeStampToDateTime({719163, 18 * 3600 * 1000}), 25569.75);
}

TEST(DateTimeFloatTest, NegativeValuesCountTheTimeForward) {
  const TTimeStamp a = DateTimeToTimeStamp(-1.25);  // 1899-12-29 06:00
  EXPECT_EQ(a.Date, kDateDelta - 1);
  EXPECT_EQ(a.Time, 6 * 3600 * 1000);
  EXPECT_EQ(TimeStampToDateTime(a), -1.25);
  EXPECT_EQ(TimeStampToDateTime({kDateDelta - 2, 18 * 3600 * 1000}), -2.75);
  EXPECT_EQ(TimeStampToDateTime({kDateDelta - 1, 0}), -1.0);
  // Between -1 and 0 the whole part is day zero: -0.5 is noon of 1899-12-30.
  const TTimeStamp b = DateTimeToTimeStamp(-0.5);
  EXPECT_EQ(b.Date, kDateDelta);
  EXPECT_EQ(b.Time, 12 * 3600 * 1000);
}

TEST(DateTimeFloatTest, RoundsToTheMillisecond) {
  const double ms = 1.0 / kMsecsPerDay;
  EXPECT_EQ(DateTimeToTimeStamp(0.6 * ms).Time, 1);
  EXPECT_EQ(DateTimeToTimeStamp(0.4 * ms).Time, 0);
  // The last instant of a day that rounds up is the next midnight, not ms 86 400 000.
  const TTimeStamp next = DateTimeToTimeStamp(1.0 - 0.2 * ms);
  EXPECT_EQ(next.Date, kDateDelta + 1);
  EXPECT_EQ(next.Time, 0);
  const TTimeStamp back = DateTimeToTimeStamp(-1.0 + 0.2 * ms);
  EXPECT_EQ(back.Date, kDateDelta - 1);
  EXPECT_EQ(back.Time, 0);
}

TEST(DateTimeFloatTest, CalendarEndsRoundTrip) {
  for (const TTimeStamp stamp :
       {TTimeStamp{1, 0}, TTimeStamp{1, kMsecsPerDay - 1},
        TTimeStamp{kMaxDayNumber, kMsecsPerDay - 1}, TTimeStamp{kDateDelta - 1, 1}}) {
    const TTimeStamp back = DateTimeToTimeStamp(TimeStampToDateTime(stamp));
    EXPECT_EQ(back.Date, stamp.Date);
    EXPECT_EQ(back.Time, stamp.Time);
  }
}

TEST(DateTimeFloatTest, UnrepresentableValuesGiveZero) {
  for (const double v :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300, -1e300, 3e9}) {
    const TTimeStamp stamp = DateTimeToTimeStamp(v);
    EXPECT_EQ(stamp.Date, 0) << v;
    EXPECT_EQ(stamp.Time, 0) << v;
  }
}

// Sets the process time zone for the life of the object.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

std::int64_t UtcMillisecondsNow() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TEST(DateTimeClockTest, NowIsTheLocalTime) {
  const TimeZone utc("UTC");
  const std::int64_t before = UtcMillisecondsNow();
  const TTimeStamp now = DateTimeToTimeStamp(Now());
  const std::int64_t after = UtcMillisecondsNow();
  const std::int64_t seen = static_cast<std::int64_t>(now.Date - 719163) * kMsecsPerDay + now.Time;
  EXPECT_GE(seen, before);
  EXPECT_LE(seen, after);

  const TimeZone ahead("XYZ-3");  // three hours east of UTC, no daylight saving
  const std::int64_t local = UtcMillisecondsNow() + 3 * 3600 * 1000;
  const std::int32_t today = Today();
  const std::int32_t time = CurrentTimeOfDay();
  EXPECT_LE(std::abs(static_cast<std::int64_t>(today - 719163) - local / kMsecsPerDay), 1);
  const std::int64_t drift = (time - local % kMsecsPerDay + kMsecsPerDay) % kMsecsPerDay;
  EXPECT_TRUE(drift < 1000 || drift > kMsecsPerDay - 1000) << drift;
}

}  // namespace
}  // namespace katalog::platform
