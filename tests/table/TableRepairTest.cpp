// Table repair: each kind of damage the verifier names is brought back; every record that was
// intact comes back byte for byte with its memo; the copies are the damaged files; refusals,
// abort and failure leave the table as it was.
#include "engine/table/TableRepair.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "engine/index/IndexTree.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "engine/table/TableVerifier.h"
#include "platform/ByteOrder.h"
#include "support/EngineFixture.h"
#include "support/TableFixture.h"

namespace katalog::testing {
namespace {

using katalog::testing::EngineErrorText;

using Bytes = std::vector<std::uint8_t>;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr int kId = 1;
constexpr int kName = 2;
constexpr int kNotes = 3;
constexpr int kRecords = 60;
// Records with memos: every seventh, of three blocks each.
constexpr int kMemoEvery = 7;
constexpr int kMemoBytes = 1100;

// A record as the table holds it: its slot and its memo.
struct TRecordCopy {
  Bytes Slot;
  Bytes Memo;
  bool operator==(const TRecordCopy&) const = default;
};
using TContents = std::map<std::int32_t, TRecordCopy>;

class TableRepairTest : public TableTest {
 public:
  // Id (the primary key), Name (a secondary index), Notes (a memo); kRecords records, every
  // third deleted again.
  void MakeTable(const std::string& password = "") {
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Notes", 3, 22}};
    def.Indexes = {{"", {"Id"}, {}, true},
                   {"ByName", {"Name"}, {}, false, false, false, true, kcFull}};
    def.Password = password;
    CreateTable(def);
    if (!password.empty()) CurrentFileSession().AddPassword(password);
    auto table = Open(false);
    for (int i = 1; i <= kRecords; ++i) {
      Bytes record(table->WorkingRecordSize());
      table->BlankRecord(record.data());
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, kId, std::int64_t{i * 10}, record.data()));
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, kName, "name " + std::to_string(i % 13),
                                    record.data()));
      const bool memo = i % kMemoEvery == 0;
      if (memo) {
        ASSERT_EQ(table->OpenBlob(TFieldSet::Working, kNotes, record.data()), 0);
        const Bytes text(kMemoBytes + i, static_cast<std::uint8_t>(i));
        ASSERT_EQ(table->WriteBlob(TFieldSet::Working, kNotes, record.data(), 0,
                                   static_cast<std::int32_t>(text.size()), text.data()),
                  0);
      }
      table->Insert(record.data(), {});
      if (memo) {
        ASSERT_EQ(table->CloseBlob(TFieldSet::Working, kNotes, record.data()), 0);
      }
    }
    Bytes record(table->WorkingRecordSize());
    for (std::int32_t p = table->RecordCount(); p >= 1; p -= 3) {
      table->GoToPosition(p);
      ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
      table->Delete({});
    }
  }

  std::unique_ptr<TDataFile> Open(bool readOnly = true) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(true);
    table->SetReadOnly(readOnly);
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  // Every record in use, by record number.
  TContents Contents() {
    TContents contents;
    auto table = Open();
    const std::int32_t slots = table->Header().NextRecordNumber - 1;
    const std::size_t size = table->Header().RecordSize;
    for (std::int32_t n = 1; n <= slots; ++n) {
      Bytes record(table->WorkingRecordSize());
      table->ReadSlots(n, 1, record.data(), false);
      if (record[0] != 0) continue;
      TRecordCopy& copy = contents[n];
      copy.Slot.assign(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(size));
      EXPECT_EQ(table->OpenBlob(TFieldSet::Physical, kNotes, record.data()), 0) << "record " << n;
      std::int32_t length = 0;
      EXPECT_EQ(table->GetBlobSize(TFieldSet::Physical, kNotes, record.data(), length), 0);
      copy.Memo.resize(static_cast<std::size_t>(length));
      std::int32_t copied = 0;
      EXPECT_EQ(table->ReadBlob(TFieldSet::Physical, kNotes, record.data(), 0, length,
                                copy.Memo.data(), copied),
                0);
      EXPECT_EQ(table->CloseBlob(TFieldSet::Physical, kNotes, record.data()), 0);
    }
    return contents;
  }

  std::int64_t SlotOffset(std::int32_t n) { return Open()->Header().SlotOffset(n); }
  std::int32_t Root(int slot) { return Open()->IndexFile().Descriptor(slot).RootPage; }
  // The first blob block of the record in slot n.
  std::int32_t FirstBlock(std::int32_t n) {
    auto table = Open();
    Bytes record(table->WorkingRecordSize());
    table->ReadSlots(n, 1, record.data(), false);
    return LoadI32(record.data() + table->PhysicalFields()[kNotes - 1].FieldOffset + 1);
  }

  std::string File(const std::string& extension) const { return dir_.File("T" + extension); }
  Bytes Read(const std::string& extension) const { return ReadBytes(File(extension)); }
  void Write(const std::string& extension, const Bytes& bytes) const {
    WriteBytes(File(extension), bytes);
  }
  template <class TChange>
  void Change(const std::string& extension, TChange change) const {
    Bytes bytes = Read(extension);
    change(bytes);
    Write(extension, bytes);
  }
  std::map<std::string, Bytes> Files() const {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    }
    return files;
  }

  TRepairOutcome Repair() {
    log_.clear();
    percents_.clear();
    TRepairEvents events;
    events.Log = [this](const std::string& line) {
      log_.push_back(line);
      if (onLog_) onLog_(line);
    };
    events.Progress = [this](int percent, bool& abort) {
      percents_.push_back(percent);
      abort = abortAt_ >= 0 && percent >= abortAt_;
    };
    return RepairTable(TablePath(), events);
  }
  std::string Log() const {
    std::string text;
    for (const std::string& line : log_) text += line + "\n";
    return text;
  }

  // The repaired table opens and verifies clean, and holds exactly the records it held before,
  // less those `gone`; the records in `cleared` lost their memo and nothing else.
  void ExpectRepaired(const TContents& before, const std::set<std::int32_t>& gone = {},
                      const std::set<std::int32_t>& cleared = {}) {
    {
      auto table = Open();
      std::vector<std::string> notes;
      EXPECT_THAT(VerifyTable(*table, &notes), ::testing::IsEmpty());
      EXPECT_THAT(notes, ::testing::IsEmpty());
    }
    const TContents after = Contents();
    EXPECT_EQ(after.size(), before.size() - gone.size());
    std::int16_t notes = 0;
    { notes = Open()->PhysicalFields()[kNotes - 1].FieldOffset; }
    for (const auto& [n, record] : before) {
      const auto found = after.find(n);
      if (gone.count(n)) {
        EXPECT_EQ(found, after.end()) << "record " << n << " is still there";
        continue;
      }
      ASSERT_NE(found, after.end()) << "record " << n << " is lost";
      if (!cleared.count(n)) {
        EXPECT_EQ(found->second, record) << "record " << n << " changed";
        continue;
      }
      Bytes expected = record.Slot;
      std::fill_n(expected.begin() + notes, 5, 0);
      EXPECT_EQ(found->second.Slot, expected) << "record " << n;
      EXPECT_TRUE(found->second.Memo.empty()) << "record " << n;
    }
  }

  std::vector<std::string> log_;
  std::vector<int> percents_;
  int abortAt_ = -1;
  std::function<void(const std::string&)> onLog_;
};

// One kind of damage: what is done to the table, what the log must say, which records the
// repair must delete and which lose their memo.
struct TDamageCase {
  const char* Name;
  std::function<void(TableRepairTest&)> Damage;
  std::vector<std::string> Logged;
  std::set<std::int32_t> Gone;
  std::set<std::int32_t> Cleared;
};

void PrintTo(const TDamageCase& damage, std::ostream* out) {
  *out << damage.Name;
}

class TableRepairDamageTest : public TableRepairTest,
                              public ::testing::WithParamInterface<TDamageCase> {};

TEST_P(TableRepairDamageTest, BringsTheTableBack) {
  const TDamageCase& damage = GetParam();
  MakeTable();
  const TContents before = Contents();
  ASSERT_EQ(before.size(), static_cast<std::size_t>(kRecords - kRecords / 3));
  damage.Damage(*this);
  const auto damaged = Files();
  {  // the damage is one the verifier finds
    TDataFile table;
    table.SetExclusive(true);
    table.SetReadOnly(true);
    table.SetFileName(TablePath());
    const int code = EngineErrorOf([&] { table.Open(); });
    if (code == 0) {
      std::vector<std::string> notes;
      const std::vector<std::string> problems = VerifyTable(table, &notes);
      EXPECT_FALSE(problems.empty() && notes.empty());
    }
  }

  ASSERT_EQ(Repair(), TRepairOutcome::Repaired) << Log();
  for (const std::string& text : damage.Logged) EXPECT_THAT(Log(), HasSubstr(text));
  EXPECT_THAT(log_, Contains("check: the repaired table verifies clean"));
  ExpectRepaired(before, damage.Gone, damage.Cleared);

  // The copies hold the files as they were before the repair; nothing else is left behind.
  const auto files = Files();
  for (const auto& [name, bytes] : damaged) {
    if (name.find(".bak") != std::string::npos) continue;
    ASSERT_TRUE(files.count(name + ".bak")) << name;
    EXPECT_EQ(files.at(name + ".bak"), bytes) << name;
  }
  EXPECT_FALSE(files.count("T.IDX.new"));
  EXPECT_EQ(percents_.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents_.begin(), percents_.end()));

  // A repaired table has nothing more to repair.
  EXPECT_EQ(Repair(), TRepairOutcome::Sound) << Log();
  EXPECT_EQ(Files(), files);
}

const TDamageCase kDamages[] = {
    {"HeaderCounts",
     [](TableRepairTest& t) {
       t.Change(".DAT", [](Bytes& b) {
         StoreI32(b.data() + 13, LoadI32(b.data() + 13) + 3);  // NextRecordNumber
         StoreI32(b.data() + 17, 5);                           // LastRecordId
       });
       t.Change(".IDX", [](Bytes& b) { StoreI32(b.data() + 3974, 7); });  // active records
     },
     {"data file: its header counted 63 slots; the file holds 60",
      "data file: the last record identifier issued becomes 59, the highest in use, instead of 5"}},
    {"HeaderCountsTooFewSlots",
     [](TableRepairTest& t) {
       t.Change(".DAT", [](Bytes& b) { StoreI32(b.data() + 13, 50); });  // NextRecordNumber
     },
     {"found: index Primary: an entry names record 50, but the data file has 49 slots"}},
    {"FreeChainThroughALiveRecord",
     [](TableRepairTest& t) { t.Change(".DAT", [](Bytes& b) { StoreI32(b.data() + 9, 2); }); },
     {"found: data file: the chain of deleted slots leads to slot 2, which holds a record",
      "data file: the chain of deleted slots is made anew through its 20 deleted slots"}},
    {"RecordWithoutIndexEntries",
     [](TableRepairTest& t) {
       auto table = t.Open(false);
       Bytes record(table->WorkingRecordSize() + 256);
       table->ReadSlots(4, 1, record.data(), false);
       Bytes key(table->IndexFile().Descriptor(1).KeyLength);
       BuildKey(table->KeyContextFor(1), record.data(), key.data());
       TIndexTree(table->IndexStore(), 1).Delete(key.data());
       table->IndexStore().Flush();
     },
     {"found: index ByName: record 4 has no entries instead of one"}},
    {"StaleIndexEntry",
     [](TableRepairTest& t) {
       // Slot 5 marked deleted behind the indexes' back: the slot is the record's truth.
       const std::int64_t at = t.SlotOffset(5);
       t.Change(".DAT", [&](Bytes& b) { b[static_cast<std::size_t>(at)] = 1; });
     },
     {"found: index Primary: holds an entry for the deleted record 5"},
     {5}},
    {"DamagedIndexPage",
     [](TableRepairTest& t) {
       const std::int32_t root = t.Root(0);
       t.Change(".IDX", [&](Bytes& b) { b[static_cast<std::size_t>(root)] = 0x17; });
     },
     {EngineErrorText(ie::kIndexBuffersCorrupt), "index file: made anew with Primary, ByName"}},
    {"MissingIndexFile",
     [](TableRepairTest& t) { std::filesystem::remove(t.File(".IDX")); },
     {"index file: it is missing; every index definition is lost",
      "index file: made anew with no primary index"}},
    {"IndexFileCutInItsHeader",
     [](TableRepairTest& t) { t.Change(".IDX", [](Bytes& b) { b.resize(1000); }); },
     {"index file: it is 1000 bytes long, too short for its header; every index definition is "
      "lost"}},
    {"IndexFileCutAfterItsHeader",
     [](TableRepairTest& t) { t.Change(".IDX", [](Bytes& b) { b.resize(4096 + 100); }); },
     {"index file: made anew with Primary, ByName"}},
    {"UnusableIndexDefinition",
     [](TableRepairTest& t) {
       t.Change(".IDX", [](Bytes& b) { StoreU16(b.data() + 14 + 120 + 54, 9); });  // field 9
     },
     {"index file: the definition of index ByName is lost: it names field number 9, which the "
      "table does not have",
      "index file: made anew with Primary\n"}},
    {"DamagedBlobChain",
     [](TableRepairTest& t) {
       const std::int32_t seventh = t.FirstBlock(7), fourteenth = t.FirstBlock(14);
       t.Change(".BLB", [&](Bytes& b) { StoreI32(b.data() + seventh + 4, fourteenth); });
     },
     {"blob file: record 7 field Notes: the chain from block", "; the value is cleared",
      "blob file: the free-block list is made anew"},
     {},
     {7}},
    {"BlobLengthWrong",
     [](TableRepairTest& t) {
       const std::int32_t first = t.FirstBlock(28);
       t.Change(".BLB", [&](Bytes& b) { StoreI32(b.data() + first + 14, 100); });
     },
     {"blob file: record 28 field Notes: block", "holds 494 bytes instead of 100"},
     {},
     {28}},
    {"BlobFileLongerThanItsHeaderSays",
     [](TableRepairTest& t) { t.Change(".BLB", [](Bytes& b) { b.resize(b.size() + 700, 0xEE); }); },
     {"blob file: the 700 bytes after its last block are cut off"}},
    {"BlobHeaderOfAnotherVersion",
     [](TableRepairTest& t) { t.Change(".BLB", [](Bytes& b) { b[8] = 7; }); },
     {"blob file: its header gives version 7; it is made anew"}},
    {"PartialSlotAtTheEnd",
     [](TableRepairTest& t) { t.Change(".DAT", [](Bytes& b) { b.resize(b.size() + 10, 0x33); }); },
     {"data file: the 10 bytes past its last slot, left by an append that did not finish, are "
      "cut off"}},
    {"WholeSlotPastTheCount",
     [](TableRepairTest& t) {
       // A copy of record 1 appended without its header write: never part of the table.
       const std::int64_t first = t.SlotOffset(1), size = t.SlotOffset(2) - first;
       t.Change(".DAT", [&](Bytes& b) {
         const Bytes slot(b.begin() + first, b.begin() + first + size);
         b.insert(b.end(), slot.begin(), slot.end());
       });
     },
     {"bytes past its last slot, left by an append that did not finish, are cut off"}},
    {"DuplicatePrimaryKey",
     [](TableRepairTest& t) {
       // Record 8 takes record 4's key (Id 40); the primary index keeps the earlier one.
       const std::int64_t at = t.SlotOffset(8);
       t.Change(".DAT", [&](Bytes& b) { StoreI32(b.data() + at + 10, 40); });
     },
     {"data file: record 8 is deleted: index Primary already holds its key (Id = 40) for an "
      "earlier record"},
     {8}},
};

INSTANTIATE_TEST_SUITE_P(Damage, TableRepairDamageTest, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<TDamageCase>& test) {
                           return std::string(test.param.Name);
                         });

// A key the log names shows a BCD amount with every digit, also past 2^53 units.
TEST_F(TableRepairTest, TheLogNamesBcdKeysDigitForDigit) {
  TTableDefinition def;
  def.TableName = TablePath();
  def.Fields = {{"Id", 6}, {"Amount", 8, 0, 0, 2}};
  def.Indexes = {{"", {"Id"}, {}, true}, {"ByAmount", {"Amount"}, {}, false, true}};
  CreateTable(def);
  {
    auto table = Open(false);
    std::int64_t id = 0;
    for (const std::int64_t amount : {-9007199254740993, -9007199254740992}) {
      Bytes record(table->WorkingRecordSize());
      table->BlankRecord(record.data());
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, kId, ++id, record.data()));
      ASSERT_TRUE(table->WriteField(TFieldSet::Working, 2, TBcdAmount{amount}, record.data()));
      table->Insert(record.data(), {});
    }
  }
  // Record 2 takes record 1's amount (slot bytes 15-22: after Id's flag and data, Amount's flag).
  const std::int64_t at = SlotOffset(2);
  Change(".DAT", [&](Bytes& b) { StoreI64(b.data() + at + 15, -9007199254740993); });
  Repair();
  EXPECT_THAT(log_, Contains(HasSubstr("index ByAmount already holds its key "
                                       "(Amount = -90071992547409.93) for an earlier record")))
      << Log();
}

TEST_F(TableRepairTest, ASoundTableIsLeftAlone) {
  MakeTable();
  const auto files = Files();
  EXPECT_EQ(Repair(), TRepairOutcome::Sound);
  EXPECT_EQ(log_, std::vector<std::string>{"check: the table is sound; nothing is repaired"});
  EXPECT_EQ(Files(), files);
  EXPECT_EQ(percents_.back(), 100);
}

TEST_F(TableRepairTest, ATableOpenElsewhereIsRefused) {
  MakeTable();
  Change(".IDX", [](Bytes& b) { StoreI32(b.data() + 3974, 7); });  // active records
  const auto files = Files();
  TDataFile other;
  other.SetFileName(TablePath());
  other.Open();
  EXPECT_EQ(EngineErrorOf([&] { Repair(); }), ie::kAccessDenied);
  other.Close();
  EXPECT_EQ(Files(), files);
}

TEST_F(TableRepairTest, AnEncipheredTableNeedsItsPassword) {
  MakeTable("secret");
  const TContents before = Contents();
  const auto pristine = Files();
  Change(".DAT", [](Bytes& b) { b.resize(b.size() + 10); });
  Change(".BLB", [](Bytes& b) { b.resize(b.size() + 512); });
  const auto files = Files();
  CurrentFileSession().RemovePassword("secret");
  EXPECT_EQ(EngineErrorOf([&] { Repair(); }), ie::kPasswordRequired);
  EXPECT_EQ(Files(), files);

  CurrentFileSession().AddPassword("secret");
  ASSERT_EQ(Repair(), TRepairOutcome::Repaired) << Log();
  ExpectRepaired(before);
  // Slots and blocks stay enciphered as they were; only the headers were written again.
  for (const auto& [name, header] : {std::pair{"T.DAT", 127}, std::pair{"T.BLB", 512}}) {
    const Bytes now = ReadBytes(dir_.File(name));
    const Bytes& was = pristine.at(name);
    ASSERT_EQ(now.size(), was.size()) << name;
    EXPECT_TRUE(std::equal(now.begin() + header, now.end(), was.begin() + header)) << name;
  }
}

TEST_F(TableRepairTest, AbortBeforeWritingLeavesEverythingAsItWas) {
  MakeTable();
  Write(".DAT.bak", Bytes{1, 2, 3});  // an older copy stays too
  Change(".DAT", [](Bytes& b) { b.resize(b.size() + 10); });
  const auto files = Files();
  for (int at : {0, 10, 80}) {
    abortAt_ = at;
    EXPECT_EQ(Repair(), TRepairOutcome::Aborted) << at;
    EXPECT_EQ(log_.back(), "the repair is aborted; no file of the table was changed");
    EXPECT_EQ(Files(), files) << at;
  }
  // Once the files start to change, the repair runs to its end.
  abortAt_ = 81;
  EXPECT_EQ(Repair(), TRepairOutcome::Repaired) << Log();
}

TEST_F(TableRepairTest, AFailureWhileWritingPutsTheOriginalsBack) {
  MakeTable();
  Change(".DAT", [](Bytes& b) { b.resize(b.size() + 10, 0x33); });
  Change(".BLB", [](Bytes& b) { b.resize(b.size() + 700, 0xEE); });
  const auto files = Files();
  // The log handler fails once the data and blob files have been written, and once the new
  // index file is in place too.
  for (const std::string failAt :
       {"blob file: the 700 bytes", "check: the repaired table verifies clean"}) {
    onLog_ = [&](const std::string& line) {
      if (line.find(failAt) == 0) throw std::runtime_error("stop here");
    };
    EXPECT_THROW(Repair(), std::runtime_error) << failAt;
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      EXPECT_THAT(log_, Contains("put back: " + File(extension))) << failAt;
    }
    auto after = Files();
    for (const auto& [name, bytes] : files) EXPECT_EQ(after.at(name), bytes) << name << failAt;
    EXPECT_FALSE(after.count("T.IDX.new")) << failAt;
  }
}

TEST_F(TableRepairTest, FilesNobodyMayWriteAreRefused) {
  MakeTable();
  Change(".IDX", [](Bytes& b) { StoreI32(b.data() + 3974, 7); });  // active records
  const auto files = Files();
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    std::filesystem::permissions(File(extension), std::filesystem::perms::owner_read);
    EXPECT_EQ(EngineErrorOf([&] { Repair(); }), ie::kAccessDenied) << extension;
    std::filesystem::permissions(
        File(extension), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(Files(), files) << extension;
  }
}

TEST_F(TableRepairTest, AMissingTableIsTheEnginesError) {
  EXPECT_EQ(EngineErrorOf([&] { Repair(); }), ie::kInvalidPath);
}

TEST_F(TableRepairTest, DamagedFieldDescriptorsAreNotGuessedAt) {
  MakeTable();
  Change(".DAT", [](Bytes& b) { StoreU16(b.data() + 127 + 768 + 90, 77); });  // Name's offset
  const auto files = Files();
  EXPECT_EQ(EngineErrorOf([&] { Repair(); }), ie::kHeaderCorrupt);
  EXPECT_EQ(Files(), files);
}

}  // namespace
}  // namespace katalog::testing
