#include "engine/table/DataFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/storage/Cipher.h"
#include "engine/storage/FileSession.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;

class DataFileTest : public katalog::testing::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6, 29}, {"Name", 1, 0, 10}, {"Notes", 3, 22}, {"Value", 7}};
    def.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}};
    CreateTable(def);
    pristine_ = ReadBytes(DataPath());
  }

  int OpenError(const std::vector<std::uint8_t>& bytes) {
    WriteBytes(DataPath(), bytes);
    TDataFile table;
    table.SetFileName(TablePath());
    const int code = EngineErrorOf([&] { table.Open(); });
    if (code != 0) {
      EXPECT_FALSE(table.IsOpen());
      EXPECT_FALSE(table.IndexFile().IsOpen());
    }
    return code;
  }

  std::vector<std::uint8_t> pristine_;
};

TEST_F(DataFileTest, OpensAndNamesItsFiles) {
  TDataFile table;
  table.SetFileName("  " + TablePath() + ".xyz  ");
  EXPECT_EQ(table.FileName(), DataPath());
  table.Open();
  EXPECT_EQ(table.IndexFile().FileName(), TablePath() + ".IDX");
  ASSERT_NE(table.BlobFile(), nullptr);
  EXPECT_EQ(table.BlobFile()->FileName(), TablePath() + ".BLB");
  EXPECT_EQ(table.Header().RecordSize, 9 + 12 + 5 + 9);
  // The index and blob files take the data file's settings.
  EXPECT_FALSE(table.IndexFile().Exclusive());
  table.Close();
  table.SetExclusive(true);
  table.SetReadOnly(true);
  table.Open();
  EXPECT_TRUE(table.IndexFile().Exclusive());
  EXPECT_TRUE(table.BlobFile()->ReadOnly());
}

TEST_F(DataFileTest, EveryOpenCheck) {
  EXPECT_EQ(OpenError(pristine_), 0);
  auto spoiled = [&](auto change) {
    std::vector<std::uint8_t> bytes = pristine_;
    change(bytes);
    return OpenError(bytes);
  };
  EXPECT_EQ(spoiled([](auto& b) { b[8] = 2; }), ie::kWrongVersion);
  EXPECT_EQ(spoiled([](auto& b) { StoreU16(&b[103], 0x1234); }), ie::kLanguageDriver);
  EXPECT_EQ(spoiled([](auto& b) {
              StoreU16(&b[105], 7);
              StoreU16(&b[103], 0x0405);
            }),
            ie::kLanguageDriver);
  // Descriptor 2 (Name) moved by one byte, a wrong field number, a wrong record size.
  EXPECT_EQ(spoiled([](auto& b) { StoreI16(&b[127 + 768 + 90], 10); }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([](auto& b) { StoreI16(&b[127 + 768], 3); }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([](auto& b) { StoreU16(&b[21], 36); }), ie::kHeaderCorrupt);
  // The autoincrement field must sit on the record identifier.
  EXPECT_EQ(spoiled([](auto& b) { StoreI16(&b[127 + 90], 9); }), ie::kHeaderCorrupt);
  // A declared string size the physical size byte cannot hold.
  EXPECT_EQ(spoiled([](auto& b) { b[127 + 768 + 86] = 255; }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([](auto& b) { StoreU16(&b[23], 1025); }), ie::kHeaderCorrupt);
  // Bytes past the last slot the header counts (an append whose header write never came) are
  // reused by the next append; a file shorter than the slots it counts is damaged.
  EXPECT_EQ(spoiled([](auto& b) { b.push_back(0); }), 0);
  EXPECT_EQ(spoiled([](auto& b) { StoreI32(&b[13], 2); }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([](auto& b) {
              b.resize(b.size() + 35, 0);
              StoreI32(&b[13], 2);
            }),
            0);
  // Short header or descriptor block.
  EXPECT_EQ(spoiled([](auto& b) { b.resize(126); }), ie::kReadError);
  EXPECT_EQ(spoiled([](auto& b) { b.resize(127 + 768 * 4 - 1); }), ie::kReadError);
}

TEST_F(DataFileTest, DamagedCopiesNeverCrash) {
  const std::size_t dataStart = 127 + 4 * 768;
  for (std::size_t cut :
       {std::size_t{0}, std::size_t{1}, std::size_t{4}, std::size_t{126}, std::size_t{127},
        std::size_t{128}, std::size_t{127 + 768}, dataStart - 1}) {
    std::vector<std::uint8_t> bytes(pristine_.begin(), pristine_.begin() + cut);
    EXPECT_NE(OpenError(bytes), 0) << "cut at " << cut;
  }
  // Every byte of the header and of a descriptor set to other values: an engine error or a
  // table that opens, never anything else.
  for (std::size_t at = 0; at < 127 + 768; ++at) {
    for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
      std::vector<std::uint8_t> bytes = pristine_;
      bytes[at] = value;
      OpenError(bytes);
    }
  }
}

TEST_F(DataFileTest, CompanionFileErrorsNameTheirFile) {
  std::vector<std::uint8_t> index = ReadBytes(TablePath() + ".IDX");
  index[8] = 4;
  WriteBytes(TablePath() + ".IDX", index);
  TDataFile table;
  table.SetFileName(TablePath());
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }, &message), ie::kWrongVersion);
  EXPECT_NE(message.find(TablePath() + ".IDX is not the correct version"), std::string::npos);
  EXPECT_FALSE(table.IsOpen());

  std::filesystem::remove(TablePath() + ".IDX");
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kInvalidPath);
  CreateTable({TablePath(), false, {{"A", 4}}});
  std::filesystem::remove(TablePath() + ".BLB");  // not needed without blob fields
  table.Open();
}

TEST_F(DataFileTest, TableNamesResolveWithoutRegardToCase) {
  TDataFile table;
  table.SetFileName(dir_.Path() + "\\t");
  table.Open();
  EXPECT_EQ(table.Header().FieldCount, 4);
  EXPECT_TRUE(table.BlobFile()->IsOpen());
}

TEST_F(DataFileTest, DamagedBlobHeader) {
  const std::string blob = TablePath() + ".BLB";
  std::vector<std::uint8_t> bytes = ReadBytes(blob);
  bytes[8] = 7;
  WriteBytes(blob, bytes);
  TDataFile table;
  table.SetFileName(TablePath());
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kWrongVersion);
  bytes.resize(100);
  WriteBytes(blob, bytes);
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kReadError);
  EXPECT_FALSE(table.IsOpen());
  EXPECT_FALSE(table.IndexFile().IsOpen());
}

TEST_F(DataFileTest, ReadOnlyAttributeOpensReadOnlyMedia) {
  ASSERT_EQ(::chmod(DataPath().c_str(), 0444), 0);
  TDataFile table;
  table.SetFileName(TablePath());
  table.Open();
  EXPECT_TRUE(table.ReadOnly());
  EXPECT_TRUE(table.ReadOnlyMedia());
  EXPECT_TRUE(table.IndexFile().ReadOnly());
  // Read access takes no locks on read-only media.
  table.AcquireReadAccess();
  EXPECT_FALSE(table.ReadAccessHeld());
}

TEST_F(DataFileTest, ReadAccessHoldsReadSlotsThatExcludeWriters) {
  TDataFile reader;
  reader.SetFileName(TablePath());
  reader.Open();
  reader.AcquireReadAccess();
  EXPECT_TRUE(reader.ReadAccessHeld());
  EXPECT_TRUE(reader.IndexFile().Locks().ReadHeld());
  EXPECT_TRUE(reader.BlobFile()->Locks().ReadHeld());
  TIndexFile writer;
  writer.SetFileName(DataPath());
  writer.SetFields(&reader.PhysicalFields());
  writer.Open();
  EXPECT_FALSE(writer.LockRegion(kWriteRangeOffset, kWriteRangeLength));
  reader.ReleaseReadAccess();
  EXPECT_FALSE(reader.IndexFile().Locks().ReadHeld());
  EXPECT_TRUE(writer.LockRegion(kWriteRangeOffset, kWriteRangeLength));
  // An exclusive table needs no locks.
  reader.Close();
  writer.Close();
  reader.SetExclusive(true);
  reader.Open();
  reader.AcquireReadAccess();
  EXPECT_FALSE(reader.ReadAccessHeld());
}

TEST_F(DataFileTest, RecordIdentifiersWrap) {
  std::vector<std::uint8_t> bytes = pristine_;
  StoreI32(&bytes[17], 0x7FFFFFFF);
  WriteBytes(DataPath(), bytes);
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(TablePath());
  table.Open();
  EXPECT_EQ(table.IssueRecordId(), 1);
  EXPECT_EQ(table.IssueRecordId(), 2);
  EXPECT_TRUE(table.HeaderChanged());
  const std::int32_t counter = table.Header().ChangeCounter;
  table.WriteHeader();
  EXPECT_EQ(table.ReadChangeCounter(), counter + 1);
  EXPECT_FALSE(table.HeaderChanged());
  // The stamp is the local time as days since 1899-12-30, minus 693594.
  EXPECT_LT(table.Header().LastWriteStamp, 46000 - 693594 + 1000);
  EXPECT_GT(table.Header().LastWriteStamp, 46000 - 693594);
  table.WriteHeader();  // unchanged: nothing written
  EXPECT_EQ(table.ReadChangeCounter(), counter + 1);
  table.WriteHeader(true);
  EXPECT_EQ(table.ReadChangeCounter(), counter + 2);
}

TEST_F(DataFileTest, SlotsAppendReuseAndChain) {
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(TablePath());
  table.Open();
  const int size = table.Header().RecordSize;
  std::vector<std::uint8_t> slots(3 * size, 0);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(table.ChooseSlot(), n);
    table.TakeSlot(n, nullptr);
    StoreI32(&slots[(n - 1) * size + 1], n);
    StoreI32(&slots[(n - 1) * size + 5], table.IssueRecordId());
  }
  EXPECT_EQ(table.Header().NextRecordNumber, 4);
  // Deleting 2 then 3 chains 3 -> 2 -> end.
  table.DeleteSlot(2, &slots[size]);
  EXPECT_EQ(slots[size], 1);
  EXPECT_EQ(LoadI32(&slots[size + 1]), 0);
  table.DeleteSlot(3, &slots[2 * size]);
  EXPECT_EQ(LoadI32(&slots[2 * size + 1]), 2);
  EXPECT_EQ(table.Header().FreeSlotHead, 3);
  table.WriteSlots(1, 3, slots.data());
  table.WriteHeader();
  // A new record reuses 3, then 2, then appends.
  EXPECT_EQ(table.ChooseSlot(), 3);
  table.TakeSlot(3, &slots[2 * size]);
  EXPECT_EQ(table.ChooseSlot(), 2);
  table.TakeSlot(2, &slots[size]);
  EXPECT_EQ(table.ChooseSlot(), 4);

  std::vector<std::uint8_t> read(3 * size);
  EXPECT_EQ(table.ReadSlots(1, 3, read.data(), false), 3);
  EXPECT_EQ(read, slots);
  EXPECT_EQ(table.ReadSlots(3, 2, read.data(), true), 1);  // only slot 3 exists
  EXPECT_EQ(EngineErrorOf([&] { table.ReadSlots(3, 2, read.data(), false); }), ie::kReadError);
}

TEST_F(DataFileTest, TableWithoutPrimaryIndexNeverReusesSlots) {
  CreateTable({TablePath("Plain"), false, {{"A", 6}}});
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(TablePath("Plain"));
  table.Open();
  std::vector<std::uint8_t> slot(table.Header().RecordSize, 0);
  table.TakeSlot(table.ChooseSlot(), nullptr);
  table.DeleteSlot(1, slot.data());
  EXPECT_EQ(table.Header().FreeSlotHead, 1);  // the chain is kept
  EXPECT_EQ(LoadI32(&slot[1]), 0);
  EXPECT_EQ(table.ChooseSlot(), 2);  // but never used
}

TEST_F(DataFileTest, AppendingStopsWhenTheTableIsFull) {
  // A sparse file as long as 15 151 515 records of 35 bytes... would be; any length that puts
  // NextRecordNumber x RecordSize beyond 2 000 000 000 will do.
  const std::int32_t next = 2000000000 / 35 + 1;
  std::vector<std::uint8_t> bytes = pristine_;
  StoreI32(&bytes[13], next);
  WriteBytes(DataPath(), bytes);
  ASSERT_EQ(::truncate(DataPath().c_str(),
                       static_cast<off_t>(127 + 4 * 768 + std::int64_t{next - 1} * 35)),
            0);
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(TablePath());
  table.Open();
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { table.TakeSlot(next, nullptr); }, &message), ie::kTableFull);
  EXPECT_NE(message.find("is full and cannot contain any more data"), std::string::npos);
  EXPECT_EQ(table.Header().NextRecordNumber, next);
}

class EncryptedTableTest : public katalog::testing::TableTest {};

TEST_F(EncryptedTableTest, PasswordsAndEncipheredBytes) {
  TTableDefinition def;
  def.TableName = TablePath("Secret");
  def.Password = "Heslo";
  def.Fields = {{"Name", 1, 0, 10}, {"Notes", 3, 22}};
  def.Indexes = {{"", {"Name"}, {}, true}};
  CreateTable(def);
  TDataFile table;
  table.SetFileName(TablePath("Secret"));
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
  CurrentFileSession().AddPassword("heslo");  // letter case counts
  EXPECT_EQ(EngineErrorOf([&] { table.Open(); }), ie::kPasswordRequired);
  int asked = 0;
  table.SetPasswordCallback([&] {
    ++asked;
    if (asked == 2) CurrentFileSession().AddPassword("Heslo");
    return asked < 3;
  });
  table.Open();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(table.PhysicalFields()[0].Name, "Name");
  EXPECT_EQ(table.IndexFile().Descriptor(0).KeyLength, 12);
  EXPECT_EQ(table.BlobFile()->Header().EndOfFile, 512);
  EXPECT_EQ(DecodeStoredPassword(table.Header().StoredPassword), "Heslo");

  // Records are plain in memory and enciphered on disk.
  table.Close();
  table.SetExclusive(true);
  table.Open();
  std::vector<std::uint8_t> slot(table.Header().RecordSize, 0);
  slot[10] = 'A';
  table.TakeSlot(1, nullptr);
  table.WriteSlots(1, 1, slot.data());
  table.WriteHeader();
  std::vector<std::uint8_t> back(slot.size());
  table.ReadSlots(1, 1, back.data(), false);
  EXPECT_EQ(back, slot);
  table.Close();
  std::vector<std::uint8_t> file = ReadBytes(DataPath("Secret"));
  std::vector<std::uint8_t> onDisk(file.end() - static_cast<std::ptrdiff_t>(slot.size()),
                                   file.end());
  EXPECT_NE(onDisk, slot);
  ApplyCipher(onDisk.data(), onDisk.size(), kRecordSeeds);
  EXPECT_EQ(onDisk, slot);
}

TEST_F(EncryptedTableTest, DescriptorCipherCoversOnlyTheFirst64KModulo) {
  TTableDefinition def;
  def.TableName = TablePath("Wide");
  for (int i = 0; i < 86; ++i) def.Fields.push_back({"F" + std::to_string(i), 6});
  CreateTable(def);
  const std::vector<std::uint8_t> plain = ReadBytes(DataPath("Wide"));
  def.Password = "x";
  CreateTable(def);
  std::vector<std::uint8_t> enciphered = ReadBytes(DataPath("Wide"));
  ASSERT_EQ(plain.size(), enciphered.size());
  // 86 x 768 = 66 048, of which 66 048 mod 65 536 = 512 bytes are enciphered.
  EXPECT_TRUE(std::equal(plain.begin() + 127 + 512, plain.end(), enciphered.begin() + 127 + 512));
  EXPECT_FALSE(
      std::equal(plain.begin() + 127, plain.begin() + 127 + 512, enciphered.begin() + 127));
  ApplyCipher(enciphered.data() + 127, 86 * 768, kRecordSeeds);
  EXPECT_TRUE(std::equal(plain.begin() + 127, plain.end(), enciphered.begin() + 127));
  CurrentFileSession().AddPassword("x");
  TDataFile table;
  table.SetFileName(TablePath("Wide"));
  table.Open();
  EXPECT_EQ(table.PhysicalFields()[85].Name, "F85");
}

}  // namespace
}  // namespace katalog
