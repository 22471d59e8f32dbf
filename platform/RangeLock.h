// Byte-range locks and the sharing lock on an open file, the Linux stand-ins for the system's
// LockFile/UnlockFile and for the share modes of an open.
//
// Range locks are open-file-description locks: they belong to the open file, not to the process,
// so two opens of one file in one process exclude each other, and closing one never drops the
// locks of another. They never wait. A file opened for writing takes exclusive locks; a file
// opened for reading only can take only shared ones, which still exclude every exclusive lock
// (between two read-only opens, which change nothing, the bytes may be shared).
//
// The sharing lock is made of the same kind of locks, on two bytes reserved for it. Every lock
// this system takes is therefore a byte-range lock: a network file system that turns whole-file
// locks into a lock over every byte would make a shared open collide with the table protocol's
// ranges. The protocol's locks all lie below 0x80000000, and other programs sharing a table can
// only name 32-bit offsets, so the bytes from 4 GiB up are free:
//
//   | byte      | offset      | locked by                                                    |
//   |-----------|-------------|--------------------------------------------------------------|
//   | open      | 0x100000000 | every open: shared; a writable exclusive open: exclusive     |
//   | exclusive | 0x100000001 | a read-only exclusive open: shared                           |
//
// - A writable exclusive open locks the open byte exclusively, which fails while any other open
//   holds it, and keeps every later open from locking it.
// - A shared open locks the open byte shared, then asks whether anybody else holds the
//   exclusive byte; if so it gives the lock back and fails.
// - A read-only exclusive open (its descriptor cannot take an exclusive lock) locks the
//   exclusive byte and the open byte shared, then asks whether anybody else holds the open
//   byte; if so it gives both back and fails.
//
// The last two each take their own lock before they look for the other's, so of a shared open
// and a read-only exclusive open (or two read-only exclusive opens) at least one sees the other:
// both never succeed. The race this accepts is the opposite one: when they try at the same
// moment, both may fail, and an open may fail because of a read-only exclusive open that is
// itself about to fail. Either is reported as the sharing violation it nearly was.
#pragma once

#include <cstdint>

namespace katalog::platform {

inline constexpr std::uint64_t kSharingOpenByte = 0x100000000;
inline constexpr std::uint64_t kSharingExclusiveByte = 0x100000001;

bool TryLockRange(int fd, std::uint64_t offset, std::uint64_t length, bool exclusive);
// Returns false (with errno set) when the system refuses.
bool UnlockRange(int fd, std::uint64_t offset, std::uint64_t length);

// Takes the sharing lock of an open for reading, or for reading and writing: exclusive for an
// open that allows no other, shared for one that allows others. Never waits. Returns false with
// errno set, EWOULDBLOCK when another open conflicts. Closing the file releases it.
bool TrySharingLock(int fd, bool exclusive);

}  // namespace katalog::platform
