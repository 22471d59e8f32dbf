// The key slot of a null field: this engine writes its presence byte and zeros; other writers
// leave the field's stored bytes after the presence byte. A table written either way verifies,
// and its records with null key fields are found, changed and deleted.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/index/IndexPage.h"
#include "engine/index/IndexTree.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableVerifier.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kId = 1, kNum = 2;
constexpr int kByNum = 1, kByNumDown = 2;
const std::set<std::int32_t> kNullRecords = {2, 5};

class NullKeySlotTest : public katalog::testing::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Num", 6}, {"Label", 1, 0, 10}};
    def.Indexes = {{"", {"Id"}, {}, true},
                   {"ByNum", {"Num"}},
                   {"ByNumDown", {"Num"}, {true}}};  // a complemented slot
    CreateTable(def);
    auto table = Open();
    for (std::int32_t n = 1; n <= 6; ++n) {
      Bytes record(table->WorkingRecordSize());
      table->BlankRecord(record.data());
      table->WriteField(TFieldSet::Working, kId, std::int64_t{n * 10}, record.data());
      if (!kNullRecords.count(n))
        table->WriteField(TFieldSet::Working, kNum, std::int64_t{n}, record.data());
      table->Insert(record.data(), {});
    }
  }

  std::unique_ptr<TDataFile> Open() {
    auto table = std::make_unique<TDataFile>();
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  // The slot of Num in the entry of every record of the index, by record number.
  std::map<std::int32_t, Bytes> NumSlots(TDataFile& table, int slot) {
    TIndexTree tree(table.IndexStore(), slot);
    std::map<std::int32_t, Bytes> slots;
    TPageRef page = tree.Fetch(tree.Locate(1).Page);
    for (int i = 0; i < page->Image.Count(); ++i) {
      const std::uint8_t* key = page->Image.Key(i, tree.KeyLength());
      slots[page->Image.Values[i]] = Bytes(key, key + 5);
    }
    return slots;
  }

  // Rewrites the entries of the null records in the other writers' form, through the page codec.
  void WriteOtherWritersForm() {
    Bytes file = ReadBytes(dir_.File("T.IDX"));
    {
      auto table = Open();
      table->SetIndex(kPhysicalOrder);
      for (const int slot : {kByNum, kByNumDown}) {
        const TKeyContext context = table->KeyContextFor(slot);
        const std::int32_t offset = table->IndexFile().Descriptor(slot).RootPage;
        const TPageFormat format = table->IndexStore().Format(slot);
        TPageImage image;
        ASSERT_TRUE(DecodePage(file.data() + offset, format, image));
        Bytes record(table->WorkingRecordSize());
        for (int i = 0; i < image.Count(); ++i) {
          if (!kNullRecords.count(image.Values[i])) continue;
          table->GoToPosition(image.Values[i]);  // physical order: the record number
          ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
          BuildKey(context, record.data(), image.Key(i, format.KeyLength), TNullSlots::StoredBytes);
        }
        ASSERT_TRUE(EncodePage(image, format, file.data() + offset));
      }
    }
    WriteBytes(dir_.File("T.IDX"), file);
  }

  void ExpectVerifiesClean() {
    auto table = Open();
    for (const std::string& problem : VerifyTable(*table)) ADD_FAILURE() << problem;
  }
};

TEST_F(NullKeySlotTest, ThisEngineWritesThePresenceByteAndZeros) {
  auto table = Open();
  for (const auto& [slot, nullSlot] : {std::pair{kByNum, Bytes{0, 0, 0, 0, 0}},
                                       {kByNumDown, Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
    for (const auto& [record, bytes] : NumSlots(*table, slot)) {
      if (kNullRecords.count(record)) {
        EXPECT_EQ(bytes, nullSlot) << "record " << record;
      }
    }
  }
}

TEST_F(NullKeySlotTest, ATableOtherWritersMadeIsFoundChangedAndDeleted) {
  WriteOtherWritersForm();
  {
    auto table = Open();
    EXPECT_EQ(NumSlots(*table, kByNum).at(2), (Bytes{0, 0x80, 0, 0, 0}));  // the test's premise
  }
  ExpectVerifiesClean();
  {
    auto table = Open();
    Bytes record(table->WorkingRecordSize());
    // Record 5 stays current when another index is chosen: its entry is found.
    table->SetIndex(kPhysicalOrder);
    table->GoToPosition(5);
    table->SetIndex(kByNum);
    EXPECT_EQ(table->CurrentRecordNumber(), 5);
    // A change of another key field moves record 2's entries; record 5 is deleted.
    table->SetIndex(kPhysicalOrder);
    table->GoToPosition(2);
    ASSERT_EQ(table->GetCurrent(record.data(), true), 0);
    table->WriteField(TFieldSet::Working, kId, std::int64_t{25}, record.data());
    table->Update(record.data(), {.Unlock = true});
    table->GoToPosition(5);
    table->Delete({});
    EXPECT_EQ(table->RecordCount(), 5);
  }
  ExpectVerifiesClean();
}

}  // namespace
}  // namespace katalog
