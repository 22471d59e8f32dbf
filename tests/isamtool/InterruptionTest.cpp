// isamtool import and delete stopped by SIGINT, SIGTERM or SIGHUP at a random moment, before the
// first row, or while waiting for input, run as real processes: the exit status, the count the
// tool reports, and a table that opens, verifies and holds exactly that many records. An import
// killed outright leaves what a crash leaves, which isamtool repair brings back.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/TableCreation.h"
#include "isamtool/ToolRunner.h"
#include "platform/RangeLock.h"

extern char** environ;

namespace katalog::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;

// Far more rows than the sanitizer build imports before the latest signal: every signal comes
// mid-way.
constexpr int kImportRows = 20000;
constexpr int kDeleteRows = 2000;
constexpr auto kLatestSignal = 300ms;
constexpr auto kTimeLimit = 20s;

std::string CsvOf(int rows) {
  std::string csv = "N,Name\n";
  for (int i = 1; i <= rows; ++i) csv += std::to_string(i) + ",row " + std::to_string(i) + "\n";
  return csv;
}

// An isamtool process with its standard input on `inputFd`, its output and errors in files, and
// the three signals at their defaults whatever the test runner ignores.
class TToolProcess {
 public:
  TToolProcess(const TempDir& dir, const std::vector<std::string>& args, int inputFd)
      : out_(dir.File("process.out")), err_(dir.File("process.err")) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, inputFd, 0);
    posix_spawn_file_actions_addopen(&files, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> all{ISAMTOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, ISAMTOOL, &files, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
  }
  ~TToolProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  // Waits until the process holds the table's data file open (its signal handlers are in place
  // by then); false when that does not happen in time.
  bool WaitForOpen(const std::string& dataFile) const {
    const int fd = ::open(dataFile.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool open = false;
    for (const auto end = Clock::now() + kTimeLimit; !open && Clock::now() < end;) {
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = static_cast<off_t>(platform::kSharingOpenByte);
      lock.l_len = 1;
      open = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
      if (!open) std::this_thread::sleep_for(2ms);
    }
    ::close(fd);
    return open;
  }

  enum class TWait { Reading, NotInTime, Unknown };
  // Waits until the process waits in a read of its standard input: the read is seen twice, 50 ms
  // apart, so that a read that was only passing through counts not.
  TWait WaitForRead() const {
    const std::string path = "/proc/" + std::to_string(pid_) + "/syscall";
    const std::string reading = std::to_string(SYS_read) + " 0x0 ";
    bool seen = false;
    for (const auto end = Clock::now() + kTimeLimit; Clock::now() < end;) {
      std::ifstream file(path);
      std::string line;
      if (!std::getline(file, line)) return TWait::Unknown;
      const bool now = line.rfind(reading, 0) == 0;
      if (seen && now) return TWait::Reading;
      seen = now;
      std::this_thread::sleep_for(seen ? 50ms : 5ms);
    }
    return TWait::NotInTime;
  }

  void Signal(int signal) const { ::kill(pid_, signal); }

  // The exit status; -1 when a signal ended the process or it did not end in time (then it is
  // killed).
  int Wait() {
    int raw = 0;
    for (const auto end = Clock::now() + kTimeLimit;;) {
      if (::waitpid(pid_, &raw, WNOHANG) == pid_) break;
      if (Clock::now() > end) return -1;  // the destructor kills it
      std::this_thread::sleep_for(5ms);
    }
    pid_ = 0;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::string Out() const { return Read(out_); }
  std::string Err() const { return Read(err_); }

 private:
  static std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  }

  pid_t pid_ = 0;
  std::string out_;
  std::string err_;
};

// The number in "N rows imported" or "N records deleted"; -1 when there is none.
long long CountIn(const std::string& text, const std::string& what) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex("(\\d+) " + what))) return -1;
  return std::stoll(match[1]);
}

class InterruptionTest : public ::testing::Test {
 protected:
  InterruptionTest() { Sessions().DefaultSession().SetActive(true); }
  ~InterruptionTest() override { Sessions().DefaultSession().SetActive(false); }

  // A new empty table, N integer (primary) and Name; its path without ".DAT".
  std::string NewTable(const std::string& name) {
    TTableDefinition definition;
    definition.TableName = dir_.File(name);
    definition.Fields = {{"N", 6}, {"Name", 1, 0, 40}};
    definition.Indexes.push_back({"", {"N"}, {}, true});
    CreateTable(definition);
    return definition.TableName;
  }

  // The table verifies, opens, and holds `records` records.
  void ExpectSoundTable(const std::string& name, long long records) {
    const TToolResult verified = RunTool(dir_, {"verify", dir_.File(name)});
    EXPECT_EQ(verified.Status, 0) << verified.Out << verified.Err;
    TIsamTable table(nullptr);
    table.SetDatabaseName(dir_.Path());
    table.SetTableName(name);
    table.Open();
    EXPECT_EQ(table.RecordCount(), records);
    table.Close();
  }

  std::chrono::milliseconds RandomMoment() {
    return std::chrono::milliseconds(
        std::uniform_int_distribution<int>(0, static_cast<int>(kLatestSignal.count()))(random_));
  }

  TempDir dir_;
  unsigned seed_ = std::random_device()();
  std::mt19937 random_{seed_};
};

struct TSignalCase {
  int Signal;
  const char* Name;
  int Status;
  bool BeforeTheFirstRow;  // the input is a pipe that holds only the header row
};

constexpr TSignalCase kImportCases[] = {
    {SIGINT, "SIGINT", 130, false},
    {SIGTERM, "SIGTERM", 143, false},
    {SIGHUP, "SIGHUP", 129, false},
    {SIGHUP, "SIGHUP", 129, true},
};

TEST_F(InterruptionTest, ImportEndsCleanlyOnASignal) {
  SCOPED_TRACE("random seed " + std::to_string(seed_));
  const std::string file = dir_.Write("in.csv", CsvOf(kImportRows));
  for (const TSignalCase& c : kImportCases) {
    SCOPED_TRACE(std::string(c.Name) +
                 (c.BeforeTheFirstRow ? ", before the first row" : ", at a random moment"));
    const std::string name = std::string("T") + c.Name + (c.BeforeTheFirstRow ? "0" : "");
    const std::string table = NewTable(name);
    int pipeEnds[2] = {-1, -1};
    int input = -1;
    std::vector<std::string> args{"import", table};
    if (c.BeforeTheFirstRow) {
      ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
      ASSERT_EQ(::write(pipeEnds[1], "N,Name\n", 7), 7);
      input = pipeEnds[0];
      args.push_back("-");
    } else {
      input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      args.push_back(file);
    }
    TToolProcess tool(dir_, args, input);
    ::close(input);
    ASSERT_TRUE(tool.WaitForOpen(table + ".DAT"));
    const auto moment = c.BeforeTheFirstRow ? 0ms : RandomMoment();
    SCOPED_TRACE("the signal " + std::to_string(moment.count()) + " ms after the open");
    std::this_thread::sleep_for(moment);
    tool.Signal(c.Signal);
    if (c.BeforeTheFirstRow) ::close(pipeEnds[1]);

    EXPECT_EQ(tool.Wait(), c.Status) << tool.Err();
    const std::string err = tool.Err();
    const long long imported = CountIn(err, "rows? imported");
    ASSERT_GE(imported, 0) << err;
    EXPECT_LT(imported, kImportRows) << err;
    EXPECT_THAT(err, HasSubstr(std::string("interrupted by ") + c.Name));
    if (c.BeforeTheFirstRow) {
      EXPECT_EQ(imported, 0);
    } else if (imported > 0) {
      // The rest begins after the imported rows.
      EXPECT_THAT(err, HasSubstr("--skip " + std::to_string(imported) + " imports the rest"));
    }
    EXPECT_EQ(tool.Out(), "");
    ExpectSoundTable(name, imported);
  }
}

// The signal comes while the import waits for more input from a pipe: the row it was reading is
// not imported, every row before it is. The pipe stays open until the tool ends, so that the
// signal cuts the read short; or it is closed at once, as when the same Ctrl-C ends the program
// writing it, so that the read may end at the end of the input, in the middle of the row.
TEST_F(InterruptionTest, ImportWaitingForInputKeepsTheRowsBeforeTheSignal) {
  // Exactly one fill of the reader's 64 KiB buffer, ending inside a row: the tool imports the
  // rows before that one and then waits in a read that brings nothing.
  constexpr std::size_t kFill = 1 << 16;
  std::string csv = "N,Name\n";
  int complete = 0;
  for (int i = 1; csv.size() < kFill; ++i) {
    csv += std::to_string(i) + ",a name of thirty-odd characters " + std::to_string(i) + "\n";
    if (csv.size() <= kFill) complete = i;
  }
  csv.resize(kFill);
  for (const bool closeAtOnce : {false, true}) {
    SCOPED_TRACE(closeAtOnce ? "the pipe closed at once" : "the pipe kept open");
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_GE(::fcntl(pipeEnds[1], F_SETPIPE_SZ, 2 * kFill), static_cast<int>(kFill));
    ASSERT_EQ(::write(pipeEnds[1], csv.data(), csv.size()), static_cast<ssize_t>(csv.size()));

    const std::string name = closeAtOnce ? "T1" : "T0";
    TToolProcess tool(dir_, {"import", NewTable(name), "-"}, pipeEnds[0]);
    ::close(pipeEnds[0]);
    const TToolProcess::TWait waited = tool.WaitForRead();
    if (waited == TToolProcess::TWait::Unknown) {
      ::close(pipeEnds[1]);
      GTEST_SKIP() << "/proc does not show what the process waits for";
    }
    ASSERT_EQ(waited, TToolProcess::TWait::Reading);
    tool.Signal(SIGINT);
    if (closeAtOnce) ::close(pipeEnds[1]);
    EXPECT_EQ(tool.Wait(), 130) << tool.Err();
    if (!closeAtOnce) ::close(pipeEnds[1]);

    EXPECT_THAT(tool.Err(), HasSubstr(std::to_string(complete) +
                                      " rows imported; the same command with --skip " +
                                      std::to_string(complete) + " imports the rest"));
    ExpectSoundTable(name, complete);
  }
}

// SIGKILL gives the tool no say: the table is as a crash leaves it, in the middle of a batch's
// writes perhaps. `repair` brings it back to a table that verifies clean and holds only whole,
// intact rows of the file, at most as many as were read.
TEST_F(InterruptionTest, AKilledImportIsBroughtBackByRepair) {
  SCOPED_TRACE("random seed " + std::to_string(seed_));
  const std::string file = dir_.Write("in.csv", CsvOf(kImportRows));
  for (int round = 0; round < 4; ++round) {
    const std::string name = "K" + std::to_string(round);
    const std::string table = NewTable(name);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    TToolProcess tool(dir_, {"import", table, file}, input);
    ::close(input);
    ASSERT_TRUE(tool.WaitForOpen(table + ".DAT"));
    const auto moment = RandomMoment();
    SCOPED_TRACE("killed " + std::to_string(moment.count()) + " ms after the open");
    std::this_thread::sleep_for(moment);
    tool.Signal(SIGKILL);
    EXPECT_EQ(tool.Wait(), -1);

    if (RunTool(dir_, {"verify", table}).Status != 0) {
      const TToolResult repaired = RunTool(dir_, {"repair", table});
      EXPECT_EQ(repaired.Status, 0) << repaired.Out << repaired.Err;
    }
    const TToolResult verified = RunTool(dir_, {"verify", table});
    EXPECT_EQ(verified.Status, 0) << verified.Out;
    const TToolResult exported = RunTool(dir_, {"export", table, "--format", "csv"});
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    std::istringstream rows(exported.Out);
    std::string line;
    std::getline(rows, line);  // the header
    int count = 0;
    for (int n; std::getline(rows, line); ++count) {
      n = std::stoi(line);
      EXPECT_EQ(line, std::to_string(n) + ",row " + std::to_string(n));
    }
    EXPECT_LT(count, kImportRows);
  }
}

TEST_F(InterruptionTest, DeleteEndsCleanlyOnASignal) {
  SCOPED_TRACE("random seed " + std::to_string(seed_));
  const std::string table = NewTable("T");
  const TToolResult filled =
      RunTool(dir_, {"import", table, dir_.Write("in.csv", CsvOf(kDeleteRows))});
  ASSERT_EQ(filled.Status, 0) << filled.Err;

  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  TToolProcess tool(dir_, {"delete", table, "--filter", "N > 0"}, input);
  ::close(input);
  ASSERT_TRUE(tool.WaitForOpen(table + ".DAT"));
  const auto moment = RandomMoment();
  SCOPED_TRACE("the signal " + std::to_string(moment.count()) + " ms after the open");
  std::this_thread::sleep_for(moment);
  tool.Signal(SIGTERM);

  EXPECT_EQ(tool.Wait(), 143) << tool.Err();
  const long long deleted = CountIn(tool.Err(), "records? deleted");
  ASSERT_GE(deleted, 0) << tool.Err();
  EXPECT_LT(deleted, kDeleteRows);
  EXPECT_EQ(tool.Out(), std::to_string(deleted) + "\n");
  ExpectSoundTable("T", kDeleteRows - deleted);
}

}  // namespace
}  // namespace katalog::testing
