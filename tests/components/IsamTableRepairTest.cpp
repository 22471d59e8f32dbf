// TIsamTable::RepairTable: the engine's repair on the table's files, with its events, its
// session's password handler, and the index definitions read again afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "dataset/DatabaseError.h"
#include "engine/components/IndexDefs.h"
#include "engine/components/IsamTable.h"
#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "engine/table/TableRepair.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class IsamTableRepairTest : public ::testing::Test {
 protected:
  IsamTableRepairTest() : table_(nullptr) { Sessions().DefaultSession().SetActive(true); }
  ~IsamTableRepairTest() override {
    table_.Close();
    Sessions().DefaultSession().SetOnPassword({});
    Sessions().DefaultSession().SetActive(false);
  }

  // Table T: Id (primary), Name (ByName); 20 records, then 7 bytes of an unfinished append.
  void MakeDamagedTable(const std::string& password = "") {
    TTableDefinition def;
    def.TableName = dir_.File("T");
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    def.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}};
    def.Password = password;
    CreateTable(def);
    if (!password.empty()) CurrentFileSession().AddPassword(password);
    {
      TDataFile file;
      file.SetFileName(dir_.File("T"));
      file.Open();
      Bytes record(file.WorkingRecordSize());
      for (int id = 1; id <= 20; ++id) {
        file.BlankRecord(record.data());
        file.WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data());
        file.WriteField(TFieldSet::Working, 2, "name" + std::to_string(id), record.data());
        file.Insert(record.data(), {});
      }
    }
    CurrentFileSession().RemoveAllPasswords();
    std::ofstream(dir_.File("T.DAT"), std::ios::binary | std::ios::app) << "partial";
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName("T");
  }

  std::map<std::string, Bytes> Files() const {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename().string()] =
          Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }

  TempDir dir_;
  TIsamTable table_;
};

TEST_F(IsamTableRepairTest, RaisesItsEvents) {
  MakeDamagedTable();
  std::vector<int> percents;
  std::vector<std::string> lines;
  table_.SetOnRepairProgress([&](TIsamTable& sender, int percentDone, bool& abort) {
    EXPECT_EQ(&sender, &table_);
    EXPECT_FALSE(abort);
    percents.push_back(percentDone);
  });
  table_.SetOnRepairLog([&](TIsamTable& sender, std::string_view line) {
    EXPECT_EQ(&sender, &table_);
    lines.emplace_back(line);
  });
  EXPECT_EQ(table_.RepairTable(), TRepairOutcome::Repaired);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_THAT(lines, ::testing::Contains("data file: the 7 bytes past its last slot, left by an "
                                         "append that did not finish, are cut off"));
  EXPECT_EQ(lines.back(), "check: the repaired table verifies clean");
  table_.Open();
  EXPECT_EQ(table_.RecordCount(), 20);
}

TEST_F(IsamTableRepairTest, AbortLeavesTheFiles) {
  MakeDamagedTable();
  const auto files = Files();
  table_.SetOnRepairProgress(
      [](TIsamTable&, int percentDone, bool& abort) { abort = percentDone >= 10; });
  EXPECT_EQ(table_.RepairTable(), TRepairOutcome::Aborted);
  EXPECT_EQ(Files(), files);
}

TEST_F(IsamTableRepairTest, AsksTheSessionForThePassword) {
  MakeDamagedTable("secret");
  int asked = 0;
  Sessions().DefaultSession().SetOnPassword([&](TIsamSession& session, bool& continueOpening) {
    ++asked;
    session.AddPassword("secret");
    continueOpening = true;
  });
  EXPECT_EQ(table_.RepairTable(), TRepairOutcome::Repaired);
  EXPECT_EQ(asked, 1);
}

TEST_F(IsamTableRepairTest, ReadsTheIndexDefinitionsAgain) {
  MakeDamagedTable();
  EXPECT_EQ(table_.IndexDefs().Count(), 2);
  std::filesystem::remove(dir_.File("T.IDX"));
  EXPECT_EQ(table_.RepairTable(), TRepairOutcome::Repaired);
  EXPECT_EQ(table_.IndexDefs().Count(), 0);
}

TEST_F(IsamTableRepairTest, OnlyAClosedTableIsRepaired) {
  MakeDamagedTable();
  table_.Open();
  EXPECT_THROW(table_.RepairTable(), EDatabaseError);
  table_.Close();
  table_.SetInMemory(true);
  EXPECT_THROW(table_.RepairTable(), EDatabaseError);
}

}  // namespace
}  // namespace katalog::testing
