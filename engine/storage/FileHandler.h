// TFileHandler: one physical file of a table, on disk or in the current file session's memory
// files, with the engine's byte-range locks. The data, index and blob files derive from it.
//
// Settings (InMemory, Exclusive, ReadOnly, FileName) change only while the file is closed
// (kFileInUse otherwise); WriteThrough requested while open is ignored. Every failure raises an
// engine error naming FileName(). Every operation but Close, Flush and the locks needs the engine
// started (kNotInitialized otherwise). Disk files: the handler owns its descriptor, whose open-file
// locks are its own (another handler on the same file, even in this process, is excluded by them).
// An exclusive open allows no other open of the file; a shared one allows shared opens only.
// Memory files: the session's TMemoryFileList owns the file; the handler holds one open handle
// of it, and the session must outlive the open handler.
//
// A disk file that nobody can write (ReadOnlyMedia) is mapped into memory after its first reads,
// as long as it was at open: short reads copy from the mapping and MappedBytes hands out its bytes
// in place. Such a file cannot change, so nothing read from it is ever stale; one that is cut all
// the same reads as unreadable (kReadError) instead of ending the program.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/MappedFile.h"

namespace katalog {

class TMemoryFile;

class TFileHandler {
 public:
  // Length of one copy step of CopyTo.
  static constexpr std::int32_t kCopyPieceSize = 65535;
  // Reads up to this length copy from a mapped file; longer ones use system calls (ReadMapped).
  static constexpr std::int32_t kLongestMappedRead = 8192;
  // A file nobody can write is mapped once this many reads were made of it.
  static constexpr int kReadsBeforeMapping = 64;

  explicit TFileHandler(TFileHandler* owner = nullptr) : owner_(owner) {}
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  TFileHandler* Owner() const { return owner_; }
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool value);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  const std::string& FileName() const { return fileName_; }
  // The name goes through NormalizeName first.
  void SetFileName(std::string_view name);
  bool WriteThrough() const { return writeThrough_; }
  void SetWriteThrough(bool value);
  // Set by Open when the disk file carries the read-only attribute.
  bool ReadOnlyMedia() const { return readOnlyMedia_; }
  bool IsOpen() const { return isOpen_; }
  // The descriptor or memory-file handle number; 0 when closed.
  std::int32_t Handle() const;
  TMemoryFile* MemoryFile() const { return memoryFile_; }

  // Turns a given name into this kind of file's name; the base keeps it.
  virtual std::string NormalizeName(std::string_view name) const;
  virtual void Open();
  virtual void Close();
  // Creates the file empty (replacing one of the same name) and opens it; needs Exclusive.
  virtual void CreateEmpty();
  virtual void Delete();
  virtual void Rename(std::string_view newName);
  // Copies the whole open file to a new file of the (normalised) target name.
  virtual void CopyTo(std::string_view targetName);
  // Reads at the current position; fewer bytes than asked is error kReadError unless tolerated.
  virtual std::int32_t Read(void* buffer, std::int32_t count, bool tolerateShortRead = false);
  // Writes at the current position; count 0 cuts the file there.
  virtual void Write(const void* buffer, std::int32_t count);
  virtual void Flush();
  // The file's bytes [offset, offset + count) in the mapping, without a copy; empty when the file
  // is not mapped or the bytes lie beyond the mapped length. Valid while the file stays open.
  std::span<const std::uint8_t> MappedBytes(std::int64_t offset, std::int32_t count) const;
  bool Mapped() const { return mapping_.Mapped(); }

  // Origin 0 from the start, 1 from the current position, 2 from the end; returns the position.
  std::int64_t Seek(std::int64_t offset, int origin);
  // The file's length; leaves the position at the end.
  std::int64_t GetSize();
  bool Exists() const;

  // Takes or releases a byte range without waiting. An exclusively opened file has nobody to
  // exclude: both succeed without touching the file. A range overlapping one this handler
  // holds is refused, and only a range held exactly can be released.
  bool LockRegion(std::uint32_t offset, std::uint32_t length);
  bool UnlockRegion(std::uint32_t offset, std::uint32_t length);

 protected:
  [[noreturn]] void Raise(int code) const;
  [[noreturn]] void RaiseErrno(int errnoValue) const;

 private:
  void RequireClosed(bool changes) const;
  std::string NativePath() const;
  void OpenDisk();
  void OpenMemory();
  void CloseHandle() noexcept;
  std::int32_t ReadMapped(void* buffer, std::int32_t count);

  TFileHandler* owner_;
  bool inMemory_ = false;
  TMemoryFile* memoryFile_ = nullptr;
  std::string fileName_;
  int descriptor_ = -1;
  platform::TMappedFile mapping_;
  std::int64_t mappableLength_ = 0;  // the length to map, until mapped; 0 for no mapping
  int unmappedReads_ = 0;
  int memoryHandle_ = 0;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool readOnlyMedia_ = false;
  bool isOpen_ = false;
  bool writeThrough_ = false;
  std::int64_t position_ = 0;
  // Disk ranges this handler holds, as (offset, length).
  std::vector<std::pair<std::uint32_t, std::uint32_t>> heldRanges_;
};

}  // namespace katalog
