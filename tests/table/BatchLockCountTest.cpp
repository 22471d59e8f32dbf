// An update batch holds the table lock from its first change to its end. No other program
// writes meanwhile and the changes stay in memory, so the changes in between take no locks of
// their own: a batch makes as many lock requests for 200 records as for one. Every fcntl call of
// this test program passes through the counter below, so the count is what reaches the kernel.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include "engine/table/DataFile.h"
#include "support/TableFixture.h"

namespace {

std::atomic<int> lockRequests{0};

}  // namespace

// Counts the byte-range lock requests and passes every call on to the C library.
extern "C" int fcntl(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  if (command == F_OFD_SETLK || command == F_OFD_SETLKW || command == F_OFD_GETLK ||
      command == F_SETLK || command == F_SETLKW || command == F_GETLK) {
    ++lockRequests;
  }
  using TFcntl = int (*)(int, int, ...);
  static const auto next = reinterpret_cast<TFcntl>(::dlsym(RTLD_NEXT, "fcntl"));
  return next(fd, command, argument);
}

namespace katalog {
namespace {

enum class TChange { Insert, Update };

class BatchLockCountTest : public katalog::testing::TableTest,
                           public ::testing::WithParamInterface<TChange> {
 protected:
  static constexpr int kRecords = 200;

  // The lock requests of one batch changing `count` records, on a fresh table of kRecords
  // records (Id, Name and a memo, so that all three files are locked) opened shared.
  int LockRequestsOfABatch(int count) {
    const std::string name = "T" + std::to_string(count);
    TTableDefinition def;
    def.TableName = TablePath(name);
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Notes", 3, 22}};
    def.Indexes.push_back({"", {"Id"}, {}, true});
    CreateTable(def);
    {
      auto filler = Open(name, true);
      for (int id = 1; id <= kRecords; ++id) Insert(*filler, id);
    }
    auto table = Open(name, false);
    std::vector<std::uint8_t> record(table->WorkingRecordSize());
    table->GoFirst();
    const int before = lockRequests;
    table->BeginBatch();
    for (int i = 1; i <= count; ++i) {
      if (GetParam() == TChange::Insert) {
        Insert(*table, kRecords + i);
      } else {
        EXPECT_EQ(table->GoNext(record.data()), 0);
        EXPECT_TRUE(
            table->WriteField(TFieldSet::Working, 2, std::string("changed"), record.data()));
        table->Update(record.data(), {});
      }
    }
    table->EndBatch();
    const int requests = lockRequests - before;
    table->Close();
    // Everything was written at the end of the batch.
    auto reader = Open(name, false);
    const int expected = GetParam() == TChange::Insert ? kRecords + count : kRecords;
    EXPECT_EQ(reader->RecordCount(), expected);
    return requests;
  }

  std::unique_ptr<TDataFile> Open(const std::string& name, bool exclusive) const {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetFileName(TablePath(name));
    table->Open();
    return table;
  }

  static void Insert(TDataFile& table, std::int64_t id) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    ASSERT_TRUE(table.WriteField(TFieldSet::Working, 1, id, record.data()));
    ASSERT_TRUE(table.WriteField(TFieldSet::Working, 2, std::string("name"), record.data()));
    table.Insert(record.data(), {});
  }
};

TEST_P(BatchLockCountTest, ABatchMakesNoLockRequestsPerRecord) {
  const int one = LockRequestsOfABatch(1);
  EXPECT_GT(one, 0);  // the counter sees the engine's requests
  EXPECT_EQ(LockRequestsOfABatch(kRecords), one);
}

INSTANTIATE_TEST_SUITE_P(Changes, BatchLockCountTest,
                         ::testing::Values(TChange::Insert, TChange::Update),
                         [](const ::testing::TestParamInfo<TChange>& change) {
                           return change.param == TChange::Insert ? "Inserts" : "Updates";
                         });

}  // namespace
}  // namespace katalog
