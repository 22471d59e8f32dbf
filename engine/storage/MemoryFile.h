// In-memory files: TMemoryFile holds one file's bytes, byte-range locks and open handles;
// TMemoryFileList, one per file session, holds the memory files by name and owns them.
//
// Names compare after trimming blanks and without regard to letter case. The caller holds
// MemoryFileLock() around every call (the file handler does), so the objects need no lock of
// their own. Operations report failures as negative engine codes (-kInvalidPath, -kAccessDenied,
// ...).
//
// Invariants of TMemoryFile: Size() <= Capacity(); Capacity() is Size() rounded up to a multiple
// of 65 535 (0 when empty); OpenCount() equals the number of open handles; handle numbers are
// positive and distinct among the file's open handles.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/SystemList.h"

namespace katalog {

class TMemoryFile {
 public:
  static constexpr std::uint32_t kCapacityUnit = 65535;
  // Sizes stay within the 32-bit signed positions of the file interface.
  static constexpr std::int64_t kMaxSize = 0x7FFFFFFF;

  explicit TMemoryFile(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  std::uint32_t Size() const { return size_; }
  std::uint32_t Capacity() const { return capacity_; }
  int OpenCount() const { return static_cast<int>(handles_.size()); }
  bool ExclusiveOpen() const { return exclusiveOpen_; }

  // Opens a handle (position 0) and returns its number.
  [[nodiscard]] int OpenHandle(bool exclusive);
  void CloseHandle(int handle);
  // Empties the file and frees its storage.
  void Reset();

  // Reads up to count bytes at the handle's position; returns the number read.
  std::int32_t Read(int handle, void* buffer, std::int32_t count);
  // Writes count bytes at the handle's position; count 0 cuts the file there. Returns the number
  // written, or -kInvalidMemoryLength when the file would outgrow kMaxSize.
  std::int32_t Write(int handle, const void* buffer, std::int32_t count);
  // Moves the handle's position (origin 0 start, 1 current, 2 end); returns the new position, or
  // -1 for a position before the start.
  std::int64_t Seek(int handle, std::int64_t offset, int origin);

  // Byte-range locks of the file, shared by all its handles.
  bool Lock(std::uint32_t start, std::uint32_t length);
  bool Unlock(std::uint32_t start, std::uint32_t length);

 private:
  struct LockedRange {
    std::uint32_t start;
    std::uint32_t end;  // start + length - 1
    std::uint32_t length;
  };
  struct OpenHandleEntry {
    int handle;
    std::int64_t position;
  };

  OpenHandleEntry& EntryOf(int handle);
  void Resize(std::uint32_t size);

  bool exclusiveOpen_ = false;
  std::string name_;
  std::uint32_t size_ = 0;
  std::unique_ptr<std::uint8_t[]> data_;
  std::uint32_t capacity_ = 0;
  std::vector<LockedRange> locks_;
  std::vector<OpenHandleEntry> handles_;
};

class TMemoryFileList {
 public:
  TMemoryFileList() = default;
  TMemoryFileList(const TMemoryFileList&) = delete;
  TMemoryFileList& operator=(const TMemoryFileList&) = delete;

  // Creates (or empties) the named file and opens it exclusively. Returns the handle and sets
  // *file, or returns -kInvalidPath for a name without a file part, -kAccessDenied when the file is
  // open.
  [[nodiscard]] int Create(std::string_view name, TMemoryFile** file);
  // Opens the named file; -kInvalidPath when missing, -kAccessDenied when the open would conflict.
  [[nodiscard]] int Open(std::string_view name, bool exclusive, TMemoryFile** file);
  TMemoryFile* Find(std::string_view name);
  bool Exists(std::string_view name) { return Find(name) != nullptr; }
  // Renames a file that is not open; returns 0, or the Windows error number of the failure
  // (2 missing, 32 open, 80 another file has the new name).
  [[nodiscard]] int Rename(std::string_view name, std::string_view newName);
  // Destroys a file that is not open; false when it is open or missing.
  bool Delete(std::string_view name);
  int Count() const { return files_.Count(); }

 private:
  int IndexOf(std::string_view name) const;

  TSystemList<std::unique_ptr<TMemoryFile>> files_;
};

}  // namespace katalog
