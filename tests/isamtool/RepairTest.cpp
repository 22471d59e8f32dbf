// isamtool repair, run as the real executable: a damaged table comes back and verifies, a sound
// one is left alone, refusals are engine errors, and the percent done shows on a terminal only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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

class RepairTest : public ::testing::Test {
 protected:
  void SetUp() override { StartEngine(); }
  void TearDown() override { StopEngine(); }

  std::string Table() const { return dir_.File("T"); }

  // 30 records (Id, Name), every third deleted again.
  void MakeTable(const std::string& password = "") {
    TTableDefinition def;
    def.TableName = Table();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    def.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}}};
    def.Password = password;
    CreateTable(def);
    if (!password.empty()) CurrentFileSession().AddPassword(password);
    TDataFile table;
    table.SetExclusive(true);
    table.SetFileName(Table());
    table.Open();
    Bytes record(table.WorkingRecordSize());
    for (int i = 1; i <= 30; ++i) {
      table.BlankRecord(record.data());
      ASSERT_TRUE(table.WriteField(TFieldSet::Working, 1, std::int64_t{i}, record.data()));
      ASSERT_TRUE(
          table.WriteField(TFieldSet::Working, 2, "name " + std::to_string(i), record.data()));
      table.Insert(record.data(), {});
    }
    for (std::int32_t p = table.RecordCount(); p >= 1; p -= 3) {
      table.GoToPosition(p);
      ASSERT_EQ(table.GetCurrent(record.data(), false), 0);
      table.Delete({});
    }
  }

  Bytes Read(const std::string& name) const {
    std::ifstream in(dir_.File(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void Damage() const {
    Bytes data = Read("T.DAT");
    StoreI32(data.data() + 9, 2);  // the chain of deleted slots starts at a record
    data.resize(data.size() + 5, 0x44);
    std::ofstream(dir_.File("T.DAT"), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
  }

  TempDir dir_;
};

TEST_F(RepairTest, ADamagedTableComesBack) {
  MakeTable();
  Damage();
  const TToolResult result = RunTool(dir_, {"repair", Table()});
  EXPECT_EQ(result.Status, 0) << result.Err;
  EXPECT_EQ(result.Err, "");  // no terminal: no progress
  EXPECT_THAT(result.Out,
              HasSubstr("found: data file: the chain of deleted slots leads to slot 2"));
  EXPECT_THAT(result.Out, HasSubstr("data file: the 5 bytes past its last slot, left by an append "
                                    "that did not finish, are cut off"));
  EXPECT_THAT(result.Out,
              HasSubstr("copies kept: " + Table() + ".DAT.bak, " + Table() + ".IDX.bak"));
  EXPECT_THAT(result.Out, ::testing::EndsWith("check: the repaired table verifies clean\n"));
  EXPECT_EQ(RunTool(dir_, {"verify", Table()}).Out, "OK\n");

  const TToolResult again = RunTool(dir_, {"repair", Table() + ".DAT"});
  EXPECT_EQ(again.Status, 0);
  EXPECT_EQ(again.Out, "check: the table is sound; nothing is repaired\n");
}

TEST_F(RepairTest, RefusalsAreEngineErrors) {
  MakeTable("secret");
  Damage();
  TToolResult result = RunTool(dir_, {"repair", Table()});
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Err, HasSubstr(EngineErrorText(ie::kPasswordRequired)));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("T.DAT.bak")));
  {
    TDataFile other;  // another program has the table open
    other.SetFileName(Table());
    other.Open();
    result = RunTool(dir_, {"repair", Table(), "--password", "secret"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_THAT(result.Err, HasSubstr(EngineErrorText(ie::kAccessDenied)));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("T.DAT.bak")));
  }
  result = RunTool(dir_, {"repair", Table(), "--password", "secret"});
  EXPECT_EQ(result.Status, 0) << result.Err;
  EXPECT_THAT(result.Out, HasSubstr("check: the repaired table verifies clean"));
}

// Runs isamtool with standard error on a terminal and standard output in a file.
TToolResult RunOnTerminal(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string out = dir.File("tool.out");
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (!std::freopen(out.c_str(), "w", stdout)) _exit(126);
    std::vector<char*> argv{const_cast<char*>(ISAMTOOL)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(ISAMTOOL, argv.data());
    _exit(127);
  }
  TToolResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buffer[256];
  while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // the terminal closed with the program
    result.Err.append(buffer, static_cast<std::size_t>(n));
  }
  int status = 0;
  if (pid > 0) ::waitpid(pid, &status, 0);
  if (master >= 0) ::close(master);
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(out, std::ios::binary);
  result.Out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return result;
}

TEST_F(RepairTest, ProgressShowsOnATerminal) {
  MakeTable();
  Damage();
  const TToolResult result = RunOnTerminal(dir_, {"repair", Table()});
  EXPECT_EQ(result.Status, 0) << result.Err;
  EXPECT_THAT(result.Err, HasSubstr("\rrepairing 100%"));
  EXPECT_THAT(result.Out, HasSubstr("check: the repaired table verifies clean"));
  EXPECT_THAT(result.Out, ::testing::Not(HasSubstr("%")));
}

TEST_F(RepairTest, HelpAndUsage) {
  TToolResult result = RunTool(dir_, {"repair", "--help"});
  EXPECT_EQ(result.Status, 0);
  EXPECT_THAT(result.Out, HasSubstr("Usage: isamtool repair [OPTIONS] TABLE"));
  EXPECT_EQ(RunTool(dir_, {"repair"}).Status, 2);
  EXPECT_EQ(RunTool(dir_, {"repair", Table(), "--force"}).Status, 2);
  result = RunTool(dir_, {"repair", dir_.File("Missing")});
  EXPECT_EQ(result.Status, 1);
  EXPECT_THAT(result.Err, HasSubstr(EngineErrorText(ie::kInvalidPath)));
  EXPECT_THAT(RunTool(dir_, {"--help"}).Out, HasSubstr("  repair  "));
}

}  // namespace
}  // namespace katalog::testing
