// TRunWriter: units handed over in ascending order reach the file as runs of consecutive units,
// split where a unit does not follow and where the buffer is full, each unit's bytes intact.
#include "engine/storage/RunWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace katalog {
namespace {

struct TWritten {
  std::int32_t Offset;
  int Count;
  bool operator==(const TWritten&) const = default;
};

struct TRunCase {
  const char* Name;
  std::int32_t UnitSize;
  std::vector<std::int32_t> Offsets;
  std::vector<TWritten> Expected;
};

class RunWriterTest : public ::testing::TestWithParam<TRunCase> {};

TEST_P(RunWriterTest, WritesRunsOfConsecutiveUnits) {
  const TRunCase& c = GetParam();
  std::vector<TWritten> written;
  std::vector<std::uint8_t> file;
  TRunWriter runs(c.UnitSize, c.Offsets.size(),
                  [&](std::int32_t offset, const std::uint8_t* bytes, int count) {
                    written.push_back({offset, count});
                    const std::size_t end = static_cast<std::size_t>(offset) + count * c.UnitSize;
                    if (file.size() < end) file.resize(end);
                    std::copy(bytes, bytes + count * c.UnitSize, file.begin() + offset);
                  });
  for (const std::int32_t offset : c.Offsets) {
    std::uint8_t* unit = runs.Add(offset);
    std::fill(unit, unit + c.UnitSize, static_cast<std::uint8_t>(offset / c.UnitSize));
  }
  runs.Finish();
  EXPECT_EQ(written, c.Expected);
  for (const std::int32_t offset : c.Offsets) {
    EXPECT_EQ(file[offset], static_cast<std::uint8_t>(offset / c.UnitSize));
    EXPECT_EQ(file[offset + c.UnitSize - 1], static_cast<std::uint8_t>(offset / c.UnitSize));
  }
}

constexpr std::int32_t kPage = 4096;
constexpr std::int32_t kHalfRun = TRunWriter::kRunBytes / 2;  // two units fill the buffer

INSTANTIATE_TEST_SUITE_P(
    Cases, RunWriterTest,
    ::testing::Values(
        TRunCase{"Nothing", kPage, {}, {}}, TRunCase{"One", kPage, {kPage}, {{kPage, 1}}},
        TRunCase{"Consecutive", kPage, {kPage, 2 * kPage, 3 * kPage}, {{kPage, 3}}},
        TRunCase{"Gap", kPage, {kPage, 3 * kPage, 4 * kPage}, {{kPage, 1}, {3 * kPage, 2}}},
        TRunCase{"FullBuffer",
                 kHalfRun,
                 {0, kHalfRun, 2 * kHalfRun, 3 * kHalfRun, 4 * kHalfRun},
                 {{0, 2}, {2 * kHalfRun, 2}, {4 * kHalfRun, 1}}}),
    [](const ::testing::TestParamInfo<TRunCase>& c) { return std::string(c.param.Name); });

}  // namespace
}  // namespace katalog
