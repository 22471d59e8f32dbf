// The damaged-file sweep: a sample table whose files are cut at every region boundary and have
// bytes flipped at several hundred chosen offsets (every header byte, the field descriptors,
// slot headers, page headers and entries, block headers). Each case must either read through or
// end in an engine error, quickly, and (in the sanitizer build) without a sanitizer report.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "fuzz/TableProbe.h"
#include "reliability/SampleDamage.h"

namespace katalog::testing {
namespace {

using TClock = std::chrono::steady_clock;

// A probe of a 40-record table takes milliseconds; a case taking seconds is a hang.
constexpr double kCaseSeconds = 5.0;

class DamagedTableTest : public SampleDamageTest {
 protected:
  // Flips: every header byte, the descriptors every 5th byte, each slot's header, each index
  // page's first 48 bytes (its header and first entries), each blob block's 18-byte header.
  std::vector<TDamage> Flips() const {
    std::vector<TDamage> cases;
    for (std::size_t at = 0; at < 127; ++at) cases.push_back({".DAT", false, at});
    for (std::size_t at = 127; at < firstSlot_; at += 5) cases.push_back({".DAT", false, at});
    for (std::size_t n = 0; n < slots_; ++n)
      for (std::size_t at = 0; at < 9; ++at)
        cases.push_back({".DAT", false, firstSlot_ + n * recordSize_ + at});
    const std::size_t idx = pristine_.at(".IDX").size();
    for (std::size_t at = 0; at < 512; at += 3) cases.push_back({".IDX", false, at});
    for (std::size_t page = kIndexPage; page < idx; page += kIndexPage)
      for (std::size_t at = 0; at < 48; ++at) cases.push_back({".IDX", false, page + at});
    const std::size_t blb = pristine_.at(".BLB").size();
    for (std::size_t at = 0; at < 64; ++at) cases.push_back({".BLB", false, at});
    for (std::size_t block = 512; block < blb; block += blockSize_)
      for (std::size_t at = 0; at < 18; ++at) cases.push_back({".BLB", false, block + at});
    return cases;
  }

  // Applies the damage to a fresh copy of the files and probes the table.
  TProbeResult Probe(const TDamage& damage) {
    Apply(damage);
    return ProbeTable(base_);
  }

  void Sweep(const std::vector<TDamage>& cases) {
    std::map<int, int> outcomes;  // engine error code (0: read through) → cases
    for (const TDamage& damage : cases) {
      const TClock::time_point start = TClock::now();
      TProbeResult result;
      EXPECT_NO_THROW(result = Probe(damage)) << Describe(damage);
      const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
      EXPECT_LT(seconds, kCaseSeconds) << Describe(damage);
      ++outcomes[result.ErrorCode];
    }
    std::string summary;
    for (const auto& [code, count] : outcomes)
      summary += " " + std::to_string(code) + ":" + std::to_string(count);
    RecordProperty("outcomes", summary);
    std::printf("%zu cases; engine error: cases%s\n", cases.size(), summary.c_str());
  }
};

TEST_F(DamagedTableTest, TheSoundTableReadsThroughCleanly) {
  const TProbeResult result = Probe({".DAT", false, pristine_.at(".DAT").size()});
  EXPECT_EQ(result.ErrorCode, 0) << result.Message;
  EXPECT_EQ(result.Findings, 0u);
  EXPECT_GT(result.Steps, 0);
}

TEST_F(DamagedTableTest, EveryCutEndsInAnEngineErrorOrReadsThrough) {
  Sweep(Cuts());
}

TEST_F(DamagedTableTest, EveryFlippedByteEndsInAnEngineErrorOrReadsThrough) {
  Sweep(Flips());
}

}  // namespace
}  // namespace katalog::testing
