#include "engine/storage/FileHandler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "engine/storage/FileSession.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/MemoryFile.h"
#include "platform/FileSystem.h"
#include "platform/RangeLock.h"

namespace katalog {
namespace {

using MemoryLock = std::lock_guard<std::recursive_mutex>;

int OpenFlags(bool readOnly, bool writeThrough) {
  return (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | (writeThrough ? O_DSYNC : 0);
}

}  // namespace

TFileHandler::~TFileHandler() {
  if (isOpen_) CloseHandle();
}

std::int32_t TFileHandler::Handle() const {
  if (!isOpen_) return 0;
  return inMemory_ ? memoryHandle_ : descriptor_;
}

void TFileHandler::Raise(int code) const {
  RaiseIsamError(code, fileName_);
}

void TFileHandler::RaiseErrno(int errnoValue) const {
  RaiseOsError(platform::WindowsErrorFromErrno(errnoValue), fileName_);
}

void TFileHandler::RequireClosed(bool changes) const {
  if (isOpen_ && changes) Raise(ie::kFileInUse);
}

void TFileHandler::SetInMemory(bool value) {
  RequireClosed(value != inMemory_);
  inMemory_ = value;
}

void TFileHandler::SetExclusive(bool value) {
  RequireClosed(value != exclusive_);
  exclusive_ = value;
}

void TFileHandler::SetReadOnly(bool value) {
  RequireClosed(value != readOnly_);
  readOnly_ = value;
}

void TFileHandler::SetFileName(std::string_view name) {
  std::string normalized = NormalizeName(name);
  RequireClosed(normalized != fileName_);
  fileName_ = std::move(normalized);
}

void TFileHandler::SetWriteThrough(bool value) {
  if (!isOpen_) writeThrough_ = value;
}

std::string TFileHandler::NormalizeName(std::string_view name) const {
  return std::string(name);
}

std::string TFileHandler::NativePath() const {
  return platform::ResolveFileName(fileName_);
}

void TFileHandler::Open() {
  if (isOpen_) return;
  RequireEngine();
  inMemory_ ? OpenMemory() : OpenDisk();
  position_ = 0;
  isOpen_ = true;
}

void TFileHandler::OpenDisk() {
  const std::string path = NativePath();
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) Raise(ie::kInvalidPath);
    RaiseErrno(errno);
  }
  if (S_ISDIR(st.st_mode)) RaiseOsError(platform::kErrorAccessDenied, fileName_);
  if (platform::HasReadOnlyAttribute(path)) {
    readOnly_ = true;
    readOnlyMedia_ = true;
  }
  const int fd = ::open(path.c_str(), OpenFlags(readOnly_, writeThrough_));
  if (fd < 0) RaiseErrno(errno);
  if (!platform::TrySharingLock(fd, exclusive_)) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) RaiseOsError(platform::kErrorSharingViolation, fileName_);
    RaiseErrno(error);
  }
  descriptor_ = fd;
  mappableLength_ = 0;
  unmappedReads_ = 0;
  if (readOnlyMedia_ && ::fstat(fd, &st) == 0) mappableLength_ = st.st_size;
}

void TFileHandler::OpenMemory() {
  MemoryLock lock(MemoryFileLock());
  TMemoryFile* file = nullptr;
  const int result = CurrentFileSession().MemoryFiles.Open(fileName_, exclusive_, &file);
  if (result < 0) Raise(-result);
  memoryFile_ = file;
  memoryHandle_ = result;
}

void TFileHandler::CloseHandle() noexcept {
  if (inMemory_) {
    if (memoryFile_) {
      MemoryLock lock(MemoryFileLock());
      memoryFile_->CloseHandle(memoryHandle_);
    }
    memoryFile_ = nullptr;
    memoryHandle_ = 0;
  } else if (descriptor_ >= 0) {
    mapping_.Unmap();
    ::close(descriptor_);  // drops this descriptor's range and sharing locks, nobody else's
    descriptor_ = -1;
  }
  heldRanges_.clear();
  isOpen_ = false;
}

void TFileHandler::Close() {
  CloseHandle();
}

void TFileHandler::CreateEmpty() {
  RequireEngine();
  RequireClosed(true);
  if (!exclusive_) Raise(ie::kExclusiveRequired);
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    TMemoryFile* file = nullptr;
    const int result = CurrentFileSession().MemoryFiles.Create(fileName_, &file);
    if (result < 0) Raise(-result);
    memoryFile_ = file;
    memoryHandle_ = result;
  } else {
    const std::string path = NativePath();
    const int fd = ::open(path.c_str(), O_CREAT | OpenFlags(false, writeThrough_), 0666);
    if (fd < 0) RaiseErrno(errno);
    // Nothing is cut while another program has the file open.
    if (!platform::TrySharingLock(fd, true) || ::ftruncate(fd, 0) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) RaiseOsError(platform::kErrorSharingViolation, fileName_);
      RaiseErrno(error);
    }
    descriptor_ = fd;
    readOnly_ = false;
    readOnlyMedia_ = false;
  }
  position_ = 0;
  isOpen_ = true;
}

void TFileHandler::Delete() {
  RequireEngine();
  RequireClosed(true);
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    if (!CurrentFileSession().MemoryFiles.Delete(fileName_)) Raise(ie::kDeleteError);
    return;
  }
  if (::unlink(NativePath().c_str()) != 0) {
    StoreOsError(platform::WindowsErrorFromErrno(errno));
    Raise(ie::kDeleteError);
  }
}

void TFileHandler::Rename(std::string_view newName) {
  RequireEngine();
  RequireClosed(true);
  const std::string target = NormalizeName(newName);
  int error = 0;
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    error = CurrentFileSession().MemoryFiles.Rename(fileName_, target);
  } else {
    // Never replaces an existing file: a rename onto another table's file would destroy it.
    const std::string to = platform::ToNativeSeparators(target);
    if (::renameat2(AT_FDCWD, NativePath().c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
      error = platform::WindowsErrorFromErrno(errno);
    }
  }
  if (error != 0) {
    StoreOsError(error);
    Raise(ie::kUnknownOsError);
  }
  fileName_ = target;
}

void TFileHandler::CopyTo(std::string_view targetName) {
  RequireEngine();
  if (!isOpen_) Raise(ie::kInvalidHandle);
  TFileHandler target;
  target.SetInMemory(inMemory_);
  target.SetExclusive(true);
  target.SetWriteThrough(writeThrough_);
  target.SetFileName(NormalizeName(targetName));
  target.CreateEmpty();
  Seek(0, 0);
  std::vector<std::uint8_t> piece(kCopyPieceSize);
  std::int32_t n;
  do {
    n = Read(piece.data(), kCopyPieceSize, true);
    if (n > 0) target.Write(piece.data(), n);
  } while (n == kCopyPieceSize);
  target.Close();
}

std::int32_t TFileHandler::Read(void* buffer, std::int32_t count, bool tolerateShortRead) {
  RequireEngine();
  if (!isOpen_) Raise(ie::kInvalidHandle);
  std::int32_t done = 0;
  if (count > 0 && inMemory_) {
    MemoryLock lock(MemoryFileLock());
    memoryFile_->Seek(memoryHandle_, position_, 0);
    done = memoryFile_->Read(memoryHandle_, buffer, count);
  } else {
    // A file that is only opened and read a little is not worth mapping: the first touch of each
    // mapped page costs more than a read, so the mapping comes after the first reads.
    if (mappableLength_ > 0 && ++unmappedReads_ >= kReadsBeforeMapping) {
      mapping_.Map(descriptor_, static_cast<std::uint64_t>(mappableLength_));
      mappableLength_ = 0;
    }
    done = ReadMapped(buffer, count);
    while (done < count) {
      const ssize_t n = ::pread(descriptor_, static_cast<char*>(buffer) + done,
                                static_cast<std::size_t>(count - done), position_ + done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        StoreOsError(platform::WindowsErrorFromErrno(errno));
        Raise(ie::kReadError);
      }
      if (n == 0) break;
      done += static_cast<std::int32_t>(n);
    }
  }
  position_ += done;
  if (done < count && !tolerateShortRead) Raise(ie::kReadError);
  return done;
}

// Copies what the mapping holds of the bytes asked for, once their pages were asked for before;
// the rest (none on a medium that cannot change) is read with system calls. Long reads are the
// read-ahead of a pass through the file, which touches each page once: there the kernel's copy
// from its cache is cheaper than setting up the mapping's page-table entries on first touch
// (measured: 15 ms against 65 ms for 150 MB).
std::int32_t TFileHandler::ReadMapped(void* buffer, std::int32_t count) {
  if (!mapping_.Mapped() || count <= 0 || count > kLongestMappedRead ||
      position_ >= static_cast<std::int64_t>(mapping_.Length()))
    return 0;
  const std::uint64_t available = mapping_.Length() - static_cast<std::uint64_t>(position_);
  const auto n = static_cast<std::int32_t>(std::min<std::uint64_t>(available, count));
  if (!mapping_.Warm(static_cast<std::uint64_t>(position_), static_cast<std::uint64_t>(n)))
    return 0;
  std::memcpy(buffer, mapping_.Bytes(static_cast<std::uint64_t>(position_), n).data(), n);
  if (mapping_.Shrunk()) Raise(ie::kReadError);
  return n;
}

std::span<const std::uint8_t> TFileHandler::MappedBytes(std::int64_t offset,
                                                        std::int32_t count) const {
  if (!isOpen_ || offset < 0 || count < 0) return {};
  return mapping_.Bytes(static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(count));
}

void TFileHandler::Write(const void* buffer, std::int32_t count) {
  RequireEngine();
  if (!isOpen_) Raise(ie::kInvalidHandle);
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    memoryFile_->Seek(memoryHandle_, position_, 0);
    const std::int32_t n = memoryFile_->Write(memoryHandle_, buffer, count);
    if (n < 0) Raise(-n);
    if (n != count) Raise(ie::kWriteError);
    position_ += n;
    return;
  }
  if (count == 0) {
    if (::ftruncate(descriptor_, position_) != 0) RaiseErrno(errno);
    return;
  }
  std::int32_t done = 0;
  while (done < count) {
    const ssize_t n = ::pwrite(descriptor_, static_cast<const char*>(buffer) + done,
                               static_cast<std::size_t>(count - done), position_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) StoreOsError(platform::WindowsErrorFromErrno(errno));
      position_ += done;
      Raise(ie::kWriteError);
    }
    done += static_cast<std::int32_t>(n);
  }
  position_ += done;
}

void TFileHandler::Flush() {
  if (!isOpen_ || inMemory_) return;
  if (::fsync(descriptor_) != 0) RaiseErrno(errno);
}

std::int64_t TFileHandler::Seek(std::int64_t offset, int origin) {
  RequireEngine();
  if (!isOpen_) Raise(ie::kInvalidHandle);
  std::int64_t base = 0;
  if (origin == 1) {
    base = position_;
  } else if (origin == 2) {
    if (inMemory_) {
      MemoryLock lock(MemoryFileLock());
      base = memoryFile_->Size();
    } else {
      struct stat st;
      if (::fstat(descriptor_, &st) != 0) RaiseErrno(errno);
      base = st.st_size;
    }
  }
  if (base + offset < 0) RaiseOsError(platform::kErrorNegativeSeek, fileName_);
  position_ = base + offset;
  return position_;
}

std::int64_t TFileHandler::GetSize() {
  return Seek(0, 2);
}

bool TFileHandler::Exists() const {
  RequireEngine();
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    return CurrentFileSession().MemoryFiles.Exists(fileName_);
  }
  return platform::FileExists(NativePath());
}

bool TFileHandler::LockRegion(std::uint32_t offset, std::uint32_t length) {
  if (!isOpen_ || length == 0) return false;
  if (exclusive_) return true;
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    return memoryFile_->Lock(offset, length);
  }
  const std::uint64_t end = std::uint64_t{offset} + length;
  const bool overlapsHeld =
      std::any_of(heldRanges_.begin(), heldRanges_.end(), [&](const auto& held) {
        return offset < std::uint64_t{held.first} + held.second && held.first < end;
      });
  if (overlapsHeld || !platform::TryLockRange(descriptor_, offset, length, !readOnly_)) {
    return false;
  }
  heldRanges_.emplace_back(offset, length);
  return true;
}

bool TFileHandler::UnlockRegion(std::uint32_t offset, std::uint32_t length) {
  if (!isOpen_) return false;
  if (exclusive_) return true;
  if (inMemory_) {
    MemoryLock lock(MemoryFileLock());
    return memoryFile_->Unlock(offset, length);
  }
  const auto held = std::find(heldRanges_.begin(), heldRanges_.end(), std::pair{offset, length});
  if (held == heldRanges_.end() || !platform::UnlockRange(descriptor_, offset, length)) {
    return false;
  }
  heldRanges_.erase(held);
  return true;
}

}  // namespace katalog
