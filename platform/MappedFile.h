// TMappedFile: a read-only mapping of a whole file that nobody can write, so that reading a slot,
// a page or a blob block is a copy from memory instead of a system call.
//
// A mapping is made only of a file that cannot change: no write permission for anyone, or a
// read-only mount. Its length is taken at the moment of mapping and never read past. Should the
// file still be cut while mapped (its owner gives the permission back and shortens it), touching
// the missing pages would raise SIGBUS and end the program; instead a handler installed with the
// first mapping puts zero-filled memory over the missing page and marks the mapping Shrunk(). A
// read that was under way completes with zeros; the reader checks Shrunk() after copying and
// reports the file as unreadable. Signals at addresses outside every mapping go on to the handler
// that was there before.
//
// Owns the mapping; at most kMaxMappings mappings exist at once in the process (Map refuses
// further ones, and the file is then read with system calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace katalog::platform {

class TMappedFile {
 public:
  static constexpr int kMaxMappings = 1024;

  TMappedFile() = default;
  ~TMappedFile() { Unmap(); }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  // Maps the first `length` bytes of the open descriptor; false (nothing mapped) when the length
  // is 0, the system refuses or every registration slot is taken.
  bool Map(int fd, std::uint64_t length);
  void Unmap() noexcept;

  bool Mapped() const { return data_ != nullptr; }
  std::uint64_t Length() const { return length_; }
  // The mapped bytes [offset, offset + count), or an empty span when they are not all mapped.
  std::span<const std::uint8_t> Bytes(std::uint64_t offset, std::uint64_t count) const {
    if (!data_ || offset > length_ || count > length_ - offset) return {};
    return {data_ + offset, static_cast<std::size_t>(count)};
  }
  // Part of the mapping was found cut from the file since it was made.
  bool Shrunk() const;
  // Whether every page of the bytes [offset, offset + count) was asked for before; marks them
  // asked. The first touch of a mapped page costs a page fault, measured at five times a read
  // with a system call: a page read once is better read so, one read again is worth the fault.
  bool Warm(std::uint64_t offset, std::uint64_t count);

 private:
  static constexpr std::uint64_t kPageBytes = 4096;
  const std::uint8_t* data_ = nullptr;
  std::uint64_t length_ = 0;
  int slot_ = -1;
  std::vector<std::uint64_t> asked_;  // a bit per page: asked for before
};

}  // namespace katalog::platform
