#include "engine/storage/RunWriter.h"

#include <algorithm>

namespace katalog {

TRunWriter::TRunWriter(std::int32_t unitSize, std::size_t units, TWrite write)
    : unitSize_(unitSize),
      capacity_(std::clamp<std::size_t>(kRunBytes / static_cast<std::size_t>(unitSize), 1,
                                        std::max<std::size_t>(units, 1))),
      write_(std::move(write)) {}

std::uint8_t* TRunWriter::Add(std::int32_t offset) {
  const bool follows =
      count_ > 0 && offset == first_ + static_cast<std::int32_t>(count_) * unitSize_;
  if (count_ > 0 && (!follows || count_ == capacity_)) Finish();
  if (buffer_.empty()) buffer_.resize(capacity_ * static_cast<std::size_t>(unitSize_));
  if (count_ == 0) first_ = offset;
  return buffer_.data() + count_++ * static_cast<std::size_t>(unitSize_);
}

void TRunWriter::Finish() {
  if (count_ == 0) return;
  const int count = static_cast<int>(count_);
  count_ = 0;
  write_(first_, buffer_.data(), count);
}

}  // namespace katalog
