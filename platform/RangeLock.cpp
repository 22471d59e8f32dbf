#include "platform/RangeLock.h"

#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>

namespace katalog::platform {
namespace {

static_assert(sizeof(off_t) >= 8, "the sharing bytes lie beyond 32-bit offsets");

struct flock Range(short type, std::uint64_t offset, std::uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for open-file-description locks
  return lock;
}

bool Control(int fd, int command, struct flock& lock) {
  int result;
  do {
    result = ::fcntl(fd, command, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool SetRange(int fd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock lock = Range(type, offset, length);
  return Control(fd, F_OFD_SETLK, lock);
}

// Whether an open other than fd's holds any lock on the byte; false with errno set when the
// system cannot say.
bool HeldByAnother(int fd, std::uint64_t offset, bool& held) {
  struct flock lock = Range(F_WRLCK, offset, 1);
  if (!Control(fd, F_OFD_GETLK, lock)) return false;
  held = lock.l_type != F_UNLCK;
  return true;
}

// A refusal because of another open's lock, whichever of the two numbers the system uses.
bool Refused(int error) {
  return error == EAGAIN || error == EACCES;
}

// Fails with the error of a refusal, after giving back the sharing bytes taken so far.
bool Fail(int fd, bool openByte, bool exclusiveByte, int error) {
  if (openByte) UnlockRange(fd, kSharingOpenByte, 1);
  if (exclusiveByte) UnlockRange(fd, kSharingExclusiveByte, 1);
  errno = Refused(error) ? EWOULDBLOCK : error;
  return false;
}

}  // namespace

bool TryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive) {
  return SetRange(fd, exclusive ? F_WRLCK : F_RDLCK, offset, length);
}

bool UnlockRange(int fd, std::uint64_t offset, std::uint64_t length) {
  return SetRange(fd, F_UNLCK, offset, length);
}

bool TrySharingLock(int fd, bool exclusive) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const bool writable = (flags & O_ACCMODE) != O_RDONLY;

  if (exclusive && writable) {
    return SetRange(fd, F_WRLCK, kSharingOpenByte, 1) || Fail(fd, false, false, errno);
  }
  // Its own byte first, then a look at the other kind's (see the header).
  if (exclusive && !SetRange(fd, F_RDLCK, kSharingExclusiveByte, 1)) {
    return Fail(fd, false, false, errno);
  }
  if (!SetRange(fd, F_RDLCK, kSharingOpenByte, 1)) return Fail(fd, false, exclusive, errno);
  bool held = false;
  if (!HeldByAnother(fd, exclusive ? kSharingOpenByte : kSharingExclusiveByte, held)) {
    return Fail(fd, true, exclusive, errno);
  }
  return !held || Fail(fd, true, exclusive, EWOULDBLOCK);
}

}  // namespace katalog::platform
