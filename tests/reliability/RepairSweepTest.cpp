// The repair sweep: the sample table's files cut at every region boundary and with bytes flipped
// in every structure, each case repaired. A repair must end, quickly, either with the engine's
// error and every file as it was, or with a table that opens and verifies clean; never with a
// crash, a sanitizer report or another kind of exception.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/table/TableRepair.h"
#include "engine/table/TableVerifier.h"
#include "reliability/SampleDamage.h"

namespace katalog::testing {
namespace {

using TClock = std::chrono::steady_clock;

// A repair of a 40-record table takes tens of milliseconds; seconds would be a hang.
constexpr double kCaseSeconds = 5.0;

class RepairSweepTest : public SampleDamageTest {
 protected:
  // Flips in every structure: the data file header, descriptors, slot headers; the index header
  // and descriptors, each page's header and first entry; the blob header and block headers.
  std::vector<TDamage> Flips() const {
    std::vector<TDamage> cases;
    for (std::size_t at = 0; at < 127; ++at) cases.push_back({".DAT", false, at});
    for (std::size_t at = 127; at < firstSlot_; at += 23) cases.push_back({".DAT", false, at});
    for (std::size_t n = 0; n < slots_; ++n)
      for (std::size_t at : {0, 1, 5})
        cases.push_back({".DAT", false, firstSlot_ + n * recordSize_ + at});
    for (std::size_t at = 0; at < 400; at += 7) cases.push_back({".IDX", false, at});
    for (std::size_t at = 3974; at < 3980; ++at) cases.push_back({".IDX", false, at});
    for (std::size_t page = kIndexPage; page < pristine_.at(".IDX").size(); page += kIndexPage)
      for (std::size_t at : {0, 1, 2, 3, 7, 11, 13, 16, 20})
        cases.push_back({".IDX", false, page + at});
    for (std::size_t at = 0; at < 20; ++at) cases.push_back({".BLB", false, at});
    for (std::size_t block = 512; block < pristine_.at(".BLB").size(); block += blockSize_)
      for (std::size_t at : {0, 4, 8, 10, 14}) cases.push_back({".BLB", false, block + at});
    return cases;
  }

  std::map<std::string, std::vector<std::uint8_t>> TableFiles() const {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const char* extension : kTableExtensions) {
      if (std::filesystem::exists(base_ + extension))
        files[extension] = ReadFile(base_ + extension);
    }
    return files;
  }

  // Damages a fresh copy of the files, repairs it, and checks the outcome; returns it as text.
  std::string Repair(const TDamage& damage) {
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      std::filesystem::remove(entry.path());
    Apply(damage);
    const auto damaged = TableFiles();
    TRepairOutcome outcome = TRepairOutcome::Sound;
    try {
      outcome = RepairTable(base_, {});
    } catch (const EIsamEngineError& e) {
      EXPECT_EQ(TableFiles(), damaged) << Describe(damage) << ": " << e.what();
      return std::to_string(e.ErrorCode());
    } catch (const EDatabaseError& e) {
      ADD_FAILURE() << Describe(damage) << ": " << e.what();
      EXPECT_EQ(TableFiles(), damaged) << Describe(damage);
      return "error";
    }
    TDataFile table;
    table.SetExclusive(true);
    table.SetReadOnly(true);
    table.SetFileName(base_);
    table.Open();
    std::vector<std::string> notes;
    const std::vector<std::string> problems = VerifyTable(table, &notes);
    EXPECT_TRUE(problems.empty()) << Describe(damage) << ": " << problems.front();
    EXPECT_TRUE(notes.empty()) << Describe(damage) << ": " << notes.front();
    EXPECT_FALSE(std::filesystem::exists(base_ + ".IDX.new")) << Describe(damage);
    return outcome == TRepairOutcome::Sound ? "sound" : "repaired";
  }

  void Sweep(const std::vector<TDamage>& cases) {
    std::map<std::string, int> outcomes;
    for (const TDamage& damage : cases) {
      const TClock::time_point start = TClock::now();
      std::string outcome = "crashed";
      EXPECT_NO_THROW(outcome = Repair(damage)) << Describe(damage);
      const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
      EXPECT_LT(seconds, kCaseSeconds) << Describe(damage);
      ++outcomes[outcome];
    }
    std::string summary;
    for (const auto& [outcome, count] : outcomes)
      summary += " " + outcome + ": " + std::to_string(count);
    RecordProperty("outcomes", summary);
    std::printf("%zu cases;%s\n", cases.size(), summary.c_str());
  }
};

TEST_F(RepairSweepTest, EveryCutIsRepairedOrRefused) {
  Sweep(Cuts());
}

TEST_F(RepairSweepTest, EveryFlippedByteIsRepairedOrRefused) {
  Sweep(Flips());
}

}  // namespace
}  // namespace katalog::testing
