#include "dataset/Stream.h"

#include <algorithm>
#include <cstring>

namespace katalog {

std::int64_t TStream::Size() {
  const std::int64_t position = Position();
  const std::int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

std::string TStream::ReadAll() {
  const std::int64_t size = Size();
  Seek(0, TSeekOrigin::Beginning);
  std::string contents(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
  std::int64_t done = 0;
  while (done < size) {
    const std::int64_t got = Read(contents.data() + done, size - done);
    if (got <= 0) throw EReadError();
    done += got;
  }
  return contents;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(bytes_.size());
  if (count <= 0 || position_ >= size) return 0;
  const std::int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<std::size_t>(position_ + count);
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::Beginning ? 0
                            : origin == TSeekOrigin::Current
                                ? position_
                                : static_cast<std::int64_t>(bytes_.size());
  position_ = std::max<std::int64_t>(0, base + offset);
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  bytes_.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
  position_ = std::min(position_, size);
}

}  // namespace katalog
