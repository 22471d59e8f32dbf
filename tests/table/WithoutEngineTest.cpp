// The engine outside a file session: every operation that reaches a file is refused with
// kNotInitialized, which names nothing, instead of working on the disk and reporting its errors
// without the file they concern.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/FileHandler.h"
#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using katalog::testing::EngineErrorText;

const std::string kNotInitializedMessage =
    EngineErrorText(ie::kNotInitialized) + " ISAM engine not initialized";

class WithoutEngineTest : public ::testing::Test {
 protected:
  // A table T made while the engine ran; the engine is stopped again afterwards.
  void SetUp() override {
    StartEngine();
    TTableDefinition def;
    def.TableName = dir_.File("T");
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    def.Indexes = {{"", {"Id"}, {}, true}};
    CreateTable(def);
    StopEngine();
  }
  void TearDown() override { StopEngine(); }

  katalog::testing::TempDir dir_;
};

TEST_F(WithoutEngineTest, EveryOperationOnFilesRaisesNotInitialized) {
  struct TCase {
    const char* What;
    std::function<void()> Action;
  };
  const std::string table = dir_.File("T");
  const TCase cases[] = {
      {"opening a table",
       [&] {
         TDataFile file;
         file.SetFileName(table);
         file.Open();
       }},
      {"opening a table that does not exist",
       [&] {
         TDataFile file;
         file.SetFileName(dir_.File("Missing"));
         file.Open();
       }},
      {"creating a table",
       [&] {
         TTableDefinition def;
         def.TableName = dir_.File("New");
         def.Fields = {{"Id", 6}};
         CreateTable(def);
       }},
      {"creating a file",
       [&] {
         TFileHandler file;
         file.SetExclusive(true);
         file.SetFileName(dir_.File("F.BIN"));
         file.CreateEmpty();
       }},
      {"deleting a file",
       [&] {
         TFileHandler file;
         file.SetFileName(table + ".IDX");
         file.Delete();
       }},
      {"renaming a file",
       [&] {
         TFileHandler file;
         file.SetFileName(table + ".IDX");
         file.Rename(dir_.File("U.IDX"));
       }},
      {"asking whether a file exists",
       [&] {
         TFileHandler file;
         file.SetFileName(table + ".DAT");
         file.Exists();
       }},
      {"raising an error that names a file",
       [] { RaiseIsamError(ie::kDuplicateKey, "/data/T.DAT", "", "ByName"); }},
      {"raising a collected code", [] { RaiseIfIsamError(ie::kEndOfFile); }},
  };
  for (const TCase& c : cases) {
    std::string message;
    EXPECT_EQ(EngineErrorOf(c.Action, &message), ie::kNotInitialized) << c.What;
    EXPECT_EQ(message, kNotInitializedMessage) << c.What;
  }
  // Nothing was made, removed or renamed.
  EXPECT_FALSE(std::filesystem::exists(dir_.File("New.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("F.BIN")));
  EXPECT_TRUE(std::filesystem::exists(table + ".IDX"));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("U.IDX")));
}

// A file opened while the engine ran is read and written no more once it stops; it can still
// be closed.
TEST_F(WithoutEngineTest, AnOpenFileIsRefusedOnceTheEngineStops) {
  StartEngine();
  TFileHandler file;
  file.SetFileName(dir_.File("T.DAT"));
  file.Open();
  StopEngine();
  std::vector<char> buffer(16);
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"read", [&] { file.Read(buffer.data(), 16); }},
      {"write", [&] { file.Write(buffer.data(), 16); }},
      {"seek", [&] { file.Seek(0, 2); }},
  };
  for (const auto& [what, action] : cases) {
    std::string message;
    EXPECT_EQ(EngineErrorOf(action, &message), ie::kNotInitialized) << what;
    EXPECT_EQ(message, kNotInitializedMessage) << what;
  }
  file.Close();
  EXPECT_FALSE(file.IsOpen());
}

// With the engine started again, the same operations work and their errors name the file.
TEST_F(WithoutEngineTest, AStartedEngineNamesTheFileInItsErrors) {
  StartEngine();
  TDataFile file;
  file.SetFileName(dir_.File("Missing"));
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { file.Open(); }, &message), ie::kInvalidPath);
  EXPECT_EQ(message, EngineErrorText(ie::kInvalidPath) +
                         " Invalid path or file name for data file " + dir_.File("Missing.DAT"));
  file.SetFileName(dir_.File("T"));
  EXPECT_EQ(EngineErrorOf([&] { file.Open(); }), 0);
  file.Close();
}

}  // namespace
}  // namespace katalog
