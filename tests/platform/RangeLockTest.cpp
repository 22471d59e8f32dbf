#include "platform/RangeLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

TEST_F(RangeLockTest, SharingLockEmulatesShareModes) {
  const int shared1 = OpenFile();
  const int shared2 = OpenFile(O_RDONLY);
  EXPECT_TRUE(TrySharingLock(shared1, false));
  EXPECT_TRUE(TrySharingLock(shared2, false));
  const int exclusive = OpenFile();
  EXPECT_FALSE(TrySharingLock(exclusive, true));
  ::close(shared1);
  ::close(shared2);
  EXPECT_TRUE(TrySharingLock(exclusive, true));
  const int late = OpenFile();
  EXPECT_FALSE(TrySharingLock(late, false));
  // Range locks do not mix with the sharing lock.
  EXPECT_TRUE(TryLockRange(late, 10, 1, true));
  ::close(late);
  ::close(exclusive);
}

}  // namespace
}  // namespace katalog::platform
