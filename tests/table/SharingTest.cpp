// Two programs on one table: this process and a forked child, each with its own handler on the
// same files. What one writes the other sees when its change detection says so; record locks,
// read slots and write ranges exclude each other across processes; read-only media take no
// locks at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "engine/storage/RecordCache.h"
#include "engine/storage/TableLocks.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/Clock.h"
#include "support/ProcessHelper.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::ChildProcess;
using katalog::testing::EngineErrorOf;
using Ids = std::vector<std::int64_t>;
using SteadyClock = std::chrono::steady_clock;

std::int64_t MillisecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

// Checks inside a child process: a failure ends the child with status 1.
void Require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

std::string NameFor(std::int64_t id) {
  char name[16];
  std::snprintf(name, sizeof name, "n%06lld", static_cast<long long>(id));
  return name;
}

class SharingTest : public katalog::testing::TableTest {
 protected:
  // Id (primary key) and Name (index ByName), then `extra` fields.
  void Create(bool uniqueName = false, const std::vector<TFieldDefinition>& extra = {}) {
    TTableDefinition def;
    def.TableName = TablePath();
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    def.Fields.insert(def.Fields.end(), extra.begin(), extra.end());
    def.Indexes.push_back({"", {"Id"}, {}, true});
    def.Indexes.push_back({"ByName", {"Name"}, {}, false, uniqueName});
    CreateTable(def);
  }

  std::unique_ptr<TDataFile> Open(bool strict = false, bool exclusive = false) const {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetStrictChangeDetection(strict);
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  // Works in the child too: failures throw.
  static void Add(TDataFile& table, std::int64_t id, const std::string& name) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    Require(table.WriteField(TFieldSet::Working, 1, id, record.data()), "write Id");
    Require(table.WriteField(TFieldSet::Working, 2, name, record.data()), "write Name");
    table.Insert(record.data(), {});
  }

  // Fills the table through an exclusive handler, which writes everything when it closes.
  void Fill(const Ids& ids) const {
    auto table = Open(false, true);
    for (const std::int64_t id : ids) Add(*table, id, NameFor(id));
  }

  static std::int64_t IdIn(const TDataFile& table, const std::vector<std::uint8_t>& record) {
    const TFieldValue value = table.ReadField(TFieldSet::Working, 1, record.data());
    return std::holds_alternative<std::int64_t>(value) ? std::get<std::int64_t>(value) : -1;
  }
  static std::string NameIn(const TDataFile& table, const std::vector<std::uint8_t>& record) {
    const TFieldValue value = table.ReadField(TFieldSet::Working, 2, record.data());
    return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
  }

  // The Id of the current record, or -(the error code) when there is none.
  static std::int64_t CurrentId(TDataFile& table) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    const int result = table.GetCurrent(record.data(), false);
    return result == 0 ? IdIn(table, record) : -result;
  }
  static std::int64_t NextId(TDataFile& table) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    const int result = table.GoNext(record.data());
    return result == 0 ? IdIn(table, record) : -result;
  }
  static std::int64_t PriorId(TDataFile& table) {
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    const int result = table.GoPrior(record.data());
    return result == 0 ? IdIn(table, record) : -result;
  }

  static Ids AllIds(TDataFile& table) {
    Ids ids;
    table.GoFirst();
    for (std::int64_t id; (id = NextId(table)) >= 0;) ids.push_back(id);
    return ids;
  }
  static Ids AllIdsBackwards(TDataFile& table) {
    Ids ids;
    table.GoLast();
    for (std::int64_t id; (id = PriorId(table)) >= 0;) ids.push_back(id);
    return ids;
  }

  // Makes the record with this Id current (in the current index order); false when absent.
  static bool MoveTo(TDataFile& table, std::int64_t id) {
    table.GoFirst();
    for (std::int64_t at; (at = NextId(table)) >= 0;) {
      if (at == id) return true;
    }
    return false;
  }

  // Runs `change` on a fresh handler in a child process, which then stays alive with the table
  // open until the returned process is released; a failure shows in its exit status.
  std::unique_ptr<ChildProcess> InOtherProcess(const std::function<void(TDataFile&)>& change) {
    auto child = std::make_unique<ChildProcess>([&, change](const auto& ready, const auto& wait) {
      bool failed = false;
      try {
        auto table = Open();
        change(*table);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "other process: %s\n", e.what());
        failed = true;
      }
      ready();
      wait();
      if (failed) throw std::runtime_error("failed");
    });
    EXPECT_TRUE(child->WaitReady());
    return child;
  }

  void AddInOtherProcess(const Ids& ids) {
    auto child = InOtherProcess([&](TDataFile& table) {
      for (const std::int64_t id : ids) Add(table, id, NameFor(id));
    });
    EXPECT_EQ(child->Release(), 0);
  }

  std::string IndexPath() const { return TablePath() + ".IDX"; }
  std::string BlobPath() const { return TablePath() + ".BLB"; }

  // Rewrites the int32 at `offset` of a file in place.
  // Writes four bytes into a file, also one without write permission (which it keeps), so that
  // the test does not depend on running as root.
  static void PatchI32(const std::string& path, std::streamoff offset, std::int32_t value) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
    ::chmod(path.c_str(), st.st_mode | S_IWUSR);
    {
      std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
      ASSERT_TRUE(file.is_open()) << path;
      std::uint8_t bytes[4];
      StoreI32(bytes, value);
      file.seekp(offset);
      file.write(reinterpret_cast<const char*>(bytes), 4);
      ASSERT_TRUE(file.good()) << path;
    }
    ::chmod(path.c_str(), st.st_mode);
  }
  static std::int32_t ReadI32(const std::string& path, std::streamoff offset) {
    std::ifstream file(path, std::ios::binary);
    std::uint8_t bytes[4] = {};
    file.seekg(offset);
    file.read(reinterpret_cast<char*>(bytes), 4);
    return LoadI32(bytes);
  }
};

// ----- Change detection without and with strictness -----

TEST_F(SharingTest, NonStrictReaderKeepsItsViewUntilRefreshThenFindsItsRecordByKey) {
  Create();
  Fill({10, 20, 30, 40, 50});
  auto reader = Open();
  ASSERT_EQ(AllIds(*reader), (Ids{10, 20, 30, 40, 50}));
  reader->GoToPosition(3);
  ASSERT_EQ(CurrentId(*reader), 30);

  auto writer = InOtherProcess([](TDataFile& table) {
    for (const std::int64_t id : {15, 25, 35}) Add(table, id, NameFor(id));
  });
  // Everything the reader needs is cached: it sees the table as it was.
  EXPECT_EQ(reader->RecordCount(), 5);
  EXPECT_EQ(NextId(*reader), 40);
  EXPECT_EQ(PriorId(*reader), 30);
  EXPECT_EQ(reader->CurrentPosition(), 3);

  reader->Refresh();
  EXPECT_EQ(CurrentId(*reader), 30);
  EXPECT_EQ(reader->CurrentPosition(), 5);
  EXPECT_EQ(reader->RecordCount(), 8);
  EXPECT_EQ(NextId(*reader), 35);
  EXPECT_EQ(PriorId(*reader), 30);
  EXPECT_EQ(PriorId(*reader), 25);
  EXPECT_EQ(AllIds(*reader), (Ids{10, 15, 20, 25, 30, 35, 40, 50}));
  EXPECT_EQ(writer->Release(), 0);
}

TEST_F(SharingTest, NonStrictReaderSeesTheChangeAtItsNextCacheMissAndKeepsItsPlace) {
  Create();
  // More records than one read-ahead run and one index page hold.
  Ids ids;
  for (std::int64_t id = 10; id <= 15000; id += 10) ids.push_back(id);
  Fill(ids);
  auto reader = Open();
  reader->GoFirst();
  for (int i = 0; i < 5; ++i) NextId(*reader);
  ASSERT_EQ(CurrentId(*reader), 50);

  auto writer = InOtherProcess([](TDataFile& table) {
    Add(table, 65, NameFor(65));
    Add(table, 100000, NameFor(100000));
  });
  // The next records come from the cache: 65 is not there yet.
  EXPECT_EQ(NextId(*reader), 60);
  EXPECT_EQ(NextId(*reader), 70);
  EXPECT_EQ(reader->RecordCount(), 1500);

  // Walking on, the reader reaches a page or record it has not read: from then on it sees the
  // other process's records, and the walk goes on from where it was, skipping nothing.
  Ids walked;
  for (std::int64_t id; (id = NextId(*reader)) >= 0;) walked.push_back(id);
  Ids expected;
  for (std::int64_t id = 80; id <= 15000; id += 10) expected.push_back(id);
  expected.push_back(100000);
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(reader->RecordCount(), 1502);
  reader->GoToPosition(7);
  EXPECT_EQ(CurrentId(*reader), 65);
  EXPECT_EQ(writer->Release(), 0);
}

TEST_F(SharingTest, StrictReaderSeesEveryChangeAtItsNextMove) {
  Create();
  Fill({10, 20, 30, 40, 50});
  auto reader = Open(true);
  ASSERT_EQ(AllIds(*reader), (Ids{10, 20, 30, 40, 50}));
  reader->GoToPosition(2);
  ASSERT_EQ(CurrentId(*reader), 20);

  AddInOtherProcess({25});
  EXPECT_EQ(reader->RecordCount(), 6);
  EXPECT_EQ(NextId(*reader), 25);

  auto updater = InOtherProcess([](TDataFile& table) {
    Require(MoveTo(table, 30), "find 30");
    std::vector<std::uint8_t> record(table.WorkingRecordSize());
    Require(table.GetCurrent(record.data(), true) == 0, "read 30");
    Require(table.WriteField(TFieldSet::Working, 2, std::string("changed"), record.data()),
            "write Name");
    table.Update(record.data(), {.Unlock = true});
  });
  std::vector<std::uint8_t> record(reader->WorkingRecordSize());
  ASSERT_EQ(reader->GoNext(record.data()), 0);
  EXPECT_EQ(IdIn(*reader, record), 30);
  EXPECT_EQ(NameIn(*reader, record), "changed");
  EXPECT_EQ(updater->Release(), 0);

  auto deleter = InOtherProcess([](TDataFile& table) {
    Require(MoveTo(table, 40), "find 40");
    table.Delete({});
  });
  EXPECT_EQ(NextId(*reader), 50);
  EXPECT_EQ(reader->RecordCount(), 5);
  EXPECT_EQ(PriorId(*reader), 30);
  EXPECT_EQ(deleter->Release(), 0);
  EXPECT_EQ(AllIdsBackwards(*reader), (Ids{50, 30, 25, 20, 10}));
}

// ----- Locks across processes -----

TEST_F(SharingTest, RecordLockHeldByAnotherProcessIsTriedAsOftenAsAsked) {
  Create();
  Fill({10, 20, 30});
  ChildProcess child([&](const auto& ready, const auto& wait) {
    auto table = Open();
    table->LockRecord(2);
    ready();
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  auto table = Open();

  table->SetLockRetryCount(0);
  auto start = SteadyClock::now();
  EXPECT_EQ(EngineErrorOf([&] { table->LockRecord(2); }), ie::kRecordInUse);
  EXPECT_LT(MillisecondsSince(start), 750);  // the default policy would wait 1.5 s

  table->SetLockRetryCount(3);
  table->SetLockWaitTime(20);
  start = SteadyClock::now();
  EXPECT_EQ(EngineErrorOf([&] { table->LockRecord(2); }), ie::kRecordInUse);
  EXPECT_GE(MillisecondsSince(start), 60);
  EXPECT_FALSE(table->RecordLocked(2));

  // A record this handler holds is not tried again (trying would fail after 5 s).
  table->SetLockRetryCount(255);
  ASSERT_EQ(EngineErrorOf([&] { table->LockRecord(3); }), 0);
  start = SteadyClock::now();
  EXPECT_EQ(EngineErrorOf([&] { table->LockRecord(3); }), 0);
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_TRUE(table->RecordLocked(3));

  // 256 attempts with a wait of more than 1 ms between each two.
  table->SetLockWaitTime(1);
  start = SteadyClock::now();
  EXPECT_EQ(EngineErrorOf([&] { table->LockRecord(2); }), ie::kRecordInUse);
  EXPECT_GE(MillisecondsSince(start), 255);

  EXPECT_EQ(child.Release(), 0);
  table->SetLockRetryCount(0);
  EXPECT_EQ(EngineErrorOf([&] { table->LockRecord(2); }), 0);
  EXPECT_TRUE(table->RecordLocked(2));
  table->UnlockRecord(2);
  table->UnlockRecord(3);
  EXPECT_FALSE(table->RecordLocked(2));
  EXPECT_FALSE(table->RecordLocked(3));
}

TEST_F(SharingTest, AReaderInAnotherProcessExcludesWritersButNotReaders) {
  Create();
  Fill({10, 20});
  ChildProcess child([&](const auto& ready, const auto& wait) {
    auto table = Open();
    Require(table->IndexFile().Locks().AcquireRead(), "read slot");
    ready();
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  auto table = Open();
  EXPECT_FALSE(table->IndexFile().LockRegion(kWriteRangeOffset, kWriteRangeLength));
  const auto start = SteadyClock::now();
  EXPECT_FALSE(table->AcquireReadAccess());  // taken, and nothing changed
  EXPECT_TRUE(table->ReadAccessHeld());
  EXPECT_LT(MillisecondsSince(start), 1000);
  // Operations in between leave the caller's read access held.
  table->GoFirst();
  EXPECT_EQ(table->GoNext(nullptr), 0);
  EXPECT_EQ(table->RecordCount(), 2);
  EXPECT_TRUE(table->ReadAccessHeld());
  table->ReleaseReadAccess();
  EXPECT_EQ(child.Release(), 0);
  EXPECT_TRUE(table->IndexFile().LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_TRUE(table->IndexFile().UnlockRegion(kWriteRangeOffset, kWriteRangeLength));
}

TEST_F(SharingTest, AWriterInAnotherProcessHoldsUpTheReadOfAnUncachedPage) {
  Create();
  Ids ids;
  for (std::int64_t id = 1; id <= 3000; ++id) ids.push_back(id);
  Fill(ids);
  auto table = Open();  // has read the first leaf only
  ChildProcess child([&](const auto& ready, const auto& wait) {
    auto writer = Open();
    Require(writer->IndexFile().Locks().AcquireWrite(), "write range");
    ready();
    platform::Sleep(100);
    Require(writer->IndexFile().Locks().ReleaseWrite(), "release");
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  const auto start = SteadyClock::now();
  table->GoLast();
  EXPECT_EQ(PriorId(*table), 3000);  // the last leaf is read from disk
  EXPECT_GE(MillisecondsSince(start), 80);
  EXPECT_EQ(table->RecordCount(), 3000);
  EXPECT_EQ(child.Release(), 0);
}

// The end of a batch writes what the batch kept in memory under the index write range, so a
// reader in the middle of a read holds it up and never sees the files change under it.
TEST_F(SharingTest, AReaderHoldsUpTheEndOfABatchAndSeesNothingChangeMeanwhile) {
  Create();
  Fill({1, 2, 3});
  auto table = Open();
  table->BeginBatch();
  for (std::int64_t id = 10; id < 400; ++id) Add(*table, id, NameFor(id));
  ChildProcess child([&](const auto& ready, const auto& wait) {
    auto reader = Open();
    Require(reader->IndexFile().Locks().AcquireRead(), "read slot");
    const auto before = ReadBytes(dir_.File("T.IDX"));
    ready();
    platform::Sleep(300);
    Require(ReadBytes(dir_.File("T.IDX")) == before, "the index file changed during a read");
    Require(reader->IndexFile().Locks().ReleaseRead(), "release");
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  const auto start = SteadyClock::now();
  table->EndBatch();
  EXPECT_GE(MillisecondsSince(start), 250);
  EXPECT_EQ(child.Release(), 0);
  EXPECT_EQ(table->RecordCount(), 393);
}

// ----- Read-only media -----

TEST_F(SharingTest, ReadOnlyMediaTakeNoLocksAndNeverLookForChanges) {
  Create(false, {{"Notes", 3, 22}});
  Ids ids;
  for (std::int64_t id = 1; id <= 200; ++id) ids.push_back(id);
  Fill(ids);
  const std::vector<std::string> files = {DataPath(), IndexPath(), BlobPath()};
  for (const std::string& file : files) ASSERT_TRUE(std::filesystem::exists(file)) << file;

  // The other process locks everything a reader or writer would need.
  ChildProcess child([&](const auto& ready, const auto& wait) {
    auto writer = Open();
    writer->LockTable();
    Require(writer->IndexFile().Locks().AcquireWrite(), "index write range");
    Require(writer->BlobFile() && writer->BlobFile()->Locks().AcquireWrite(), "blob write range");
    ready();
    wait();
  });
  ASSERT_TRUE(child.WaitReady());

  struct TRestorePermissions {
    const std::vector<std::string>& Files;
    ~TRestorePermissions() {
      for (const std::string& file : Files) ::chmod(file.c_str(), 0644);
    }
  } restore{files};
  for (const std::string& file : files) ASSERT_EQ(::chmod(file.c_str(), 0444), 0) << file;

  // Any lock attempt would wait 25 s (write range) or 1.5 s (record lock) before failing.
  const auto start = SteadyClock::now();
  auto table = Open(true);
  EXPECT_TRUE(table->ReadOnlyMedia());
  EXPECT_TRUE(table->ReadOnly());
  EXPECT_TRUE(table->IndexFile().ReadOnlyMedia());
  ASSERT_NE(table->BlobFile(), nullptr);
  EXPECT_TRUE(table->BlobFile()->ReadOnlyMedia());
  EXPECT_EQ(table->RecordCount(), 200);
  EXPECT_EQ(AllIds(*table), ids);
  const Ids backwards(ids.rbegin(), ids.rend());
  EXPECT_EQ(AllIdsBackwards(*table), backwards);
  table->SetIndexByName("ByName");
  EXPECT_EQ(AllIds(*table), ids);
  table->GoToPosition(150);
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  EXPECT_EQ(table->GetCurrent(record.data(), true), 0);
  EXPECT_EQ(IdIn(*table, record), 150);
  EXPECT_EQ(EngineErrorOf([&] { table->LockTable(); }), 0);
  EXPECT_FALSE(table->TableLocked());
  EXPECT_EQ(EngineErrorOf([&] { table->Refresh(); }), 0);
  EXPECT_EQ(EngineErrorOf([&] { table->Insert(record.data(), {}); }), ie::kAccessDenied);
  EXPECT_LT(MillisecondsSince(start), 1000);

  // Rewritten counters (and record count) in the files are never looked at.
  const std::int32_t dataCounter = table->Header().ChangeCounter;
  const std::int32_t indexCounter = table->IndexFile().Header().ChangeCounter;
  ASSERT_EQ(ReadI32(DataPath(), 0), dataCounter);
  ASSERT_EQ(ReadI32(IndexPath(), 0), indexCounter);
  PatchI32(DataPath(), 0, dataCounter + 7);
  PatchI32(IndexPath(), 0, indexCounter + 7);
  PatchI32(IndexPath(), 3974, 5);
  EXPECT_EQ(table->RecordCount(), 200);
  EXPECT_EQ(AllIds(*table), ids);
  table->Refresh();
  EXPECT_EQ(table->RecordCount(), 200);
  EXPECT_EQ(table->Header().ChangeCounter, dataCounter);
  EXPECT_EQ(table->IndexFile().Header().ChangeCounter, indexCounter);
  EXPECT_EQ(table->IndexFile().Header().ActiveRecords, 200);

  table->Close();
  EXPECT_EQ(child.Release(), 0);
}

// ----- The table lock and the record cache -----

class SharingTableLockTest : public SharingTest {
 protected:
  static constexpr int kTextField = 18;

  // Id, Name and 16 strings of 250 characters: about 4 KB a record, so the cache holds ~32.
  void SetUp() override {
    SharingTest::SetUp();
    std::vector<TFieldDefinition> wide;
    for (int i = 1; i <= 16; ++i) wide.push_back({"Text" + std::to_string(i), 1, 0, 250});
    Create(false, wide);
    table_ = Open();
    const int capacity = TRecordCache::CapacityFor(table_->WorkingRecordSize());
    ASSERT_LE(capacity, 40);
    count_ = capacity + 8;
  }
  void TearDown() override {
    table_.reset();
    SharingTest::TearDown();
  }

  static std::string TextFor(int id) { return std::string(250, static_cast<char>('a' + id % 26)); }

  // Inserts count_ records once `lock` has run. Under the table lock nothing is written, so
  // every record stays in its own modified buffer and the cache has to grow beyond its capacity:
  // the data file does not change, every record is read back from memory, and another process
  // sees none of them.
  void InsertMoreThanTheCacheHolds(const std::function<void()>& lock) {
    const std::vector<std::uint8_t> dataBefore = ReadBytes(DataPath());
    lock();
    std::vector<std::uint8_t> record(table_->WorkingRecordSize());
    for (int id = 1; id <= count_; ++id) {
      table_->BlankRecord(record.data());
      ASSERT_TRUE(table_->WriteField(TFieldSet::Working, 1, std::int64_t{id}, record.data()));
      ASSERT_TRUE(table_->WriteField(TFieldSet::Working, 2, NameFor(id), record.data()));
      ASSERT_TRUE(table_->WriteField(TFieldSet::Working, kTextField, TextFor(id), record.data()));
      ASSERT_EQ(EngineErrorOf([&] { table_->Insert(record.data(), {}); }), 0) << id;
      ASSERT_TRUE(table_->TableLocked());
    }
    EXPECT_EQ(ReadBytes(DataPath()), dataBefore);
    table_->GoFirst();
    for (int id = 1; id <= count_; ++id) {
      ASSERT_EQ(table_->GoNext(record.data()), 0) << id;
      EXPECT_EQ(IdIn(*table_, record), id);
      EXPECT_EQ(
          std::get<std::string>(table_->ReadField(TFieldSet::Working, kTextField, record.data())),
          TextFor(id));
    }
    EXPECT_EQ(table_->RecordCount(), count_);
    ExpectOtherProcessSees(0);
  }

  void ExpectOtherProcessSees(int count) {
    auto other = InOtherProcess([count](TDataFile& t) {
      const std::int32_t seen = t.RecordCount();
      Require(seen == count, ("record count " + std::to_string(seen)).c_str());
      std::vector<std::uint8_t> buffer(t.WorkingRecordSize());
      t.GoFirst();
      for (int id = 1; id <= count; ++id) {
        Require(t.GoNext(buffer.data()) == 0, "next");
        Require(IdIn(t, buffer) == id && NameIn(t, buffer) == NameFor(id), "record");
        Require(std::get<std::string>(t.ReadField(TFieldSet::Working, kTextField, buffer.data())) ==
                    TextFor(id),
                "text");
      }
    });
    EXPECT_EQ(other->Release(), 0);
  }

  std::unique_ptr<TDataFile> table_;
  int count_ = 0;
};

TEST_F(SharingTableLockTest, ABatchKeepsMoreRecordsThanTheCacheHoldsUntilItEnds) {
  table_->BeginBatch();
  EXPECT_FALSE(table_->TableLocked());  // locked by the first change
  InsertMoreThanTheCacheHolds([] {});
  table_->GoFirst();  // the batch ends without a current record
  table_->EndBatch();
  EXPECT_FALSE(table_->TableLocked());
  ExpectOtherProcessSees(count_);
}

// The record the batch ended on is written like the others.
TEST_F(SharingTableLockTest, ABatchEndingOnTheRecordItInsertedWritesIt) {
  table_->BeginBatch();
  std::vector<std::uint8_t> record(table_->WorkingRecordSize());
  table_->BlankRecord(record.data());
  ASSERT_TRUE(table_->WriteField(TFieldSet::Working, 1, std::int64_t{1}, record.data()));
  ASSERT_TRUE(table_->WriteField(TFieldSet::Working, 2, NameFor(1), record.data()));
  ASSERT_TRUE(table_->WriteField(TFieldSet::Working, kTextField, TextFor(1), record.data()));
  table_->Insert(record.data(), {.Reposition = true});
  EXPECT_EQ(EngineErrorOf([&] { table_->EndBatch(); }), 0);
  EXPECT_EQ(CurrentId(*table_), 1);
  ExpectOtherProcessSees(1);
}

// Changes made under the table lock reach the files when it ends.
TEST_F(SharingTableLockTest, TheTableLockKeepsMoreRecordsThanTheCacheHoldsUntilItEnds) {
  InsertMoreThanTheCacheHolds([&] { table_->LockTable(); });
  table_->UnlockTable();
  EXPECT_FALSE(table_->TableLocked());
  ExpectOtherProcessSees(count_);
  table_->Close();
  EXPECT_EQ(AllIds(*Open()).size(), static_cast<std::size_t>(count_));
}

// ----- Changes that meet another process's changes -----

TEST_F(SharingTest, DeletingAfterRefreshWhenTheRecordIsGoneDeletesOnlyWhatIsCurrent) {
  Create();
  Fill({10, 20, 30});
  auto table = Open();
  ASSERT_TRUE(MoveTo(*table, 20));
  auto other = InOtherProcess([](TDataFile& t) {
    Require(MoveTo(t, 20), "find 20");
    t.Delete({});
  });
  table->Refresh();
  const std::int64_t current = CurrentId(*table);
  EXPECT_TRUE(current == 30 || current < 0) << current;
  const int error = EngineErrorOf([&] { table->Delete({}); });
  if (error == 0) {
    // It deleted the record it now stood on, and only that one.
    EXPECT_EQ(current, 30);
    EXPECT_EQ(AllIds(*table), (Ids{10}));
  } else {
    EXPECT_EQ(AllIds(*table), (Ids{10, 30}));
  }
  EXPECT_EQ(other->Release(), 0);
  const Ids remaining = AllIds(*table);
  auto fresh = Open();
  EXPECT_EQ(AllIds(*fresh), remaining);
  EXPECT_EQ(fresh->RecordCount(), static_cast<std::int32_t>(remaining.size()));
}

// A record another process deleted meanwhile is not there to delete; its neighbour stays.
TEST_F(SharingTest, DeletingAStaleCurrentRecordGoneMeanwhileDeletesNothingElse) {
  Create();
  Fill({10, 20, 30});
  auto table = Open();
  ASSERT_TRUE(MoveTo(*table, 20));
  auto other = InOtherProcess([](TDataFile& t) {
    Require(MoveTo(t, 20), "find 20");
    t.Delete({});
  });
  // Record 20 is what this handler shows as current; another process removed it.
  EXPECT_EQ(CurrentId(*table), 20);
  EXPECT_EQ(EngineErrorOf([&] { table->Delete({}); }), ie::kRecordNotFound);
  EXPECT_EQ(other->Release(), 0);
  EXPECT_EQ(AllIds(*Open()), (Ids{10, 30}));
}

// A record another process deleted meanwhile is not there to change; its neighbour stays.
TEST_F(SharingTest, UpdatingAStaleCurrentRecordGoneMeanwhileChangesNothingElse) {
  Create();
  Fill({10, 20, 30});
  auto table = Open();
  ASSERT_TRUE(MoveTo(*table, 20));
  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
  auto other = InOtherProcess([](TDataFile& t) {
    Require(MoveTo(t, 20), "find 20");
    t.Delete({});
  });
  ASSERT_TRUE(table->WriteField(TFieldSet::Working, 2, std::string("edited"), record.data()));
  EXPECT_EQ(EngineErrorOf([&] { table->Update(record.data(), {}); }), ie::kRecordNotFound);
  EXPECT_EQ(other->Release(), 0);
  auto fresh = Open();
  EXPECT_EQ(AllIds(*fresh), (Ids{10, 30}));
  ASSERT_TRUE(MoveTo(*fresh, 30));
  ASSERT_EQ(fresh->GetCurrent(record.data(), false), 0);
  EXPECT_EQ(NameIn(*fresh, record), NameFor(30));
}

TEST_F(SharingTest, UpdateToAUniqueKeyAnotherProcessTookChangesNothing) {
  Create(true);
  auto table = Open();
  Add(*table, 1, "alpha");
  Add(*table, 2, "gamma");
  ASSERT_TRUE(MoveTo(*table, 1));
  // The other process takes "beta" while this handler's view is from before.
  auto child = InOtherProcess([](TDataFile& t) { Add(t, 3, "beta"); });
  EXPECT_EQ(child->Release(), 0);
  const std::vector<std::uint8_t> data = ReadBytes(DataPath());
  const std::vector<std::uint8_t> index = ReadBytes(IndexPath());

  std::vector<std::uint8_t> record(table->WorkingRecordSize());
  ASSERT_EQ(table->GetCurrent(record.data(), false), 0);
  ASSERT_EQ(IdIn(*table, record), 1);
  ASSERT_TRUE(table->WriteField(TFieldSet::Working, 2, std::string("beta"), record.data()));
  EXPECT_EQ(EngineErrorOf([&] { table->Update(record.data(), {}); }), ie::kDuplicateKey);

  EXPECT_EQ(table->RecordCount(), 3);
  table->SetIndexByName("ByName");
  std::vector<std::string> names;
  table->GoFirst();
  while (table->GoNext(record.data()) == 0) names.push_back(NameIn(*table, record));
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(AllIds(*table), (Ids{1, 3, 2}));
  EXPECT_EQ(ReadBytes(DataPath()), data);
  EXPECT_EQ(ReadBytes(IndexPath()), index);
  table->Close();
  EXPECT_EQ(ReadBytes(DataPath()), data);
  EXPECT_EQ(ReadBytes(IndexPath()), index);
}

}  // namespace
}  // namespace katalog
