#include "engine/storage/TableLocks.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "support/EngineFixture.h"
#include "support/ProcessHelper.h"
#include "support/TempDir.h"

namespace katalog {
namespace {

// Short retries keep refused locks quick; the default policy is checked on its own.
constexpr TLockRetryPolicy kQuick{4, 2};

class TableLocksTest : public katalog::testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    TFileHandler creator;
    creator.SetExclusive(true);
    creator.SetFileName(dir_.File("T.DAT"));
    creator.CreateEmpty();
  }

  std::unique_ptr<TFileHandler> Open() {
    auto file = std::make_unique<TFileHandler>();
    file->SetFileName(dir_.File("T.DAT"));
    file->Open();
    return file;
  }

  katalog::testing::TempDir dir_;
};

TEST(TableLocksPolicyTest, DefaultRetriesAre8192WaitsOf3Milliseconds) {
  const TLockRetryPolicy policy;
  EXPECT_EQ(policy.MaxWaits, 8192u);
  EXPECT_EQ(policy.WaitMilliseconds, 3u);
  EXPECT_EQ(kDataWriteLockOffset, 2147483647u);
  EXPECT_EQ(kRecordLockBase - 1, 2147483645u);
  EXPECT_EQ(kWriteRangeOffset, 2147418112u);
  EXPECT_EQ(kWriteRangeOffset + kWriteRangeLength - 1, kReadSlotBase - 1);  // covers slot 1
  EXPECT_EQ(kReadSlotBase - kReadSlotCount, kWriteRangeOffset + 1);         // and slot 65534
}

TEST_F(TableLocksTest, ReadersCoexistAndExcludeWriters) {
  auto fileA = Open();
  auto fileB = Open();
  auto fileC = Open();
  TPageFileLocks a(*fileA, kQuick), b(*fileB, kQuick), writer(*fileC, kQuick);
  EXPECT_TRUE(a.AcquireRead());
  EXPECT_TRUE(a.ReadHeld());
  EXPECT_GE(a.ReadSlot(), 1u);
  EXPECT_LE(a.ReadSlot(), kReadSlotCount);
  const std::uint32_t slot = a.ReadSlot();
  EXPECT_TRUE(a.AcquireRead());  // held: not taken again
  EXPECT_EQ(a.ReadSlot(), slot);
  EXPECT_TRUE(b.AcquireRead());

  const std::uint64_t start = platform::TickCount();
  EXPECT_FALSE(writer.AcquireWrite());
  EXPECT_GE(platform::TickCount() - start, 4u * 2u);  // it did wait between attempts
  EXPECT_FALSE(writer.WriteHeld());
  EXPECT_TRUE(a.ReleaseRead());
  EXPECT_FALSE(writer.AcquireWrite());
  EXPECT_TRUE(b.ReleaseRead());
  EXPECT_TRUE(writer.AcquireWrite());
  EXPECT_TRUE(writer.WriteHeld());
  EXPECT_FALSE(a.AcquireRead());  // the write range covers every slot
  EXPECT_TRUE(writer.ReleaseWrite());
  EXPECT_TRUE(writer.ReleaseWrite());  // not held: nothing to do
  EXPECT_TRUE(a.AcquireRead());
}

TEST_F(TableLocksTest, WaitingWriterGetsTheRangeWhenTheReaderLeaves) {
  auto readerFile = Open();
  auto writerFile = Open();
  TPageFileLocks reader(*readerFile);
  ASSERT_TRUE(reader.AcquireRead());
  // The default policy waits up to 8192 × 3 ms; the reader leaves after about 50 ms.
  std::thread leave([&] {
    platform::Sleep(50);
    reader.ReleaseRead();
  });
  TPageFileLocks writer(*writerFile);
  const std::uint64_t start = platform::TickCount();
  EXPECT_TRUE(writer.AcquireWrite());
  EXPECT_GE(platform::TickCount() - start, 40u);
  leave.join();
}

TEST_F(TableLocksTest, WriteLockAndRecordLocks) {
  auto fileA = Open();
  auto fileB = Open();
  TDataFileLocks a(*fileA, kQuick), b(*fileB, kQuick);
  EXPECT_TRUE(a.AcquireWriteLock());
  EXPECT_TRUE(a.AcquireWriteLock());
  EXPECT_FALSE(b.AcquireWriteLock());
  EXPECT_TRUE(a.ReleaseWriteLock());
  EXPECT_TRUE(b.AcquireWriteLock());

  EXPECT_TRUE(a.LockRecord(1, 0, 0));
  EXPECT_TRUE(a.LockRecord(1, 0, 0));  // held already
  EXPECT_TRUE(a.LockRecord(kMaxLockableRecord, 0, 0));
  EXPECT_FALSE(a.LockRecord(kMaxLockableRecord + 1, 0, 0));
  EXPECT_FALSE(a.LockRecord(0, 0, 0));
  EXPECT_TRUE(b.LockRecord(2, 0, 0));  // other records are free

  // A refused record lock is tried retryCount + 1 times, waitMs apart.
  const std::uint64_t start = platform::TickCount();
  EXPECT_FALSE(b.LockRecord(1, 2, 20));
  EXPECT_GE(platform::TickCount() - start, 40u);
  EXPECT_FALSE(b.RecordLocked(1));

  EXPECT_TRUE(b.UnlockRecord(7));  // not held: nothing to release
  EXPECT_TRUE(a.UnlockAllRecords());
  EXPECT_TRUE(a.LockedRecords().empty());
  EXPECT_TRUE(b.LockRecord(1, 0, 0));
  EXPECT_EQ(b.LockedRecords(), (std::vector<std::uint32_t>{2, 1}));
}

TEST_F(TableLocksTest, RecordLockHeldByAnotherProcess) {
  katalog::testing::ChildProcess child([&](const auto& ready, const auto& wait) {
    auto file = Open();
    TDataFileLocks locks(*file);
    if (!locks.LockRecord(42, 0, 0) || !locks.AcquireWriteLock()) throw 1;
    ready();
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  auto file = Open();
  TDataFileLocks locks(*file, kQuick);
  EXPECT_FALSE(locks.LockRecord(42, 1, 5));
  EXPECT_TRUE(locks.LockRecord(41, 0, 0));
  EXPECT_FALSE(locks.AcquireWriteLock());
  EXPECT_EQ(child.Release(), 0);
  EXPECT_TRUE(locks.LockRecord(42, 0, 0));
  EXPECT_TRUE(locks.AcquireWriteLock());
}

TEST_F(TableLocksTest, ClosingForgetsTheLocks) {
  auto file = Open();
  TPageFileLocks page(*file, kQuick);
  TDataFileLocks data(*file, kQuick);
  ASSERT_TRUE(page.AcquireRead());
  ASSERT_TRUE(data.LockRecord(3, 0, 0));
  file->Close();
  page.Forget();
  data.Forget();
  EXPECT_FALSE(page.ReadHeld());
  EXPECT_TRUE(data.LockedRecords().empty());
  auto other = Open();
  TPageFileLocks writer(*other, kQuick);
  EXPECT_TRUE(writer.AcquireWrite());
}

}  // namespace
}  // namespace katalog
