#include "engine/storage/MemoryFile.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/storage/ShortString.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  if (a.size() != b.size()) return false;
  const platform::TLocale& locale = platform::UserDefaultLocale();
  return locale.Map(platform::kMapUpperCase, a) == locale.Map(platform::kMapUpperCase, b);
}

// The name's file part (after the last separator) without its extension.
std::string_view BaseName(std::string_view name) {
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return TrimBlanks(name);
}

}  // namespace

int TMemoryFile::OpenHandle(bool exclusive) {
  if (handles_.empty()) exclusiveOpen_ = exclusive;
  int handle = 1;
  while (std::any_of(handles_.begin(), handles_.end(),
                     [handle](const OpenHandleEntry& e) { return e.handle == handle; })) {
    ++handle;
  }
  handles_.push_back({handle, 0});
  return handle;
}

void TMemoryFile::CloseHandle(int handle) {
  std::erase_if(handles_, [handle](const OpenHandleEntry& e) { return e.handle == handle; });
}

TMemoryFile::OpenHandleEntry& TMemoryFile::EntryOf(int handle) {
  auto it = std::find_if(handles_.begin(), handles_.end(),
                         [handle](const OpenHandleEntry& e) { return e.handle == handle; });
  assert(it != handles_.end() && "memory-file handle not open");
  return *it;
}

void TMemoryFile::Reset() {
  data_.reset();
  size_ = 0;
  capacity_ = 0;
}

void TMemoryFile::Resize(std::uint32_t size) {
  const std::uint32_t capacity = static_cast<std::uint32_t>(
      (std::uint64_t{size} + kCapacityUnit - 1) / kCapacityUnit * kCapacityUnit);
  if (capacity == 0) {
    Reset();
    return;
  }
  if (capacity != capacity_) {
    auto data = AllocateZeroedArray<std::uint8_t>(capacity);
    if (data_) std::memcpy(data.get(), data_.get(), std::min(size_, size));
    data_ = std::move(data);
    capacity_ = capacity;
  } else if (size < size_) {
    // Bytes beyond the size stay zero, so a later growth reads zeros there.
    std::memset(data_.get() + size, 0, size_ - size);
  }
  size_ = size;
}

std::int32_t TMemoryFile::Read(int handle, void* buffer, std::int32_t count) {
  OpenHandleEntry& entry = EntryOf(handle);
  if (count <= 0 || entry.position >= size_) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(count, size_ - entry.position));
  std::memcpy(buffer, data_.get() + entry.position, static_cast<std::size_t>(n));
  entry.position += n;
  return n;
}

std::int32_t TMemoryFile::Write(int handle, const void* buffer, std::int32_t count) {
  OpenHandleEntry& entry = EntryOf(handle);
  if (count < 0) return -ie::kInvalidMemoryLength;
  const std::int64_t end = entry.position + count;
  if (end > kMaxSize) return -ie::kInvalidMemoryLength;
  if (count == 0) {
    Resize(static_cast<std::uint32_t>(entry.position));
    return 0;
  }
  if (end > size_) Resize(static_cast<std::uint32_t>(end));
  std::memcpy(data_.get() + entry.position, buffer, static_cast<std::size_t>(count));
  entry.position = end;
  return count;
}

std::int64_t TMemoryFile::Seek(int handle, std::int64_t offset, int origin) {
  OpenHandleEntry& entry = EntryOf(handle);
  const std::int64_t base = origin == 0 ? 0 : origin == 1 ? entry.position : std::int64_t{size_};
  const std::int64_t position = base + offset;
  if (position < 0) return -1;
  entry.position = position;
  return position;
}

bool TMemoryFile::Lock(std::uint32_t start, std::uint32_t length) {
  if (length == 0) return false;
  const std::uint64_t newEnd = std::uint64_t{start} + length;  // one past the new range
  for (const LockedRange& r : locks_) {
    if (start >= r.start && start <= r.end) return false;
    if (r.start >= start && r.start < newEnd) return false;
  }
  locks_.push_back({start, static_cast<std::uint32_t>(newEnd - 1), length});
  return true;
}

bool TMemoryFile::Unlock(std::uint32_t start, std::uint32_t length) {
  auto it = std::find_if(locks_.begin(), locks_.end(), [&](const LockedRange& r) {
    return r.start == start && r.length == length;
  });
  if (it == locks_.end()) return false;
  locks_.erase(it);
  return true;
}

int TMemoryFileList::IndexOf(std::string_view name) const {
  for (int i = 0; i < files_.Count(); ++i) {
    if (SameName(files_[i]->Name(), name)) return i;
  }
  return -1;
}

TMemoryFile* TMemoryFileList::Find(std::string_view name) {
  const int i = IndexOf(name);
  return i < 0 ? nullptr : files_[i].get();
}

int TMemoryFileList::Create(std::string_view name, TMemoryFile** file) {
  if (BaseName(name).empty()) return -ie::kInvalidPath;
  TMemoryFile* found = Find(name);
  if (found) {
    if (found->OpenCount() >= 1) return -ie::kAccessDenied;
    found->Reset();
  } else {
    files_.Add(std::make_unique<TMemoryFile>(std::string(TrimBlanks(name))));
    found = files_[files_.Count() - 1].get();
  }
  *file = found;
  return found->OpenHandle(true);
}

int TMemoryFileList::Open(std::string_view name, bool exclusive, TMemoryFile** file) {
  TMemoryFile* found = Find(name);
  if (!found) return -ie::kInvalidPath;
  if (found->OpenCount() >= 1 && (found->ExclusiveOpen() || exclusive)) return -ie::kAccessDenied;
  *file = found;
  return found->OpenHandle(exclusive);
}

int TMemoryFileList::Rename(std::string_view name, std::string_view newName) {
  TMemoryFile* found = Find(name);
  if (!found) return platform::kErrorFileNotFound;
  if (found->OpenCount() > 0) return platform::kErrorSharingViolation;
  // A second file of the new name would make the names ambiguous.
  if (TMemoryFile* other = Find(newName); other && other != found) {
    return platform::kErrorFileExists;
  }
  found->SetName(std::string(TrimBlanks(newName)));
  return 0;
}

bool TMemoryFileList::Delete(std::string_view name) {
  const int i = IndexOf(name);
  if (i < 0 || files_[i]->OpenCount() > 0) return false;
  files_.Delete(i);
  return true;
}

}  // namespace katalog
