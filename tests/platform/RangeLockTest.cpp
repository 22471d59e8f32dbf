#include "platform/RangeLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>

#include "support/TempDir.h"

namespace katalog::platform {
namespace {

class RangeLockTest : public ::testing::Test {
 protected:
  int OpenFile(int flags = O_RDWR) {
    const int fd = ::open(file_.c_str(), flags | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    return fd;
  }

  katalog::testing::TempDir dir_;
  std::string file_ = dir_.Write("table.IDX", "index");
};

TEST_F(RangeLockTest, LocksBelongToTheOpenFileNotTheProcess) {
  const int a = OpenFile();
  const int b = OpenFile();
  EXPECT_TRUE(TryLockRange(a, 0x7FFFFFFF, 1, true));
  EXPECT_FALSE(TryLockRange(b, 0x7FFFFFFF, 1, true));
  EXPECT_TRUE(TryLockRange(b, 0x7FFFFFFE, 1, true));  // the next byte is free

  // Closing a third open of the same file drops nothing of a's.
  ::close(OpenFile());
  EXPECT_FALSE(TryLockRange(b, 0x7FFFFFFF, 1, true));

  EXPECT_TRUE(UnlockRange(a, 0x7FFFFFFF, 1));
  EXPECT_TRUE(TryLockRange(b, 0x7FFFFFFF, 1, true));
  ::close(a);
  ::close(b);
}

TEST_F(RangeLockTest, ReadOnlyOpensTakeSharedLocksThatStillExcludeWriters) {
  const int reader1 = OpenFile(O_RDONLY);
  const int reader2 = OpenFile(O_RDONLY);
  const int writer = OpenFile();
  EXPECT_TRUE(TryLockRange(reader1, 0x7FFFFFFF - 7, 1, false));
  EXPECT_TRUE(TryLockRange(reader2, 0x7FFFFFFF - 7, 1, false));
  EXPECT_FALSE(TryLockRange(writer, 0x7FFF0000, 65535, true));
  ::close(reader1);
  EXPECT_FALSE(TryLockRange(writer, 0x7FFF0000, 65535, true));
  ::close(reader2);
  EXPECT_TRUE(TryLockRange(writer, 0x7FFF0000, 65535, true));
  ::close(writer);
}

// Which lock another open holds on the bytes, F_UNLCK when none.
short LockSeenBy(int fd, std::uint64_t offset, std::uint64_t length) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  EXPECT_EQ(::fcntl(fd, F_OFD_GETLK, &lock), 0);
  return lock.l_type;
}

struct TShareMode {
  const char* Name;
  bool Exclusive;
  int Access;
};

constexpr TShareMode kShareModes[] = {
    {"shared read-write", false, O_RDWR},
    {"shared read-only", false, O_RDONLY},
    {"exclusive read-write", true, O_RDWR},
    {"exclusive read-only", true, O_RDONLY},
};

TEST_F(RangeLockTest, SharingLockEmulatesShareModes) {
  for (const TShareMode& first : kShareModes) {
    for (const TShareMode& second : kShareModes) {
      SCOPED_TRACE(std::string(first.Name) + " then " + second.Name);
      const int a = OpenFile(first.Access);
      const int b = OpenFile(second.Access);
      ASSERT_TRUE(TrySharingLock(a, first.Exclusive));
      const bool shares = !first.Exclusive && !second.Exclusive;
      errno = 0;
      EXPECT_EQ(TrySharingLock(b, second.Exclusive), shares);
      if (!shares) {
        EXPECT_EQ(errno, EWOULDBLOCK);
        // The refused open left nothing behind: once the first is closed, any open gets in,
        // even an exclusive one beside the refused descriptor that is still open.
        ::close(a);
        const int c = OpenFile(O_RDWR);
        EXPECT_TRUE(TrySharingLock(c, true));
        ::close(c);
      } else {
        ::close(a);
      }
      ::close(b);
    }
  }
}

TEST_F(RangeLockTest, SharingLocksAreByteRangesAboveEveryProtocolLock) {
  const int shared = OpenFile(O_RDONLY);
  const int exclusive = OpenFile(O_RDONLY);
  const int probe = OpenFile();
  ASSERT_TRUE(TrySharingLock(shared, false));
  EXPECT_EQ(LockSeenBy(probe, kSharingOpenByte, 1), F_RDLCK);
  EXPECT_EQ(LockSeenBy(probe, 0, kSharingOpenByte), F_UNLCK);  // every 32-bit offset is free
  // The protocol's ranges stay free for a writer beside a shared open.
  EXPECT_TRUE(TryLockRange(probe, 0x7FFF0000, 65535, true));
  EXPECT_TRUE(TryLockRange(probe, 0x7FFFFFFF - 100000000, 100000001, true));
  ::close(shared);

  ASSERT_TRUE(TrySharingLock(exclusive, true));
  EXPECT_EQ(LockSeenBy(probe, kSharingExclusiveByte, 1), F_RDLCK);
  ::close(exclusive);
  EXPECT_EQ(LockSeenBy(probe, kSharingOpenByte, 2), F_UNLCK);
  ::close(probe);
}

// A shared open and a read-only exclusive open that start at the same moment may both be
// refused, but never both let in.
TEST_F(RangeLockTest, SharedAndReadOnlyExclusiveOpensRacingNeverBothSucceed) {
  constexpr int kRounds = 500;
  std::atomic<int> started{0};
  int bothIn = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int shared = OpenFile(O_RDONLY);
    const int exclusive = OpenFile(O_RDONLY);
    bool sharedIn = false;
    started = 0;
    std::thread other([&] {
      ++started;
      while (started < 2) {
      }
      sharedIn = TrySharingLock(shared, false);
    });
    ++started;
    while (started < 2) {
    }
    const bool exclusiveIn = TrySharingLock(exclusive, true);
    other.join();
    if (sharedIn && exclusiveIn) ++bothIn;
    ::close(shared);
    ::close(exclusive);
  }
  EXPECT_EQ(bothIn, 0);
}

}  // namespace
}  // namespace katalog::platform
