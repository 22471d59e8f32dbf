#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/storage/FileSession.h"
#include "engine/storage/RecordCodec.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;

class RecordAccessTest : public katalog::testing::TableTest {
 protected:
  void Create(bool primary = true) {
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Seq", 6, 29}};
    if (primary) def.Indexes.push_back({"", {"Id"}, {}, true});
    def.Indexes.push_back({"ByName", {"Name"}, {}, false, false, false, true, kcFull});
    CreateTable(def);
  }

  std::unique_ptr<TDataFile> Open(bool exclusive = false, bool readOnly = false) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetReadOnly(readOnly);
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  void Add(TDataFile& table, std::int32_t id, const std::string& name) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    ASSERT_TRUE(table.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data()));
    ASSERT_TRUE(table.WriteField(TFieldSet::Working, 2, name, record.data()));
    table.Insert(record.data(), {});
  }

  // The Id values in the current order, first to last.
  std::vector<std::int64_t> Ids(TDataFile& table) {
    std::vector<std::int64_t> ids;
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.GoFirst();
    while (table.GoNext(record.data()) == 0) {
      ids.push_back(std::get<std::int64_t>(table.ReadField(TFieldSet::Working, 1, record.data())));
    }
    return ids;
  }

  std::vector<std::int64_t> IdsBackwards(TDataFile& table) {
    std::vector<std::int64_t> ids;
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.GoLast();
    while (table.GoPrior(record.data()) == 0) {
      ids.push_back(std::get<std::int64_t>(table.ReadField(TFieldSet::Working, 1, record.data())));
    }
    return ids;
  }
};

TEST_F(RecordAccessTest, InsertNavigateUpdateDelete) {
  Create();
  auto table = Open();
  EXPECT_EQ(table->RecordCount(), 0);
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  table->GoFirst();
  EXPECT_EQ(table->GoNext(record.data()), ie::kEndOfFile);
  EXPECT_EQ(table->GoPrior(record.data()), ie::kBeginningOfFile);

  Add(*table, 30, "cherry");
  Add(*table, 10, "banana");
  Add(*table, 20, "apple");
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 20, 30}));
  EXPECT_EQ(IdsBackwards(*table), (std::vector<std::int64_t>{30, 20, 10}));
  table->SetIndexByName("byname");
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{20, 10, 30}));

  // Autoincrement values are the record identifiers, in the order of creation.
  table->SetIndex(0);
  table->GoFirst();
  ASSERT_EQ(table->GoNext(record.data()), 0);
  EXPECT_EQ(std::get<std::int64_t>(table->ReadField(TFieldSet::Working, 3, record.data())), 2);
  EXPECT_EQ(table->CurrentPosition(), 1);
  EXPECT_EQ(table->GoNext(record.data()), 0);
  EXPECT_EQ(table->CurrentPosition(), 2);

  // Positions, and the end leaves a blank record.
  table->GoToPosition(3);
  ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
  EXPECT_EQ(std::get<std::int64_t>(table->ReadField(TFieldSet::Working, 1, record.data())), 30);
  EXPECT_EQ(table->GoNext(record.data()), ie::kEndOfFile);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(
      table->ReadField(TFieldSet::Working, 1, record.data())));
  EXPECT_EQ(table->GoPrior(record.data()), 0);
  EXPECT_EQ(std::get<std::int64_t>(table->ReadField(TFieldSet::Working, 1, record.data())), 30);

  // Changing the key moves the record in the order.
  table->GoToPosition(1);
  ASSERT_EQ(table->GetCurrent(record.data(), true), 0);
  table->WriteField(TFieldSet::Working, 1, std::int64_t{40}, record.data());
  table->Update(record.data(), {.Unlock = true, .Reposition = true});
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{20, 30, 40}));

  // A duplicate primary key changes nothing.
  std::vector<std::uint8_t> duplicate(table->WorkingRecordSize());
  table->BlankRecord(duplicate.data());
  table->WriteField(TFieldSet::Working, 1, std::int64_t{20}, duplicate.data());
  table->WriteField(TFieldSet::Working, 2, std::string("dup"), duplicate.data());
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { table->Insert(duplicate.data(), {}); }, &message),
            ie::kDuplicateKey);
  EXPECT_NE(message.find("Duplicate key found in index Primary"), std::string::npos);
  EXPECT_EQ(table->RecordCount(), 3);
  EXPECT_EQ(table->Header().NextRecordNumber, 4);

  table->GoToPosition(2);
  ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
  table->Delete({});
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{20, 40}));
  table->SetIndexByName("ByName");
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{20, 40}));

  // Everything is on disk: another handler sees the same.
  auto other = Open();
  EXPECT_EQ(other->RecordCount(), 2);
  EXPECT_EQ(Ids(*other), (std::vector<std::int64_t>{20, 40}));
  // The deleted slot is reused.
  const std::int32_t freeSlot = other->Header().FreeSlotHead;
  EXPECT_NE(freeSlot, 0);
  Add(*other, 50, "date");
  EXPECT_EQ(other->Header().FreeSlotHead, 0);
  EXPECT_EQ(other->Header().NextRecordNumber, 4);
  // The first handler trusts its cached pages until it reads from disk or refreshes.
  EXPECT_EQ(table->RecordCount(), 2);
  table->Refresh();
  EXPECT_EQ(table->RecordCount(), 3);
  table->SetIndex(0);
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{20, 40, 50}));
}

TEST_F(RecordAccessTest, StrictChangeDetectionLooksBeforeEveryMove) {
  Create();
  auto reader = std::make_unique<TDataFile>();
  reader->SetStrictChangeDetection(true);
  reader->SetFileName(TablePath());
  reader->Open();
  EXPECT_EQ(EngineErrorOf([&] { reader->SetStrictChangeDetection(false); }), ie::kFileInUse);
  auto writer = Open();
  Add(*writer, 1, "one");
  EXPECT_EQ(reader->RecordCount(), 1);
  Add(*writer, 2, "two");
  EXPECT_EQ(Ids(*reader), (std::vector<std::int64_t>{1, 2}));
  std::vector<std::uint8_t> record(writer->WorkingRecordSize());
  writer->GoToPosition(1);
  ASSERT_EQ(writer->GetCurrent(record.data(), false), 0);
  writer->WriteField(TFieldSet::Working, 1, std::int64_t{3}, record.data());
  writer->Update(record.data(), {});
  EXPECT_EQ(Ids(*reader), (std::vector<std::int64_t>{2, 3}));
}

TEST_F(RecordAccessTest, AFullTableRefusesAnInsertAndChangesNothing) {
  Create();
  std::int32_t recordSize;
  {
    auto table = Open();
    Add(*table, 1, "one");
    recordSize = table->Header().RecordSize;
  }
  // A sparse data file as long as the largest table may be: NextRecordNumber x RecordSize just
  // above 2 000 000 000 bytes, all slots zero.
  const std::int32_t next = 2000000000 / recordSize + 1;
  std::vector<std::uint8_t> bytes = ReadBytes(DataPath());
  StoreI32(&bytes[13], next);
  WriteBytes(DataPath(), bytes);
  const std::int64_t length = 127 + 3 * 768 + std::int64_t{next - 1} * recordSize;
  ASSERT_EQ(::truncate(DataPath().c_str(), static_cast<off_t>(length)), 0);
  const std::vector<std::uint8_t> index = ReadBytes(TablePath() + ".IDX");
  auto table = Open();
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  table->BlankRecord(record.data());
  table->WriteField(TFieldSet::Working, 1, std::int64_t{2}, record.data());
  EXPECT_EQ(EngineErrorOf([&] { table->Insert(record.data(), {}); }), ie::kTableFull);
  EXPECT_EQ(table->RecordCount(), 1);
  table->Close();
  EXPECT_EQ(ReadBytes(TablePath() + ".IDX"), index);
  EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(DataPath())), length);
}

TEST_F(RecordAccessTest, CloneSharesTheTableIndexAndRecord) {
  Create();
  auto table = Open();
  for (int id = 1; id <= 5; ++id) Add(*table, id * 10, "n" + std::to_string(6 - id));
  table->SetIndexByName("ByName");
  table->GoToPosition(2);
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
  const auto id = std::get<std::int64_t>(table->ReadField(TFieldSet::Working, 1, record.data()));
  auto clone = table->Clone();
  EXPECT_FALSE(clone->Exclusive());
  EXPECT_EQ(clone->Cursor().Slot(), 1);
  ASSERT_EQ(clone->GetCurrent(record.data(), false), 0);
  EXPECT_EQ(std::get<std::int64_t>(clone->ReadField(TFieldSet::Working, 1, record.data())), id);
  EXPECT_EQ(clone->CurrentPosition(), 2);
  // Both handlers change the same table.
  Add(*clone, 60, "n0");
  table->Refresh();
  EXPECT_EQ(table->RecordCount(), 6);

  clone.reset();
  table.reset();
  auto exclusive = Open(true);
  EXPECT_EQ(EngineErrorOf([&] { exclusive->Clone(); }), ie::kAccessDenied);
}

TEST_F(RecordAccessTest, CloneOfAnEncipheredTableBorrowsThePasswordOnlyToOpen) {
  TTableDefinition def;
  def.TableName = TablePath();
  def.Password = "Heslo";
  def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Seq", 6, 29}};
  def.Indexes = {{"", {"Id"}, {}, true}};
  CreateTable(def);
  TFileSession& session = CurrentFileSession();
  bool asked = false;
  auto table = std::make_unique<TDataFile>();
  table->SetFileName(TablePath());
  table->SetPasswordCallback([&] {
    asked = true;
    session.AddPassword("Heslo");
    return true;
  });
  table->Open();
  EXPECT_TRUE(asked);
  Add(*table, 7, "seven");
  session.RemovePassword("Heslo");
  auto clone = table->Clone();  // opens without asking
  EXPECT_FALSE(session.HasPassword("Heslo"));
  EXPECT_EQ(clone->RecordCount(), 1);
  // The record is enciphered on disk.
  const std::vector<std::uint8_t> bytes = ReadBytes(DataPath());
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("seven"), std::string::npos);
}

TEST_F(RecordAccessTest, ForceBufferFlushWritesThroughAllFiles) {
  Create();
  auto table = std::make_unique<TDataFile>();
  table->SetForceBufferFlush(true);
  table->SetFileName(TablePath());
  table->Open();
  EXPECT_TRUE(table->ForceBufferFlush());
  EXPECT_TRUE(table->IndexFile().WriteThrough());
  Add(*table, 1, "one");
  EXPECT_EQ(table->RecordCount(), 1);
}

TEST_F(RecordAccessTest, ReadOnlyTablesRefuseChanges) {
  Create();
  {
    auto table = Open();
    Add(*table, 1, "one");
  }
  auto table = Open(false, true);
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  table->BlankRecord(record.data());
  EXPECT_EQ(EngineErrorOf([&] { table->Insert(record.data(), {}); }), ie::kAccessDenied);
  table->GoFirst();
  ASSERT_EQ(table->GoNext(record.data()), 0);
  EXPECT_EQ(EngineErrorOf([&] { table->Update(record.data(), {}); }), ie::kAccessDenied);
  EXPECT_EQ(EngineErrorOf([&] { table->Delete({}); }), ie::kAccessDenied);
  EXPECT_EQ(table->RecordCount(), 1);
}

TEST_F(RecordAccessTest, PhysicalOrderWithoutPrimaryIndex) {
  Create(false);
  {
    auto table = Open(true);
    for (int i = 1; i <= 5; ++i) Add(*table, i * 10, "n" + std::to_string(i));
    EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 20, 30, 40, 50}));
    table->GoToPosition(2);
    std::vector<std::uint8_t> record(table->WorkingRecordSize());
    ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
    table->Delete({});
    EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 30, 40, 50}));
    EXPECT_EQ(table->RecordCount(), 4);
  }
  // Deleted records stay hidden after opening again, and slots are not reused.
  auto table = Open();
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 30, 40, 50}));
  EXPECT_EQ(table->RecordCount(), 4);
  Add(*table, 60, "n6");
  EXPECT_EQ(table->Header().NextRecordNumber, 7);
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 30, 40, 50, 60}));
  table->SetIndexByName("ByName");
  EXPECT_EQ(Ids(*table), (std::vector<std::int64_t>{10, 30, 40, 50, 60}));
}

}  // namespace
}  // namespace katalog
