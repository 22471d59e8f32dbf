#include "platform/RangeLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace katalog::platform {
namespace {

bool SetRange(int fd, short type, std::uint64_t offset, std::uint64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for open-file-description locks
  int result;
  do {
    result = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace

bool TryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive) {
  return SetRange(fd, exclusive ? F_WRLCK : F_RDLCK, offset, length);
}

bool UnlockRange(int fd, std::uint64_t offset, std::uint64_t length) {
  return SetRange(fd, F_UNLCK, offset, length);
}

bool TrySharingLock(int fd, bool exclusive) {
  int result;
  do {
    result = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

}  // namespace katalog::platform
