// The damaged-file sweep: a sample table whose files are cut at every region boundary and have
// bytes flipped at several hundred chosen offsets (every header byte, the field descriptors,
// slot headers, page headers and entries, block headers). Each case must either read through or
// end in an engine error, quickly, and (in the sanitizer build) without a sanitizer report.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/DataFile.h"
#include "engine/storage/FileSession.h"
#include "fuzz/SampleTable.h"
#include "fuzz/TableProbe.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using TClock = std::chrono::steady_clock;

constexpr int kIndexPage = 4096;
// A probe of a 40-record table takes milliseconds; a case taking seconds is a hang.
constexpr double kCaseSeconds = 5.0;

Bytes Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// One damaged case: which file, and either a length to cut it to or an offset to flip.
struct TDamage {
  std::string Extension;
  bool Cut = false;
  std::size_t At = 0;
};

class DamagedTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartEngine();
    base_ = dir_.File("T");
    MakeSampleTable(base_, true, 0x405, 40);
    for (const char* extension : {".DAT", ".IDX", ".BLB"})
      pristine_[extension] = Read(base_ + extension);
    TDataFile table;
    table.SetFileName(base_);
    table.SetReadOnly(true);
    table.Open();
    firstSlot_ = static_cast<std::size_t>(table.Header().SlotOffset(1));
    recordSize_ = table.Header().RecordSize;
    slots_ = static_cast<std::size_t>(table.Header().NextRecordNumber - 1);
    blockSize_ = table.BlobFile() ? table.BlobFile()->BlockSize() : 512;
  }
  void TearDown() override { StopEngine(); }

  // Cuts: every region boundary of every file, and a byte into each region.
  std::vector<TDamage> Cuts() const {
    std::vector<TDamage> cases;
    std::set<std::size_t> dat = {0, 1, 126, 127, 128, firstSlot_ - 1, firstSlot_};
    for (std::size_t n = 0; n <= slots_; ++n) {
      dat.insert(firstSlot_ + n * recordSize_);
      dat.insert(firstSlot_ + n * recordSize_ + 5);
    }
    for (std::size_t at : dat) cases.push_back({".DAT", true, at});
    for (std::size_t at = 0; at <= pristine_.at(".IDX").size(); at += kIndexPage / 2)
      cases.push_back({".IDX", true, at});
    for (std::size_t at = 0; at <= pristine_.at(".BLB").size(); at += blockSize_ / 2)
      cases.push_back({".BLB", true, at});
    return cases;
  }

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
    for (const auto& [extension, bytes] : pristine_) Write(base_ + extension, bytes);
    Bytes bytes = pristine_.at(damage.Extension);
    if (damage.Cut) {
      bytes.resize(std::min(damage.At, bytes.size()));
    } else if (damage.At < bytes.size()) {
      bytes[damage.At] ^= 0xA5;
    }
    Write(base_ + damage.Extension, bytes);
    return ProbeTable(base_);
  }

  void Sweep(const std::vector<TDamage>& cases) {
    std::map<int, int> outcomes;  // engine error code (0: read through) → cases
    for (const TDamage& damage : cases) {
      const TClock::time_point start = TClock::now();
      TProbeResult result;
      EXPECT_NO_THROW(result = Probe(damage))
          << damage.Extension << (damage.Cut ? " cut at " : " flipped at ") << damage.At;
      const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
      EXPECT_LT(seconds, kCaseSeconds)
          << damage.Extension << (damage.Cut ? " cut at " : " flipped at ") << damage.At;
      ++outcomes[result.ErrorCode];
    }
    std::string summary;
    for (const auto& [code, count] : outcomes)
      summary += " " + std::to_string(code) + ":" + std::to_string(count);
    RecordProperty("outcomes", summary);
    std::printf("%zu cases; engine error: cases%s\n", cases.size(), summary.c_str());
  }

  TempDir dir_;
  std::string base_;
  std::map<std::string, Bytes> pristine_;
  std::size_t firstSlot_ = 0, recordSize_ = 0, slots_ = 0, blockSize_ = 512;
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
