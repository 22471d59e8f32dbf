// The blob file through a table's blob fields: block layout and growth, the free list, reading
// past the end, damaged chains, the open-blob limits, random changes against a model with a walk
// of the raw file, enciphered tables and a large table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/index/BlobFile.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using Bytes = std::vector<std::uint8_t>;

constexpr int kMemo = 2;
constexpr int kName = 3;
constexpr std::int32_t kB = 512;
constexpr std::int32_t kPerBlock = kB - 18;

Bytes Pattern(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(length);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// One block as it stands in the file, deciphered when asked.
struct RawBlock {
  std::int32_t Previous, Next, Record, Total;
  std::uint16_t Used;
  Bytes Data;
};

class BlobFileTest : public katalog::testing::TableTest {
 protected:
  void Create(const std::string& password = "") {
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Memo", 3, 22}, {"Name", 1, 0, 30}};
    def.Indexes.push_back({"", {"Id"}, {}, true});
    def.Password = password;
    CreateTable(def);
  }

  std::unique_ptr<TDataFile> Open(bool exclusive = false) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  std::string BlobPath() const { return dir_.File("T.BLB"); }

  // Inserts a record with the memo; the blob is closed again on the caller's buffer.
  void Put(TDataFile& table, std::int64_t id, const Bytes& memo, const std::string& name = "") {
    Bytes record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    ASSERT_TRUE(table.WriteField(TFieldSet::Working, 1, id, record.data()));
    if (!name.empty()) {
      ASSERT_TRUE(table.WriteField(TFieldSet::Working, kName, name, record.data()));
    }
    ASSERT_EQ(table.OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
    if (!memo.empty()) {
      ASSERT_EQ(table.WriteBlob(TFieldSet::Working, kMemo, record.data(), 0,
                                static_cast<std::int32_t>(memo.size()), memo.data()),
                0);
    }
    table.Insert(record.data(), {});
    ASSERT_EQ(table.CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
  }

  // Makes the record with `id` current and copies it into `record`.
  bool GoTo(TDataFile& table, std::int64_t id, Bytes& record) {
    record.assign(table.WorkingRecordSize(), 0);
    table.BlankRecord(record.data());
    table.WriteField(TFieldSet::Working, 1, id, record.data());
    Bytes key(table.IndexFile().Descriptor(0).KeyLength);
    BuildKey(table.KeyContextFor(0), record.data(), key.data());
    table.SetIndex(0);
    if (!table.FindKey(key.data(), TKeyMatch::Exact)) return false;
    return table.GetCurrent(record.data(), false) == 0;
  }

  std::optional<Bytes> ReadMemo(TDataFile& table, std::int64_t id) {
    Bytes record;
    if (!GoTo(table, id, record)) return std::nullopt;
    return MemoOf(table, record);
  }

  Bytes MemoOf(TDataFile& table, Bytes& record) {
    EXPECT_EQ(table.OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
    std::int32_t size = -1;
    EXPECT_EQ(table.GetBlobSize(TFieldSet::Working, kMemo, record.data(), size), 0);
    Bytes memo(static_cast<std::size_t>(std::max(size, 0)));
    std::int32_t copied = -1;
    EXPECT_EQ(
        table.ReadBlob(TFieldSet::Working, kMemo, record.data(), 0, size, memo.data(), copied), 0);
    EXPECT_EQ(copied, size);
    EXPECT_EQ(table.CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
    return memo;
  }

  // Replaces the memo of the record with `id`: `length` bytes of which the first ones are `data`.
  void Rewrite(TDataFile& table, std::int64_t id, const Bytes& data, std::int32_t length) {
    Bytes record;
    ASSERT_TRUE(GoTo(table, id, record));
    ASSERT_EQ(table.GetCurrent(record.data(), true), 0);
    ASSERT_EQ(table.OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
    ASSERT_EQ(table.SetBlobSize(TFieldSet::Working, kMemo, record.data(), length), 0);
    if (!data.empty()) {
      ASSERT_EQ(table.WriteBlob(TFieldSet::Working, kMemo, record.data(), 0,
                                static_cast<std::int32_t>(data.size()), data.data()),
                0);
    }
    table.Update(record.data(), {.Unlock = true});
    ASSERT_EQ(table.CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
  }

  // The first block the stored record refers to.
  std::int32_t FirstBlockOf(TDataFile& table, std::int64_t id) {
    Bytes record;
    EXPECT_TRUE(GoTo(table, id, record));
    return LoadI32(record.data() + table.PhysicalFields()[kMemo - 1].FieldOffset + 1);
  }

  static RawBlock Decode(const Bytes& file, std::int32_t offset, bool encrypted) {
    Bytes header(file.begin() + offset, file.begin() + offset + 18);
    Bytes data(file.begin() + offset + 18, file.begin() + offset + kB);
    if (encrypted) {
      ApplyCipher(header.data(), header.size(), kRecordSeeds);
      ApplyCipher(data.data(), data.size(), kRecordSeeds);
    }
    return {LoadI32(header.data()),      LoadI32(header.data() + 4), LoadI32(header.data() + 10),
            LoadI32(header.data() + 14), LoadU16(header.data() + 8), std::move(data)};
  }

  // Walks every live chain and the free list of the raw blob file: each block is in exactly one
  // of them, each chain holds its memo's bytes, and nothing between the header and the end of
  // file is left over.
  void CheckBlocks(TDataFile& table, const std::map<std::int64_t, Bytes>& model, bool encrypted) {
    const Bytes file = ReadBytes(BlobPath());
    ASSERT_GE(file.size(), 512u);
    Bytes header(file.begin(), file.begin() + 512);  // enciphered whole in such a table
    if (encrypted) ApplyCipher(header.data(), header.size(), kRecordSeeds);
    ASSERT_EQ(header[8], 3);
    const std::int32_t end = LoadI32(header.data() + 13);
    ASSERT_EQ((end - 512) % kB, 0);
    ASSERT_GE(static_cast<std::int64_t>(file.size()), end);
    std::map<std::int32_t, std::string> owner;
    auto claim = [&](std::int32_t offset, const std::string& who) {
      ASSERT_TRUE(offset >= 512 && offset < end && (offset - 512) % kB == 0)
          << who << " points to " << offset;
      ASSERT_TRUE(owner.emplace(offset, who).second)
          << "block " << offset << " in " << who << " and " << owner[offset];
    };
    for (const auto& [id, memo] : model) {
      Bytes record;
      ASSERT_TRUE(GoTo(table, id, record)) << id;
      const std::int32_t n = table.CurrentRecordNumber();
      std::int32_t offset =
          LoadI32(record.data() + table.PhysicalFields()[kMemo - 1].FieldOffset + 1);
      if (memo.empty()) {
        EXPECT_EQ(offset, 0) << id;
        continue;
      }
      Bytes collected;
      std::int32_t previous = 0;
      int blocks = 0;
      while (offset != 0) {
        claim(offset, "record " + std::to_string(id));
        if (::testing::Test::HasFatalFailure()) return;
        const RawBlock block = Decode(file, offset, encrypted);
        EXPECT_EQ(block.Record, n) << offset;
        EXPECT_EQ(block.Previous, previous) << offset;
        EXPECT_EQ(block.Total, blocks == 0 ? static_cast<std::int32_t>(memo.size()) : 0);
        collected.insert(collected.end(), block.Data.begin(), block.Data.begin() + block.Used);
        previous = offset;
        offset = block.Next;
        ++blocks;
      }
      EXPECT_EQ(blocks, (static_cast<std::int32_t>(memo.size()) + kPerBlock - 1) / kPerBlock);
      EXPECT_EQ(collected, memo) << id;
    }
    for (std::int32_t offset = LoadI32(header.data() + 9); offset != 0;) {
      claim(offset, "the free list");
      if (::testing::Test::HasFatalFailure()) return;
      offset = Decode(file, offset, encrypted).Next;
    }
    EXPECT_EQ(static_cast<std::int32_t>(owner.size()), (end - 512) / kB) << "leaked blocks";
  }

  static bool Contains(const Bytes& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
  }
};

TEST_F(BlobFileTest, BlocksAreAppendedAsTheBlobsNeedThem) {
  Create();
  EXPECT_EQ(std::filesystem::file_size(BlobPath()), 512u);
  auto table = Open();
  ASSERT_NE(table->BlobFile(), nullptr);
  EXPECT_EQ(table->BlobFile()->BlockSize(), 512u);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 512);
  EXPECT_EQ(table->BlobFile()->Header().FreeBlockHead, 0);

  Put(*table, 1, {0x41});
  EXPECT_EQ(FirstBlockOf(*table, 1), 512);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 1024);

  Put(*table, 2, Pattern(kPerBlock, 2));  // exactly one block
  EXPECT_EQ(FirstBlockOf(*table, 2), 1024);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 1536);

  Put(*table, 3, Pattern(kPerBlock + 1, 3));  // one byte more: two blocks
  EXPECT_EQ(FirstBlockOf(*table, 3), 1536);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 2560);

  Put(*table, 4, {});  // an empty memo takes no block
  EXPECT_EQ(FirstBlockOf(*table, 4), 0);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 2560);
  table->Close();

  const Bytes file = ReadBytes(BlobPath());
  ASSERT_EQ(file.size(), 2560u);
  EXPECT_EQ(LoadI32(file.data() + 13), 2560);
  EXPECT_EQ(file[8], 3);
  const RawBlock second = Decode(file, 1536, false);
  EXPECT_EQ(second.Next, 2048);
  EXPECT_EQ(second.Used, kPerBlock);
  EXPECT_EQ(second.Total, kPerBlock + 1);
  const RawBlock tail = Decode(file, 2048, false);
  EXPECT_EQ(tail.Previous, 1536);
  EXPECT_EQ(tail.Next, 0);
  EXPECT_EQ(tail.Used, 1);
  EXPECT_EQ(tail.Total, 0);

  table = Open();
  EXPECT_EQ(ReadMemo(*table, 1), Bytes{0x41});
  EXPECT_EQ(ReadMemo(*table, 2), Pattern(kPerBlock, 2));
  EXPECT_EQ(ReadMemo(*table, 3), Pattern(kPerBlock + 1, 3));
  EXPECT_EQ(ReadMemo(*table, 4), Bytes{});
}

TEST_F(BlobFileTest, ShrinkingReleasesTheTailInChainOrderAndGrowingReusesIt) {
  Create();
  auto table = Open();
  const Bytes three = Pattern(3 * kPerBlock - 10, 7);
  Put(*table, 1, three);
  ASSERT_EQ(table->BlobFile()->Header().EndOfFile, 512 + 3 * kB);

  Rewrite(*table, 1, {}, 100);  // the first 100 bytes stay
  TBlobFile& blob = *table->BlobFile();
  EXPECT_EQ(blob.Header().FreeBlockHead, 1536);
  EXPECT_EQ(blob.Blocks().Fetch(1536)->Next, 1024);
  EXPECT_EQ(blob.Blocks().Fetch(1024)->Next, 0);
  EXPECT_EQ(blob.Blocks().Fetch(512)->Next, 0);
  EXPECT_EQ(blob.Blocks().Fetch(512)->Total, 100);
  EXPECT_EQ(ReadMemo(*table, 1), Bytes(three.begin(), three.begin() + 100));

  // A new two-block memo takes the free blocks, head first, and the file does not grow.
  Put(*table, 2, Pattern(kPerBlock + 5, 8));
  EXPECT_EQ(FirstBlockOf(*table, 2), 1536);
  EXPECT_EQ(blob.Blocks().Fetch(1536)->Next, 1024);
  EXPECT_EQ(blob.Header().FreeBlockHead, 0);
  EXPECT_EQ(blob.Header().EndOfFile, 512 + 3 * kB);
  CheckBlocks(*table,
              {{1, Bytes(three.begin(), three.begin() + 100)}, {2, Pattern(kPerBlock + 5, 8)}},
              false);

  // Emptying a memo frees its whole chain and the record keeps no block.
  Rewrite(*table, 2, {}, 0);
  EXPECT_EQ(FirstBlockOf(*table, 2), 0);
  EXPECT_EQ(blob.Header().FreeBlockHead, 1024);
  EXPECT_EQ(blob.Blocks().Fetch(1024)->Next, 1536);
  table->Close();
  table = Open();
  CheckBlocks(*table, {{1, Bytes(three.begin(), three.begin() + 100)}, {2, {}}}, false);
}

TEST_F(BlobFileTest, ReadingPastTheEndCopiesWhatThereIs) {
  Create();
  auto table = Open();
  const Bytes memo = Pattern(20, 1);
  Put(*table, 1, memo);
  Bytes record;
  ASSERT_TRUE(GoTo(*table, 1, record));
  ASSERT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
  Bytes to(10, 0xEE);
  std::int32_t copied = -1;
  EXPECT_EQ(table->ReadBlob(TFieldSet::Working, kMemo, record.data(), 16, 10, to.data(), copied),
            ie::kEndOfBlob);
  EXPECT_EQ(copied, 4);
  EXPECT_TRUE(std::equal(to.begin(), to.begin() + 4, memo.begin() + 16));
  EXPECT_EQ(to[4], 0xEE);
  for (std::int32_t offset : {20, 21, 1000}) {
    copied = -1;
    EXPECT_EQ(
        table->ReadBlob(TFieldSet::Working, kMemo, record.data(), offset, 10, to.data(), copied),
        ie::kEndOfBlob);
    EXPECT_EQ(copied, 0);
  }
  copied = -1;
  EXPECT_EQ(table->ReadBlob(TFieldSet::Working, kMemo, record.data(), 10, 10, to.data(), copied),
            0);
  EXPECT_EQ(copied, 10);
  EXPECT_EQ(table->ReadBlob(TFieldSet::Working, kMemo, record.data(), 20, 0, to.data(), copied), 0);
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
}

class BlobChainDamageTest : public BlobFileTest {
 protected:
  // Record 1 (id 1) has a three-block memo at 512, 1024, 1536, record 2 one block at 2048;
  // a deleted third record left the block at 2560 as the free head.
  void Build() {
    Create();
    auto table = Open();
    Put(*table, 1, Pattern(3 * kPerBlock, 1));
    Put(*table, 2, Pattern(10, 2));
    Put(*table, 3, Pattern(10, 3));
    Bytes record;
    ASSERT_TRUE(GoTo(*table, 3, record));
    table->Delete({});
    ASSERT_EQ(table->BlobFile()->Header().FreeBlockHead, 2560);
    ASSERT_TRUE(GoTo(*table, 1, record));
    ASSERT_EQ(table->CurrentRecordNumber(), 1);
  }

  void Damage(std::int32_t at, std::int32_t value) {
    Bytes file = ReadBytes(BlobPath());
    StoreI32(file.data() + at, value);
    WriteBytes(BlobPath(), file);
  }
};

TEST_F(BlobChainDamageTest, BlockOfAnotherRecordStopsReadingAndReleasing) {
  Build();
  Damage(1024 + 10, 2);
  auto table = Open();
  TBlobFile& blob = *table->BlobFile();
  EXPECT_EQ(EngineErrorOf([&] { blob.ReleaseChain(512, 1); }), ie::kBlobBuffersCorrupt);
  EXPECT_EQ(blob.Header().FreeBlockHead, 2560);
  EXPECT_EQ(blob.Blocks().Fetch(512)->Next, 1024);

  Bytes record;
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] {
              static_cast<void>(table->OpenBlob(TFieldSet::Working, kMemo, record.data()));
            }),
            ie::kBlobBuffersCorrupt);
  EXPECT_EQ(blob.OpenCount(), 0);
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] { table->Delete({}); }), ie::kBlobBuffersCorrupt);
  EXPECT_EQ(blob.Header().FreeBlockHead, 2560);
  // The other record's memo is untouched.
  EXPECT_EQ(ReadMemo(*table, 2), Pattern(10, 2));
}

// A delete refused for a damaged memo chain leaves the record and its keys as they were.
TEST_F(BlobChainDamageTest, RefusedDeleteKeepsTheRecord) {
  Build();
  Damage(1024 + 10, 2);
  auto table = Open();
  Bytes record;
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] { table->Delete({}); }), ie::kBlobBuffersCorrupt);
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_TRUE(GoTo(*table, 1, record));
  // A later change writes the table out; the record must still be there afterwards.
  Put(*table, 9, Pattern(10, 9));
  table->Close();
  table = Open();
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_TRUE(GoTo(*table, 1, record));
}

TEST_F(BlobChainDamageTest, CycleIsFoundNotFollowed) {
  Build();
  Damage(1024 + 4, 512);  // the second block leads back to the first
  auto table = Open();
  TBlobFile& blob = *table->BlobFile();
  Bytes record;
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] {
              static_cast<void>(table->OpenBlob(TFieldSet::Working, kMemo, record.data()));
            }),
            ie::kBlobBuffersCorrupt);
  EXPECT_EQ(EngineErrorOf([&] { blob.ReleaseChain(512, 1); }), ie::kBlobBuffersCorrupt);
  EXPECT_EQ(blob.Header().FreeBlockHead, 2560);
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] { table->Delete({}); }), ie::kBlobBuffersCorrupt);
  EXPECT_EQ(blob.Header().FreeBlockHead, 2560);
}

TEST_F(BlobChainDamageTest, SelfLoopAndPointerOutsideTheFile) {
  Build();
  Damage(1536 + 4, 1536);  // the last block names itself
  auto table = Open();
  Bytes record;
  ASSERT_TRUE(GoTo(*table, 1, record));
  EXPECT_EQ(EngineErrorOf([&] { table->BlobFile()->ReleaseChain(512, 1); }),
            ie::kBlobBuffersCorrupt);
  EXPECT_EQ(table->BlobFile()->Header().FreeBlockHead, 2560);
  table->Close();
  Damage(1536 + 4, 1 << 20);  // beyond the end of the file
  table = Open();
  EXPECT_EQ(EngineErrorOf([&] { table->BlobFile()->ReleaseChain(512, 1); }),
            ie::kBlobBuffersCorrupt);
  Damage(1536 + 4, 700);  // not on a block boundary
  table->Close();
  table = Open();
  EXPECT_EQ(EngineErrorOf([&] { table->BlobFile()->ReleaseChain(512, 1); }),
            ie::kBlobBuffersCorrupt);
  EXPECT_EQ(table->BlobFile()->Header().FreeBlockHead, 2560);
}

TEST_F(BlobFileTest, OpenBlobLimitsAndHandles) {
  Create();
  auto table = Open();
  std::vector<Bytes> records(kMaxOpenBlobs + 1, Bytes(table->WorkingRecordSize()));
  for (auto& record : records) table->BlankRecord(record.data());
  for (int i = 0; i < kMaxOpenBlobs; ++i) {
    ASSERT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, records[i].data()), 0) << i;
  }
  EXPECT_EQ(table->BlobFile()->OpenCount(), kMaxOpenBlobs);
  EXPECT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, records[kMaxOpenBlobs].data()),
            ie::kTooManyBlobs);
  EXPECT_FALSE(table->IsBlobOpen(TFieldSet::Working, kMemo, records[kMaxOpenBlobs].data()));
  // Handles are distinct, and closing one makes room for another.
  std::set<std::int32_t> handles;
  const int memoOffset = table->PhysicalFields()[kMemo - 1].FieldOffset;
  for (int i = 0; i < kMaxOpenBlobs; ++i)
    handles.insert(LoadI32(records[i].data() + memoOffset + 1));
  EXPECT_EQ(handles.size(), static_cast<std::size_t>(kMaxOpenBlobs));
  EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, records[5].data()), 0);
  EXPECT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, records[kMaxOpenBlobs].data()), 0);
  EXPECT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, records[5].data()), ie::kTooManyBlobs);
  for (int i = 0; i <= kMaxOpenBlobs; ++i) {
    if (i != 5) {
      EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, records[i].data()), 0) << i;
    }
  }
  EXPECT_EQ(table->BlobFile()->OpenCount(), 0);

  // A handle that is not open.
  Bytes record(table->WorkingRecordSize());
  table->BlankRecord(record.data());
  std::int32_t copied = -1;
  std::uint8_t to[4];
  EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, record.data()), ie::kInvalidBlobHandle);
  EXPECT_EQ(table->ReadBlob(TFieldSet::Working, kMemo, record.data(), 0, 4, to, copied),
            ie::kInvalidBlobHandle);
  EXPECT_EQ(table->WriteBlob(TFieldSet::Working, kMemo, record.data(), 0, 4, to),
            ie::kInvalidBlobHandle);
  EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, records[3].data()),
            ie::kInvalidBlobHandle);  // closed already
  std::int32_t first = 0;
  EXPECT_EQ(table->BlobFile()->CloseBlob(12345, first), ie::kInvalidBlobHandle);
  EXPECT_EQ(table->BlobFile()->ReadBlob(12345, 0, 4, to, copied), ie::kInvalidBlobHandle);

  // Fields that are no blob fields.
  for (int field : {1, kName, 0, 4}) {
    EXPECT_EQ(table->OpenBlob(TFieldSet::Working, field, record.data()), ie::kInvalidBlobField)
        << field;
    EXPECT_EQ(table->CloseBlob(TFieldSet::Working, field, record.data()), ie::kInvalidBlobField)
        << field;
    EXPECT_EQ(table->ReadBlob(TFieldSet::Working, field, record.data(), 0, 4, to, copied),
              ie::kInvalidBlobField)
        << field;
  }
}

TEST_F(BlobFileTest, RandomChangesKeepEveryBlockAccountedFor) {
  Create();
  auto table = Open();
  std::mt19937 random(20240611);
  std::map<std::int64_t, Bytes> model;
  auto length = [&](int most) {
    return static_cast<std::size_t>(std::uniform_int_distribution<int>(0, most)(random));
  };
  auto checkAll = [&] {
    ASSERT_EQ(table->RecordCount(), static_cast<std::int32_t>(model.size()));
    for (const auto& [id, memo] : model) ASSERT_EQ(ReadMemo(*table, id), memo) << id;
    CheckBlocks(*table, model, false);
  };
  for (int op = 1; op <= 400; ++op) {
    const std::int64_t id = std::uniform_int_distribution<int>(1, 50)(random);
    const int kind = std::uniform_int_distribution<int>(0, 9)(random);
    const auto found = model.find(id);
    if (found == model.end()) {
      Bytes memo = Pattern(length(5000), static_cast<unsigned>(op));
      Put(*table, id, memo);
      model[id] = std::move(memo);
    } else if (kind < 4) {
      Bytes memo = Pattern(length(5000), static_cast<unsigned>(op));
      Rewrite(*table, id, memo, static_cast<std::int32_t>(memo.size()));
      found->second = std::move(memo);
    } else if (kind < 6) {
      found->second.resize(length(static_cast<int>(found->second.size())));
      Rewrite(*table, id, {}, static_cast<std::int32_t>(found->second.size()));
    } else if (kind < 7) {
      // Grows by writing past the end: the gap reads as zeros.
      const Bytes tail = Pattern(length(1200), static_cast<unsigned>(op));
      const std::size_t at = found->second.size() + length(600);
      Bytes record;
      ASSERT_TRUE(GoTo(*table, id, record));
      ASSERT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
      ASSERT_EQ(
          table->WriteBlob(TFieldSet::Working, kMemo, record.data(), static_cast<std::int32_t>(at),
                           static_cast<std::int32_t>(tail.size()), tail.data()),
          0);
      table->Update(record.data(), {});
      ASSERT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
      if (!tail.empty()) {
        found->second.resize(at, 0);
        found->second.insert(found->second.end(), tail.begin(), tail.end());
      }
    } else {
      Bytes record;
      ASSERT_TRUE(GoTo(*table, id, record));
      table->Delete({});
      model.erase(found);
    }
    if (::testing::Test::HasFatalFailure()) FAIL() << "operation " << op;
    if (op % 50 == 0) {
      checkAll();
      if (::testing::Test::HasFatalFailure()) FAIL() << "after operation " << op;
      ASSERT_EQ(table->BlobFile()->OpenCount(), 0);
    }
  }
  table->Close();
  table = Open();
  checkAll();
}

TEST_F(BlobFileTest, EncipheredTableKeepsMemosSecret) {
  Create("Tajne");
  CurrentFileSession().AddPassword("Tajne");
  const std::string secret = "Tajny zapisnik kapitana Nema, strana ";
  const std::string name = "Viditelne jmeno zaznamu";
  std::map<std::int64_t, Bytes> model;
  {
    auto table = Open();
    for (int id = 1; id <= 6; ++id) {
      std::string memo;
      for (int i = 0; i < id * 12; ++i) memo += secret + std::to_string(i) + "; ";
      model[id] = Text(memo);
      Put(*table, id, model[id], name);
    }
    Rewrite(*table, 3, {}, 40);  // some blocks go to the free list
    model[3].resize(40);
  }
  {
    auto table = Open();
    for (const auto& [id, memo] : model) EXPECT_EQ(ReadMemo(*table, id), memo) << id;
    Bytes record;
    ASSERT_TRUE(GoTo(*table, 2, record));
    EXPECT_EQ(std::get<std::string>(table->ReadField(TFieldSet::Working, kName, record.data())),
              name);
    CheckBlocks(*table, model, true);
  }
  // The block header and the data part are two streams, each from the start of the cipher.
  const Bytes blob = ReadBytes(BlobPath());
  const RawBlock first = Decode(blob, 512, true);
  EXPECT_EQ(first.Record, 1);
  EXPECT_EQ(first.Total, static_cast<std::int32_t>(model[1].size()));
  EXPECT_TRUE(std::equal(secret.begin(), secret.end(), first.Data.begin()));
  for (const std::string& path : {BlobPath(), DataPath()}) {
    const Bytes bytes = ReadBytes(path);
    EXPECT_FALSE(Contains(bytes, "Tajny zapisnik")) << path;
    EXPECT_FALSE(Contains(bytes, "kapitana")) << path;
    EXPECT_FALSE(Contains(bytes, "Viditelne")) << path;
  }

  StopEngine();
  StartEngine();
  TDataFile table;
  table.SetFileName(TablePath());
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
  CurrentFileSession().AddPassword("tajne");
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
  CurrentFileSession().AddPassword("TAJNE");
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
  CurrentFileSession().AddPassword("Tajne");
  ASSERT_EQ(EngineErrorOf([&] { table.Open(); }), 0);
  EXPECT_EQ(ReadMemo(table, 5), model[5]);
  table.Close();
  CurrentFileSession().RemovePassword("Tajne");
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
}

class LargeBlobTableTest : public BlobFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LargeBlobTableTest, ManyLargeMemosRoundTrip) {
  const bool enciphered = GetParam();
  Create(enciphered ? "Tajne" : "");
  if (enciphered) CurrentFileSession().AddPassword("Tajne");
  constexpr int kRecords = 10000;
  std::mt19937 random(enciphered ? 77 : 78);
  std::vector<std::size_t> lengths(kRecords + 1);
  for (auto& length : lengths) {
    length = static_cast<std::size_t>(std::uniform_int_distribution<int>(0, 20000)(random));
  }
  {
    auto table = Open(true);
    table->BeginBatch();
    for (int id = 1; id <= kRecords; ++id) {
      Put(*table, id, Pattern(lengths[id], static_cast<unsigned>(id)));
      if (::testing::Test::HasFatalFailure()) return;
    }
    table->EndBatch();
  }
  auto table = Open();
  ASSERT_EQ(table->RecordCount(), kRecords);
  Bytes record(table->WorkingRecordSize());
  table->SetIndex(0);
  table->GoFirst();
  std::int64_t expected = 1;
  while (table->GoNext(record.data()) == 0) {
    ASSERT_EQ(std::get<std::int64_t>(table->ReadField(TFieldSet::Working, 1, record.data())),
              expected);
    const Bytes memo = MemoOf(*table, record);
    ASSERT_EQ(memo.size(), lengths[expected]) << expected;
    ASSERT_TRUE(memo == Pattern(lengths[expected], static_cast<unsigned>(expected))) << expected;
    ++expected;
  }
  EXPECT_EQ(expected, kRecords + 1);
  std::int64_t blocks = 0;
  for (int id = 1; id <= kRecords; ++id) blocks += (lengths[id] + kPerBlock - 1) / kPerBlock;
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 512 + blocks * kB);
  EXPECT_EQ(table->BlobFile()->Header().FreeBlockHead, 0);
}

INSTANTIATE_TEST_SUITE_P(BlobFile, LargeBlobTableTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return p.param ? "Enciphered" : "Plain";
                         });

}  // namespace
}  // namespace katalog
