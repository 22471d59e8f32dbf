#include "engine/table/TableCreation.h"

#include <gtest/gtest.h>

#include <numeric>

#include "engine/storage/Cipher.h"
#include "engine/table/DataFile.h"
#include "platform/Locale.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using katalog::testing::EveryFieldType;

class TableCreationTest : public katalog::testing::TableTest {
 protected:
  TTableDefinition EveryKind() {
    TTableDefinition def;
    def.TableName = TablePath("Every.old");  // the extension is replaced
    def.Fields = EveryFieldType();
    def.Fields[0].Required = true;
    def.Fields[0].DefaultValue = "none";
    def.Fields[4].MinValue = "-5";
    def.Fields[4].MaxValue = "500";
    def.Fields[1].DefaultValue = "DATE";
    def.Fields[11].DefaultValue = "NOW";
    def.Indexes = {
        {"", {"name"}, {}, true},
        {"ByStamp", {"Stamp", "Amount"}, {false, true}, false, false, false, true, kcFull},
        {"ByWord", {"Word"}, {}, false, true, true, false, kcTrailing},
    };
    return def;
  }

  std::unique_ptr<TDataFile> OpenTable(const std::string& name, bool exclusive = false) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetFileName(name);
    table->Open();
    return table;
  }
};

TEST_F(TableCreationTest, EveryFieldTypeReadsBackExactly) {
  CreateTable(EveryKind());
  EXPECT_EQ(std::filesystem::file_size(DataPath("Every")), 127u + 17 * 768);
  EXPECT_EQ(std::filesystem::file_size(TablePath("Every.IDX")), 4096u);
  EXPECT_EQ(std::filesystem::file_size(TablePath("Every.BLB")), 512u);

  auto table = OpenTable(TablePath("Every"));
  const TDataFileHeader& h = table->Header();
  EXPECT_EQ(h.FormatVersion, 3);
  EXPECT_EQ(h.FieldCount, 17);
  EXPECT_EQ(h.RecordSize, 132);
  EXPECT_EQ(h.NextRecordNumber, 1);
  EXPECT_EQ(h.FreeSlotHead, 0);
  EXPECT_EQ(h.LastRecordId, 0);
  EXPECT_EQ(h.BlobIndicator, 1);
  EXPECT_EQ(h.Encrypted, 0);
  EXPECT_EQ(h.LanguageId, 0);
  ASSERT_NE(table->BlobFile(), nullptr);
  EXPECT_EQ(table->BlobFile()->Header().EndOfFile, 512);

  // Offsets follow one another from 9; the autoincrement field sits on the record identifier.
  const std::vector<int> offsets = {9,  31, 36, 41, 44, 5,   47,  56, 65,
                                    74, 81, 86, 95, 98, 103, 114, 127};
  const std::vector<int> physical = {21, 4, 4, 2, 2, 4, 8, 8, 8, 6, 4, 8, 2, 4, 10, 12, 4};
  const auto& fields = table->PhysicalFields();
  ASSERT_EQ(fields.size(), 17u);
  const auto expected = EveryFieldType();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    SCOPED_TRACE(fields[i].Name);
    EXPECT_EQ(fields[i].FieldNumber, static_cast<int>(i + 1));
    EXPECT_EQ(fields[i].Name, expected[i].Name);
    EXPECT_EQ(fields[i].FieldTypeCode, expected[i].TypeCode);
    EXPECT_EQ(fields[i].SubTypeCode, expected[i].SubType);
    EXPECT_EQ(fields[i].FieldOffset, offsets[i]);
    EXPECT_EQ(fields[i].PhysicalSize, physical[i]);
  }
  EXPECT_EQ(fields[0].DeclaredSize, 20);
  EXPECT_EQ(fields[8].DeclaredScale, 2);
  EXPECT_EQ(fields[8].PhysicalScale, 2);
  EXPECT_EQ(fields[0].RequiredFlag, 1);
  EXPECT_EQ(fields[0].DefaultValue, "none");
  EXPECT_EQ(fields[4].MinValue, "-5");
  EXPECT_EQ(fields[4].MaxValue, "500");
  EXPECT_TRUE(table->HasValidityChecks());
  EXPECT_TRUE(table->HasDefaults());
  EXPECT_FALSE(table->HasComputedFields());

  const TIndexFileHeader& ix = table->IndexFile().Header();
  EXPECT_EQ(ix.FormatVersion, 3);
  EXPECT_EQ(ix.EndOfFile, 4096);
  EXPECT_EQ(ix.SecondaryCount, 2);
  EXPECT_EQ(ix.NoPrimaryIndex, 0);
  EXPECT_EQ(ix.ActiveRecords, 0);
  TIndexDescriptor primary;
  primary.Name = "Primary";
  primary.KeyLength = 22;
  primary.Unique = 1;
  primary.FieldCount = 1;
  primary.FieldNumbers[0] = 1;
  EXPECT_EQ(ix.Indexes[0], primary);
  TIndexDescriptor byStamp;
  byStamp.Name = "ByStamp";
  byStamp.KeyLength = 9 + 9 + 4;  // non-unique: the record identifier follows
  byStamp.CaseInsensitive = 1;
  byStamp.Compression = 3;
  byStamp.FieldCount = 2;
  byStamp.FieldNumbers[0] = 12;
  byStamp.FieldNumbers[1] = 7;
  byStamp.FieldDescending[1] = 1;
  EXPECT_EQ(ix.Indexes[1], byStamp);
  TIndexDescriptor byWord;
  byWord.Name = "ByWord";
  byWord.KeyLength = 3;
  byWord.Unique = 1;
  byWord.Descending = 1;
  byWord.Compression = 2;
  byWord.FieldCount = 1;
  byWord.FieldNumbers[0] = 13;
  EXPECT_EQ(ix.Indexes[2], byWord);
  TIndexDescriptor deleted;
  deleted.Name = "Sys Deleted";
  deleted.KeyLength = 5;
  EXPECT_EQ(ix.Indexes[31], deleted);
  for (int slot = 3; slot < 31; ++slot) EXPECT_EQ(ix.Indexes[slot], TIndexDescriptor{}) << slot;
}

TEST_F(TableCreationTest, RecordSizes) {
  TTableDefinition def;
  def.TableName = TablePath("Auto");
  def.Fields = {{"Id", 6, 29}, {"Count", 6}};
  CreateTable(def);
  auto table = OpenTable(TablePath("Auto"));
  EXPECT_EQ(table->Header().RecordSize, 14);  // 9 + 4 + 1: the autoincrement takes nothing
  EXPECT_EQ(table->BlobFile(), nullptr);
  EXPECT_EQ(table->IndexFile().Header().NoPrimaryIndex, 1);
  table->Close();

  def.TableName = TablePath("Empty");
  def.Fields.clear();
  CreateTable(def);
  EXPECT_EQ(std::filesystem::file_size(DataPath("Empty")), 127u);
  table = OpenTable(TablePath("Empty"));
  EXPECT_EQ(table->Header().RecordSize, 9);
  EXPECT_EQ(table->Header().SlotOffset(1), 127);
}

TEST_F(TableCreationTest, TableLocale) {
  TTableDefinition def;
  def.TableName = TablePath("Czech");
  def.LocaleId = 0x0405;
  def.Fields = {{"Name", 1, 0, 30}, {"Born", 2, 0, 0, 0, false, "1.1.1900", "31.12.2099"}};
  def.Indexes = {{"ByName", {"Name"}, {}, false, false, false, true}};
  CreateTable(def);
  auto table = OpenTable(TablePath("Czech"));
  EXPECT_EQ(table->Header().LanguageId, 0x0405);
  EXPECT_EQ(table->Header().SortId, 0);
  EXPECT_EQ(table->LocaleId(), 0x0405u);
  EXPECT_EQ(table->CollationOrder(), platform::FindLocale(0x0405)->CollationOrder());

  // Check texts are read with the table locale: a Czech date is not a date without one.
  def.TableName = TablePath("NoLocale");
  def.LocaleId = 0;
  EXPECT_EQ(EngineErrorOf([&] { CreateTable(def); }), ie::kInvalidFieldCheck);
  def.Fields[1].MinValue = "1/1/1900";
  def.Fields[1].MaxValue = "12/31/2099";
  CreateTable(def);
  auto plain = OpenTable(TablePath("NoLocale"));
  std::array<std::uint8_t, 256> numeric;
  std::iota(numeric.begin(), numeric.end(), 0);
  EXPECT_EQ(plain->CollationOrder(), numeric);
}

TEST_F(TableCreationTest, InMemoryTables) {
  TTableDefinition def = EveryKind();
  def.TableName = "MEMTABLE";
  def.InMemory = true;
  CreateTable(def);
  TDataFile table;
  table.SetInMemory(true);
  table.SetFileName("memtable");
  table.Open();
  EXPECT_EQ(table.Header().RecordSize, 132);
  EXPECT_EQ(table.IndexFile().SecondaryCount(), 2);
  EXPECT_TRUE(table.IndexFile().InMemory());
  EXPECT_NE(table.BlobFile(), nullptr);
  EXPECT_FALSE(std::filesystem::exists("MEMTABLE.DAT"));
}

TEST_F(TableCreationTest, ReplacesATableAndItsStaleBlobFile) {
  CreateTable(EveryKind());
  ASSERT_TRUE(std::filesystem::exists(TablePath("Every.BLB")));
  TTableDefinition def;
  def.TableName = TablePath("Every");
  def.Fields = {{"Only", 6}};
  CreateTable(def);
  EXPECT_FALSE(std::filesystem::exists(TablePath("Every.BLB")));
  auto table = OpenTable(TablePath("Every"));
  EXPECT_EQ(table->Header().FieldCount, 1);
}

struct Refusal {
  const char* what;
  int code;
  std::function<void(TTableDefinition&)> spoil;
};

TEST_F(TableCreationTest, RefusedDefinitionsLeaveNoFiles) {
  const std::vector<Refusal> refusals = {
      {"no name", ie::kInvalidFieldName, [](auto& d) { d.Fields[2].Name = "   "; }},
      {"long name", ie::kInvalidFieldName,
       [](auto& d) { d.Fields[2].Name = std::string(31, 'n'); }},
      {"digit first", ie::kInvalidFieldName, [](auto& d) { d.Fields[2].Name = "1st"; }},
      {"same name", ie::kInvalidFieldName, [](auto& d) { d.Fields[2].Name = " NAME "; }},
      {"type 0", ie::kInvalidFieldDefinition,
       [](auto& d) {
         d.Fields[2] = {"X", 0};
       }},
      {"type 16", ie::kInvalidFieldDefinition,
       [](auto& d) {
         d.Fields[2] = {"X", 16};
       }},
      {"string 0", ie::kInvalidFieldDefinition, [](auto& d) { d.Fields[0].Size = 0; }},
      {"string 251", ie::kInvalidFieldDefinition, [](auto& d) { d.Fields[0].Size = 251; }},
      {"subtype", ie::kInvalidFieldDefinition, [](auto& d) { d.Fields[4].SubType = 29; }},
      {"bcd scale", ie::kInvalidFieldDefinition, [](auto& d) { d.Fields[8].Scale = 19; }},
      {"min text", ie::kInvalidFieldCheck, [](auto& d) { d.Fields[4].MinValue = "40000"; }},
      {"long default", ie::kInvalidFieldCheck,
       [](auto& d) { d.Fields[0].DefaultValue = std::string(51, 'x'); }},
      {"boolean", ie::kInvalidFieldCheck, [](auto& d) { d.Fields[3].DefaultValue = "yes"; }},
      {"too many fields", ie::kFieldLimits,
       [](auto& d) {
         d.Fields.clear();
         for (int i = 0; i < 1025; ++i) d.Fields.push_back({"F" + std::to_string(i), 4});
         d.Indexes.clear();
       }},
      {"record size", ie::kRecordTooLarge,
       [](auto& d) {
         for (int i = 0; i < 140; ++i) d.Fields.push_back({"S" + std::to_string(i), 1, 0, 250});
       }},
      {"block size", ie::kBlobDefinition, [](auto& d) { d.BlobBlockSize = 1000; }},
      {"blob fields", ie::kBlobDefinition,
       [](auto& d) {
         for (int i = 0; i < 64; ++i) d.Fields.push_back({"B" + std::to_string(i), 3});
       }},
      {"two primaries", ie::kPrimaryIndexExists,
       [](auto& d) {
         d.Indexes.push_back({"", {"Word"}, {}, true});
       }},
      {"unnamed", ie::kIndexNameMissing, [](auto& d) { d.Indexes[1].Name = " "; }},
      {"named Primary", ie::kInvalidIndexName, [](auto& d) { d.Indexes[1].Name = "primary"; }},
      {"named like the system", ie::kInvalidIndexName,
       [](auto& d) { d.Indexes[1].Name = "SYS DELETED"; }},
      {"index name length", ie::kInvalidIndexName,
       [](auto& d) { d.Indexes[1].Name = std::string(31, 'i'); }},
      {"same index", ie::kIndexExists, [](auto& d) { d.Indexes[2].Name = "BYSTAMP"; }},
      {"no fields", ie::kIndexLimits, [](auto& d) { d.Indexes[1].Fields.clear(); }},
      {"17 fields", ie::kIndexLimits, [](auto& d) { d.Indexes[1].Fields.assign(17, "Word"); }},
      {"flags", ie::kIndexLimits, [](auto& d) { d.Indexes[1].DescendingFields = {true}; }},
      {"31 secondary", ie::kIndexLimits,
       [](auto& d) {
         for (int i = 0; i < 29; ++i) d.Indexes.push_back({"I" + std::to_string(i), {"Word"}});
       }},
      {"unknown field", ie::kInvalidIndexField, [](auto& d) { d.Indexes[2].Fields = {"Nobody"}; }},
      {"blob key", ie::kInvalidIndexFieldType, [](auto& d) { d.Indexes[2].Fields = {"Notes"}; }},
      {"key size", ie::kInvalidKeySize,
       [](auto& d) {
         d.Indexes[2].Fields = {"Name"};
         for (int i = 0; i < 5; ++i) {
           d.Fields.push_back({"K" + std::to_string(i), 1, 0, 250});
           d.Indexes[2].Fields.push_back("K" + std::to_string(i));
         }
       }},
      {"locale", ie::kLanguageDriver, [](auto& d) { d.LocaleId = 0x1234; }},
      {"password", ie::kInvalidPassword, [](auto& d) { d.Password = std::string(16, 'p'); }},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    TTableDefinition def = EveryKind();
    refusal.spoil(def);
    EXPECT_EQ(EngineErrorOf([&] { CreateTable(def); }), refusal.code);
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
  }
  // 30 secondary indexes are allowed.
  TTableDefinition def = EveryKind();
  for (int i = 0; i < 28; ++i) def.Indexes.push_back({"I" + std::to_string(i), {"Word"}});
  CreateTable(def);
  EXPECT_EQ(OpenTable(TablePath("Every"))->IndexFile().SecondaryCount(), 30);
}

TEST_F(TableCreationTest, FailedWritingRemovesWhatWasCreated) {
  // The index file cannot be created: a directory has its name.
  std::filesystem::create_directory(TablePath("Every.IDX"));
  EXPECT_NE(EngineErrorOf([&] { CreateTable(EveryKind()); }), 0);
  EXPECT_FALSE(std::filesystem::exists(DataPath("Every")));
  EXPECT_TRUE(std::filesystem::is_directory(TablePath("Every.IDX")));
}

}  // namespace
}  // namespace katalog
