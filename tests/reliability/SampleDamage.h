// The damaged sample table both sweeps start from: the fuzz seeds' 40-record Czech table with a
// primary index, a secondary index and memos, its pristine files, where its structures lie, the
// cuts at every region boundary, and one damage applied to a fresh copy of the files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "fuzz/SampleTable.h"
#include "support/TempDir.h"

namespace katalog::testing {

inline constexpr std::size_t kIndexPage = 4096;
inline const char* const kTableExtensions[] = {".DAT", ".IDX", ".BLB"};

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
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

inline std::string Describe(const TDamage& damage) {
  return damage.Extension + (damage.Cut ? " cut at " : " flipped at ") + std::to_string(damage.At);
}

class SampleDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartEngine();
    base_ = dir_.File("T");
    MakeSampleTable(base_, true, 0x405, 40);
    for (const char* extension : kTableExtensions)
      pristine_[extension] = ReadFile(base_ + extension);
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

  // Writes the pristine files again, with the damage in one of them.
  void Apply(const TDamage& damage) {
    for (const auto& [extension, bytes] : pristine_) WriteFile(base_ + extension, bytes);
    std::vector<std::uint8_t> bytes = pristine_.at(damage.Extension);
    if (damage.Cut) {
      bytes.resize(std::min(damage.At, bytes.size()));
    } else if (damage.At < bytes.size()) {
      bytes[damage.At] ^= 0xA5;
    }
    WriteFile(base_ + damage.Extension, bytes);
  }

  TempDir dir_;
  std::string base_;
  std::map<std::string, std::vector<std::uint8_t>> pristine_;
  std::size_t firstSlot_ = 0, recordSize_ = 0, slots_ = 0, blockSize_ = 512;
};

}  // namespace katalog::testing
