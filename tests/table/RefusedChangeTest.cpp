// Changes the engine refuses half way leave no trace: after each refusal the next change works,
// the table verifies clean and holds exactly what the changes that went through put there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/table/DataFile.h"
#include "engine/table/TableVerifier.h"
#include "platform/ByteOrder.h"
#include "platform/ScopeGuard.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using Bytes = std::vector<std::uint8_t>;
// Id -> (Name, Memo)
using TContents = std::map<std::int64_t, std::pair<std::string, std::string>>;

constexpr int kId = 1, kName = 2, kMemo = 3;

enum class TMode { Shared, Exclusive, Batch };
enum class TOp { Insert, Update, Delete };

class RefusedChangeTest : public katalog::testing::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Memo", 3, 22}};
    def.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}};
    CreateTable(def);
    auto table = Open(TMode::Shared);
    for (std::int64_t id = 1; id <= 5; ++id) {
      Put(*table, id, "name" + std::to_string(id), std::string(4000 * id, char('a' + id)));
    }
  }

  std::unique_ptr<TDataFile> Open(TMode mode, bool readOnly = false) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(mode == TMode::Exclusive);
    table->SetReadOnly(readOnly);
    table->SetFileName(TablePath());
    table->Open();
    if (mode == TMode::Batch) table->BeginBatch();
    return table;
  }

  void SetMemo(TDataFile& table, Bytes& record, const std::string& memo) {
    ASSERT_EQ(table.OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
    ASSERT_EQ(table.SetBlobSize(TFieldSet::Working, kMemo, record.data(), 0), 0);
    ASSERT_EQ(table.WriteBlob(TFieldSet::Working, kMemo, record.data(), 0,
                              static_cast<std::int32_t>(memo.size()),
                              reinterpret_cast<const std::uint8_t*>(memo.data())),
              0);
  }

  // Inserts a record; the blob is closed whether the insert goes through or not.
  void Put(TDataFile& table, std::int64_t id, const std::string& name, const std::string& memo) {
    Bytes record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    table.WriteField(TFieldSet::Working, kId, id, record.data());
    table.WriteField(TFieldSet::Working, kName, name, record.data());
    SetMemo(table, record, memo);
    const platform::TScopeExit closeMemo(
        [&] { EXPECT_EQ(table.CloseBlob(TFieldSet::Working, kMemo, record.data()), 0); });
    table.Insert(record.data(), {});
  }

  Bytes GoTo(TDataFile& table, std::int64_t id) {
    Bytes record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    table.WriteField(TFieldSet::Working, kId, id, record.data());
    Bytes key(table.IndexFile().Descriptor(0).KeyLength);
    BuildKey(table.KeyContextFor(0), record.data(), key.data());
    table.SetIndex(0);
    EXPECT_TRUE(table.FindKey(key.data(), TKeyMatch::Exact));
    EXPECT_EQ(table.GetCurrent(record.data(), true), 0);
    return record;
  }

  void Change(TDataFile& table, TOp op, TContents& model) {
    switch (op) {
      case TOp::Insert:
        Put(table, 6, "fig", std::string(1500, 'f'));
        model[6] = {"fig", std::string(1500, 'f')};
        break;
      case TOp::Update: {
        Bytes record = GoTo(table, 2);
        table.WriteField(TFieldSet::Working, kId, std::int64_t{20}, record.data());
        table.WriteField(TFieldSet::Working, kName, std::string("grape"), record.data());
        table.Update(record.data(), {.Unlock = true});
        model[20] = {"grape", model[2].second};
        model.erase(2);
        break;
      }
      case TOp::Delete:
        GoTo(table, 3);
        table.Delete({});
        model.erase(3);
        break;
    }
  }

  TContents Contents() {
    auto table = Open(TMode::Shared, true);
    for (const std::string& finding : VerifyTable(*table)) ADD_FAILURE() << finding;
    TContents contents;
    Bytes record(table->WorkingRecordSize());
    table->SetIndex(0);
    table->GoFirst();
    while (table->GoNext(record.data()) == 0) {
      const auto id =
          std::get<std::int64_t>(table->ReadField(TFieldSet::Working, kId, record.data()));
      std::int32_t size = 0;
      EXPECT_EQ(table->OpenBlob(TFieldSet::Working, kMemo, record.data()), 0);
      EXPECT_EQ(table->GetBlobSize(TFieldSet::Working, kMemo, record.data(), size), 0);
      std::string memo(static_cast<std::size_t>(size), '\0');
      std::int32_t copied = 0;
      EXPECT_EQ(table->ReadBlob(TFieldSet::Working, kMemo, record.data(), 0, size,
                                reinterpret_cast<std::uint8_t*>(memo.data()), copied),
                0);
      EXPECT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
      contents[id] = {
          std::get<std::string>(table->ReadField(TFieldSet::Working, kName, record.data())), memo};
    }
    return contents;
  }

  // The secondary index's root page, its bytes, and the offset of its entry count.
  std::pair<std::int32_t, Bytes> SecondaryRoot() {
    const std::int32_t root = Open(TMode::Shared, true)->IndexFile().Descriptor(1).RootPage;
    const Bytes file = ReadBytes(dir_.File("T.IDX"));
    return {root, Bytes(file.begin() + root, file.begin() + root + 4096)};
  }
  void WritePage(std::int32_t offset, const Bytes& page) {
    Bytes file = ReadBytes(dir_.File("T.IDX"));
    std::copy(page.begin(), page.end(), file.begin() + offset);
    WriteBytes(dir_.File("T.IDX"), file);
  }
};

class RefusedInTheTreeTest : public RefusedChangeTest,
                             public ::testing::WithParamInterface<std::tuple<TMode, TOp>> {};

// The second index's page is damaged: the change has already changed the primary index when it
// is refused. With the page put right the same change goes through, and an earlier change still
// held in memory (exclusive open, batch) survives the refusal.
TEST_P(RefusedInTheTreeTest, LeavesNoTraceAndTheNextChangeWorks) {
  const auto [mode, op] = GetParam();
  TContents model = Contents();
  const auto [root, page] = SecondaryRoot();
  Bytes damaged = page;
  StoreU16(damaged.data() + 1, 0xFFFF);  // more entries than a page holds
  WritePage(root, damaged);
  {
    auto table = Open(mode);
    Bytes record = GoTo(*table, 1);  // a change before, that needs no index
    SetMemo(*table, record, "earlier change");
    table->Update(record.data(), {.Unlock = true});
    ASSERT_EQ(table->CloseBlob(TFieldSet::Working, kMemo, record.data()), 0);
    model[1].second = "earlier change";
    TContents refused = model;
    EXPECT_EQ(EngineErrorOf([&] { Change(*table, op, refused); }), ie::kIndexBuffersCorrupt);
    EXPECT_EQ(table->RecordCount(), static_cast<std::int32_t>(model.size()));
    WritePage(root, page);
    Change(*table, op, model);
    if (mode == TMode::Batch) table->EndBatch();
  }
  EXPECT_EQ(Contents(), model);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RefusedInTheTreeTest,
    ::testing::Combine(::testing::Values(TMode::Shared, TMode::Exclusive, TMode::Batch),
                       ::testing::Values(TOp::Insert, TOp::Update, TOp::Delete)));

// The blob file cannot grow (a full disk) when the change's own write has already written the
// record and its keys: what it wrote is put back, and once there is room the change goes through.
TEST_F(RefusedChangeTest, AFailedWriteIsTakenBackFromTheFiles) {
  TContents model = Contents();
  auto table = Open(TMode::Shared);
  namespace fs = std::filesystem;
  const auto largest = fs::file_size(dir_.File("T.BLB"));
  ASSERT_GT(largest, std::max(fs::file_size(DataPath()), fs::file_size(dir_.File("T.IDX"))));
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = static_cast<rlim_t>(largest);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  TContents refused = model;
  const int code = EngineErrorOf([&] { Change(*table, TOp::Insert, refused); });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(code, ie::kWriteError);
  EXPECT_EQ(Contents(), model);
  Change(*table, TOp::Insert, model);
  Change(*table, TOp::Delete, model);
  table.reset();
  EXPECT_EQ(Contents(), model);
}

// The header's chain of deleted slots may name anything: a live record is not overwritten.
TEST_F(RefusedChangeTest, AFreeSlotHeadOnALiveRecordIsRefused) {
  {
    auto table = Open(TMode::Shared);
    GoTo(*table, 4);
    table->Delete({});
  }
  TContents model = Contents();
  Bytes data = ReadBytes(DataPath());
  const Bytes before = data;
  ASSERT_EQ(LoadI32(before.data() + 9), 4);  // the header's free-slot head: the deleted slot
  StoreI32(data.data() + 9, 2);              // now slot 2, a live record
  WriteBytes(DataPath(), data);
  auto table = Open(TMode::Shared);
  EXPECT_EQ(EngineErrorOf([&] { Put(*table, 7, "kiwi", "k"); }), ie::kHeaderCorrupt);
  table.reset();
  WriteBytes(DataPath(), before);
  EXPECT_EQ(Contents(), model);
}

// An index or blob file nobody may write makes the whole table read-only: a change is refused
// before the data file takes it.
TEST_F(RefusedChangeTest, ATableWithAFileThatCannotBeWrittenIsReadOnly) {
  TContents model = Contents();
  for (const char* name : {"T.IDX", "T.BLB"}) {
    const std::string path = dir_.File(name);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    {
      auto table = Open(TMode::Shared);
      EXPECT_TRUE(table->ReadOnly()) << name;
      EXPECT_EQ(EngineErrorOf([&] { Put(*table, 8, "lime", "l"); }), ie::kAccessDenied) << name;
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
  EXPECT_EQ(Contents(), model);
}

}  // namespace
}  // namespace katalog
