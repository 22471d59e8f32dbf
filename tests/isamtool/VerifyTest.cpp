// isamtool verify, run as the real executable: sound tables pass, each kind of damage is named,
// and no file changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/index/IndexTree.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "isamtool/ToolRunner.h"
#include "platform/ByteOrder.h"
#include "support/EngineFixture.h"

namespace katalog::testing {
namespace {

using katalog::testing::EngineErrorText;

using Bytes = std::vector<std::uint8_t>;
using ::testing::HasSubstr;

constexpr int kId = 1;
constexpr int kName = 2;
constexpr int kNotes = 3;

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override { StartEngine(); }
  void TearDown() override { StopEngine(); }

  std::string Table() const { return dir_.File("T"); }

  void Create(bool primary = true, bool memo = false, const std::string& password = "") {
    TTableDefinition def;
    def.TableName = Table();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    if (memo) def.Fields.push_back({"Notes", 3, 22});
    if (primary) def.Indexes.push_back({"", {"Id"}, {}, true});
    def.Indexes.push_back({"ByName", {"Name"}, {}, false, false, false, true, kcFull});
    def.Password = password;
    CreateTable(def);
  }

  std::unique_ptr<TDataFile> Open() {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(true);
    table->SetFileName(Table());
    table->Open();
    return table;
  }

  // Records from..from + count - 1 named by their number; every seventh gets a memo of about
  // `memoBytes` bytes.
  void Fill(TDataFile& table, int count, int memoBytes = 0, int from = 1) {
    for (int i = from; i < from + count; ++i) {
      Bytes record(table.WorkingRecordSize());
      table.BlankRecord(record.data());
      ASSERT_TRUE(table.WriteField(TFieldSet::Working, kId, std::int64_t{i * 10}, record.data()));
      ASSERT_TRUE(table.WriteField(TFieldSet::Working, kName, "name " + std::to_string(i % 97),
                                   record.data()));
      const bool memo = memoBytes > 0 && i % 7 == 0;
      if (memo) {
        ASSERT_EQ(table.OpenBlob(TFieldSet::Working, kNotes, record.data()), 0);
        const Bytes text(static_cast<std::size_t>(memoBytes + i), static_cast<std::uint8_t>(i));
        ASSERT_EQ(table.WriteBlob(TFieldSet::Working, kNotes, record.data(), 0,
                                  static_cast<std::int32_t>(text.size()), text.data()),
                  0);
      }
      table.Insert(record.data(), {});
      if (memo) {
        ASSERT_EQ(table.CloseBlob(TFieldSet::Working, kNotes, record.data()), 0);
      }
    }
  }

  // Deletes every third record, from the last position down.
  void DeleteSome(TDataFile& table) {
    Bytes record(table.WorkingRecordSize());
    for (std::int32_t p = table.RecordCount(); p >= 1; p -= 3) {
      table.GoToPosition(p);
      ASSERT_EQ(table.GetCurrent(record.data(), false), 0);
      table.Delete({});
    }
  }

  void MakeTable(bool primary, int count, int memoBytes = 0, bool deletes = true) {
    Create(primary, memoBytes > 0);
    auto table = Open();
    Fill(*table, count, memoBytes);
    if (deletes) DeleteSome(*table);
  }

  std::map<std::string, Bytes> Files() const {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("tool.", 0) == 0) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      files[name] = Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }
  void Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(dir_.File(name), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  // Runs verify and checks that it left every file as it was.
  TToolResult Verify(const std::vector<std::string>& extra = {}) {
    const auto before = Files();
    std::vector<std::string> args{"verify", Table()};
    args.insert(args.end(), extra.begin(), extra.end());
    TToolResult result = RunTool(dir_, args);
    EXPECT_EQ(Files(), before) << "verify changed a file";
    EXPECT_EQ(result.Err, "");
    return result;
  }

  void ExpectProblem(const TToolResult& result, const std::string& text) {
    EXPECT_EQ(result.Status, 1) << result.Out;
    EXPECT_THAT(result.Out, HasSubstr(text));
  }

  TempDir dir_;
};

TEST_F(VerifyTest, SoundTablesAreOk) {
  MakeTable(true, 600, 0, false);
  TToolResult result = Verify();
  EXPECT_EQ(result.Status, 0) << result.Out;
  EXPECT_EQ(result.Out, "OK\n");
  {
    auto table = Open();
    DeleteSome(*table);
    Fill(*table, 20, 0, 1000);  // into the freed slots
  }
  result = Verify();
  EXPECT_EQ(result.Out, "OK\n");
  EXPECT_EQ(result.Status, 0);
}

TEST_F(VerifyTest, TableWithoutPrimaryIndexIsOk) {
  MakeTable(false, 300);
  const TToolResult result = Verify();
  EXPECT_EQ(result.Out, "OK\n");
  EXPECT_EQ(result.Status, 0);
}

TEST_F(VerifyTest, TableOnReadOnlyFilesIsOk) {
  MakeTable(true, 40, 700);
  for (const char* name : {"T.DAT", "T.IDX", "T.BLB"}) {
    std::filesystem::permissions(dir_.File(name), std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::group_read |
                                                      std::filesystem::perms::others_read);
  }
  const TToolResult result = Verify();
  EXPECT_EQ(result.Out, "OK\n");
  EXPECT_EQ(result.Status, 0);
}

TEST_F(VerifyTest, TableWithMemosIsOk) {
  MakeTable(true, 200, 1500);
  const TToolResult result = Verify();
  EXPECT_EQ(result.Out, "OK\n");
  EXPECT_EQ(result.Status, 0);
}

TEST_F(VerifyTest, EncipheredTableNeedsItsPassword) {
  Create(true, true, "secret");
  {
    CurrentFileSession().AddPassword("secret");
    auto table = Open();
    Fill(*table, 50, 600);
    DeleteSome(*table);
  }
  TToolResult result = Verify({"--password", "secret"});
  EXPECT_EQ(result.Out, "OK\n");
  EXPECT_EQ(result.Status, 0);
  result = Verify();
  ExpectProblem(result, "the table does not open: " + EngineErrorText(ie::kPasswordRequired));
  EXPECT_EQ(std::count(result.Out.begin(), result.Out.end(), '\n'), 1);
}

TEST_F(VerifyTest, UndecodableIndexPageIsNamed) {
  MakeTable(true, 40);
  std::int32_t root = 0;
  {
    auto table = Open();
    root = table->IndexFile().Descriptor(1).RootPage;
  }
  Bytes index = Files()["T.IDX"];
  StoreU16(index.data() + root + 1, 0xFFFF);  // more entries than a page holds
  Write("T.IDX", index);
  const TToolResult result = Verify();
  ExpectProblem(result, "index ByName: page " + std::to_string(root) + ": " +
                            EngineErrorText(ie::kIndexBuffersCorrupt));
  EXPECT_THAT(result.Out, HasSubstr("index ByName: its entries could not be compared"));
}

TEST_F(VerifyTest, DamagedLeafEntriesAreNamed) {
  Create(true);
  std::int32_t root = 0;
  {
    auto table = Open();
    Fill(*table, 5);
    root = table->IndexFile().Descriptor(0).RootPage;
  }
  // The primary index has no compression: entries of 5 key bytes and a record number.
  Bytes index = Files()["T.IDX"];
  const std::size_t second = static_cast<std::size_t>(root) + 13 + 9;
  StoreI32(index.data() + second + 5, 4000);  // names a record that does not exist
  index[second + 9 + 4] ^= 0x01;              // the third key: 31 instead of 30
  Write("T.IDX", index);
  const TToolResult result = Verify();
  ExpectProblem(result, "index Primary: an entry names record 4000, but the data file has 5 slots");
  EXPECT_THAT(result.Out, HasSubstr("index Primary: record 2 has no entries instead of one"));
  EXPECT_THAT(result.Out, HasSubstr("index Primary: the entry of record 3 differs from the key"));
}

TEST_F(VerifyTest, ADamagedPrimaryRootStopsTheOpenAndIsReported) {
  MakeTable(true, 30);
  std::int32_t root = 0;
  {
    auto table = Open();
    root = table->IndexFile().Descriptor(0).RootPage;
  }
  Bytes index = Files()["T.IDX"];
  index[static_cast<std::size_t>(root)] = 0x17;  // no page type
  Write("T.IDX", index);
  const TToolResult result = Verify();
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Out, HasSubstr(EngineErrorText(ie::kIndexBuffersCorrupt)));
}

TEST_F(VerifyTest, MissingIndexEntryIsNamed) {
  MakeTable(true, 30);
  {
    auto table = Open();
    Bytes record(table->WorkingRecordSize() + 8);
    ASSERT_EQ(table->ReadSlots(4, 1, record.data(), false), 1);
    Bytes key(table->IndexFile().Descriptor(1).KeyLength);
    BuildKey(table->KeyContextFor(1), record.data(), key.data());
    TIndexTree(table->IndexStore(), 1).Delete(key.data());
    table->IndexStore().Flush();
  }
  const TToolResult result = Verify();
  ExpectProblem(result, "index ByName: record 4 has no entries instead of one");
  EXPECT_EQ(std::count(result.Out.begin(), result.Out.end(), '\n'), 1) << result.Out;
}

TEST_F(VerifyTest, WrongRecordCountIsNamed) {
  MakeTable(true, 30);
  Bytes index = Files()["T.IDX"];
  StoreI32(index.data() + 3974, LoadI32(index.data() + 3974) + 1);
  Write("T.IDX", index);
  const TToolResult result = Verify();
  ExpectProblem(result,
                "index file: its header counts 21 active records, but 20 slots hold records");
}

TEST_F(VerifyTest, TruncatedFilesAreNamed) {
  MakeTable(true, 30);
  const auto files = Files();
  Bytes data = files.at("T.DAT");
  data.resize(data.size() - 3);
  Write("T.DAT", data);
  TToolResult result = Verify();
  ExpectProblem(result, "the table does not open: " + EngineErrorText(ie::kHeaderCorrupt));
  EXPECT_THAT(result.Out, HasSubstr("its header counts 30 slots"));
  EXPECT_EQ(std::count(result.Out.begin(), result.Out.end(), '\n'), 1);

  Write("T.DAT", files.at("T.DAT"));
  Bytes index = files.at("T.IDX");
  index.resize(index.size() + 100);
  Write("T.IDX", index);
  // Bytes past the last page are left by an append whose header write never came: a note.
  result = Verify();
  EXPECT_EQ(result.Status, 0);
  EXPECT_THAT(result.Out, HasSubstr("note: index file: 100 bytes past the end its header records"));
  EXPECT_THAT(result.Out, HasSubstr("OK\n"));

  // Without its last page the index is damaged wherever that page was; never a crash.
  index.resize(index.size() - 100 - 4096);
  Write("T.IDX", index);
  result = Verify();
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Out, ::testing::AnyOf(HasSubstr("index file: the file is"),
                                           HasSubstr("the table does not open: ISAM Engine")));
}

TEST_F(VerifyTest, PageOnTwoListsIsNamed) {
  MakeTable(true, 30);
  std::int32_t root = 0;
  {
    auto table = Open();
    root = table->IndexFile().Descriptor(0).RootPage;
  }
  Bytes index = Files()["T.IDX"];
  StoreI32(index.data() + 14 + 120 * 1 + 90, root);  // the free list of ByName
  Write("T.IDX", index);
  const TToolResult result = Verify();
  ExpectProblem(result,
                "index ByName: page " + std::to_string(root) + " also belongs to index Primary");
}

TEST_F(VerifyTest, SlotMarkedDeletedBehindTheIndexesIsNamed) {
  MakeTable(true, 30);
  std::int64_t at = 0;
  {
    auto table = Open();
    at = table->Header().SlotOffset(5);
  }
  Bytes data = Files()["T.DAT"];
  data[static_cast<std::size_t>(at)] = 1;
  Write("T.DAT", data);
  const TToolResult result = Verify();
  ExpectProblem(result, "index Primary: holds an entry for the deleted record 5");
  EXPECT_THAT(result.Out, HasSubstr("index ByName: holds an entry for the deleted record 5"));
  EXPECT_THAT(result.Out, HasSubstr("index Sys Deleted: lists record 5 as in use with identifier "
                                    "5, but its slot is deleted with identifier 5"));
  EXPECT_THAT(result.Out, HasSubstr("index file: its header counts 20 active records, but 19"));
  EXPECT_THAT(result.Out, HasSubstr("data file: the deleted slot 5 is not on the chain"));
}

// The first block of the blob of the record in slot n.
std::int32_t FirstBlock(TDataFile& table, std::int32_t n) {
  Bytes record(table.WorkingRecordSize());
  table.ReadSlots(n, 1, record.data(), false);
  return LoadI32(record.data() + table.PhysicalFields()[kNotes - 1].FieldOffset + 1);
}

TEST_F(VerifyTest, BrokenBlobChainsAreNamed) {
  MakeTable(true, 30, 1200, false);  // records 7, 14, 21, 28 with three blocks each
  std::int32_t seventh = 0, fourteenth = 0;
  {
    auto table = Open();
    seventh = FirstBlock(*table, 7);
    fourteenth = FirstBlock(*table, 14);
  }
  ASSERT_NE(seventh, 0);
  ASSERT_NE(fourteenth, 0);
  const Bytes blob = Files()["T.BLB"];

  Bytes damaged = blob;
  StoreI32(damaged.data() + seventh + 4, fourteenth);  // into another chain
  Write("T.BLB", damaged);
  TToolResult result = Verify();
  ExpectProblem(result, "blob file: record 7 field Notes: block " + std::to_string(fourteenth) +
                            " belongs to record 14");
  EXPECT_THAT(result.Out, HasSubstr("blob file: no blob and no free-block list holds blocks"));

  damaged = blob;
  StoreI32(damaged.data() + seventh + 4, 0x7FFF0000);  // outside the file
  Write("T.BLB", damaged);
  result = Verify();
  ExpectProblem(result, "blob file: record 7 field Notes: block 2147418112 (after block " +
                            std::to_string(seventh) + ") lies outside the file's blocks");

  damaged = blob;
  StoreI32(damaged.data() + seventh + 14, 100);  // a shorter length than the chain holds
  Write("T.BLB", damaged);
  result = Verify();
  ExpectProblem(result, "blob file: record 7 field Notes: block " + std::to_string(seventh) +
                            " holds 494 bytes instead of 100");
}

TEST_F(VerifyTest, HelpAndUsage) {
  TToolResult result = RunTool(dir_, {"verify", "--help"});
  EXPECT_EQ(result.Status, 0);
  EXPECT_THAT(result.Out, HasSubstr("Usage: isamtool verify [OPTIONS] TABLE"));
  result = RunTool(dir_, {"verify"});
  EXPECT_EQ(result.Status, 2);
  result = RunTool(dir_, {"verify", dir_.File("Missing")});
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Out, HasSubstr("the table does not open: ISAM Engine Error #"));
}

}  // namespace
}  // namespace katalog::testing
