// Byte-range locks and the open-sharing lock on an open file, the Linux stand-ins for the
// system's LockFile/UnlockFile and for the share modes of an open.
//
// Range locks are open-file-description locks: they belong to the open file, not to the process,
// so two opens of one file in one process exclude each other, and closing one never drops the
// locks of another. They never wait. A file opened for writing takes exclusive locks; a file
// opened for reading only can take only shared ones, which still exclude every exclusive lock
// (between two read-only opens, which change nothing, the bytes may be shared).
//
// The sharing lock is a whole-file flock(2): shared for an open that allows sharing, exclusive
// for one that allows none. It is independent of the range locks.
#pragma once

#include <cstdint>

namespace katalog::platform {

bool TryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive);
// Returns false (with errno set) when the system refuses.
bool UnlockRange(int fd, std::uint64_t offset, std::uint64_t length);

// Returns false with errno set (EWOULDBLOCK when another open conflicts).
bool TrySharingLock(int fd, bool exclusive);

}  // namespace katalog::platform
