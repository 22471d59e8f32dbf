// The fixed date and time forms: what the readers take and refuse, and what the writers give.
#include <gtest/gtest.h>

#include <optional>

#include "platform/IsoDateTime.h"

namespace katalog::platform {
namespace {

std::int32_t Day(int year, int month, int day) {
  std::int32_t n = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, n));
  return n;
}

// The time stamp a text reads as, none when it is refused.
std::optional<std::pair<std::int32_t, std::int32_t>> Read(std::string_view text) {
  TTimeStamp stamp{-1, -1};
  if (!TryIsoStrToDateTime(text, stamp)) {
    EXPECT_EQ(stamp.Date, -1) << "a refused text changed the result: " << text;
    return std::nullopt;
  }
  return std::pair{stamp.Date, stamp.Time};
}

TEST(IsoDateTimeTest, DateTimesAreADateWithABlankOrTAndATimeOrADateAlone) {
  using TStamp = std::optional<std::pair<std::int32_t, std::int32_t>>;
  const std::int32_t day = Day(2026, 12, 8);
  const std::pair<const char*, TStamp> cases[] = {
      {"2026-12-08", std::pair{day, 0}},
      {"2026-12-08 13:45:30", std::pair{day, 49530000}},
      {"2026-12-08T13:45:30.5", std::pair{day, 49530500}},
      {"2026-12-08 13:45:30.05", std::pair{day, 49530050}},
      {"0001-01-01 23:59:59.999", std::pair{1, 86399999}},
      {"9999-12-31", std::pair{kMaxDayNumber, 0}},
      {"2026-12-08 ", std::nullopt},
      {"2026-12-08t13:45:30", std::nullopt},
      {"2026-12-08  13:45:30", std::nullopt},
      {"2026-12-08 13:45", std::nullopt},
      {"2026-12-08 13:45:30.", std::nullopt},
      {"2026-12-08 13:45:30.1234", std::nullopt},
      {"2026-12-08 13:45:30,5", std::nullopt},
      {"2026-12-08 24:00:00", std::nullopt},
      {"2026-02-29", std::nullopt},
      {"0000-01-01", std::nullopt},
      {"2026-1-08", std::nullopt},
      {"2026/12/08", std::nullopt},
      {" 2026-12-08", std::nullopt},
      {"8.12.2026", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Read(text), expected) << text;
}

TEST(IsoDateTimeTest, DatesAndTimesAloneTakeNothingElse) {
  std::int32_t value = 0;
  EXPECT_TRUE(TryIsoStrToDate("2024-02-29", value));
  EXPECT_EQ(value, Day(2024, 2, 29));
  EXPECT_FALSE(TryIsoStrToDate("2024-02-29 00:00:00", value));
  EXPECT_TRUE(TryIsoStrToTime("00:00:00.001", value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(TryIsoStrToTime("2024-02-29", value));
  EXPECT_FALSE(TryIsoStrToTime("1:00:00", value));
  EXPECT_EQ(value, 1);
}

TEST(IsoDateTimeTest, WritersGiveMillisecondsOnlyWhenThereAreAny) {
  EXPECT_EQ(IsoDateToStr(Day(2026, 12, 8)), "2026-12-08");
  EXPECT_EQ(IsoDateToStr(0), "0000-00-00");
  EXPECT_EQ(IsoTimeToStr(49530000), "13:45:30");
  EXPECT_EQ(IsoTimeToStr(49530050), "13:45:30.050");
  EXPECT_EQ(IsoDateTimeToStr({1, 0}), "0001-01-01 00:00:00");
}

}  // namespace
}  // namespace katalog::platform
