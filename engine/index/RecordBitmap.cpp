#include "engine/index/RecordBitmap.h"

#include <algorithm>
#include <bit>

namespace katalog {

void TRecordBitmap::Resize(std::int32_t records) {
  records_ = std::max(records, 0);
  bytes_.resize(static_cast<std::size_t>(records_) / 8 + 1, 0);
  ClearTail();
}

// Bits beyond the last record stay clear, so that counting and complementing see only records.
void TRecordBitmap::ClearTail() {
  const std::int32_t used = records_ % 8;
  bytes_.back() &= static_cast<std::uint8_t>((1u << used) - 1);
  for (std::size_t i = static_cast<std::size_t>(records_) / 8 + 1; i < bytes_.size(); ++i) {
    bytes_[i] = 0;
  }
}

bool TRecordBitmap::Test(std::int32_t r) const {
  if (r < 1 || r > records_) return false;
  return (bytes_[static_cast<std::size_t>(r - 1) / 8] >> ((r - 1) % 8)) & 1;
}

void TRecordBitmap::Set(std::int32_t r) {
  if (r < 1 || r > records_) return;
  bytes_[static_cast<std::size_t>(r - 1) / 8] |= static_cast<std::uint8_t>(1u << ((r - 1) % 8));
}

void TRecordBitmap::Clear(std::int32_t r) {
  if (r < 1 || r > records_) return;
  bytes_[static_cast<std::size_t>(r - 1) / 8] &= static_cast<std::uint8_t>(~(1u << ((r - 1) % 8)));
}

void TRecordBitmap::ClearAll() {
  std::fill(bytes_.begin(), bytes_.end(), 0);
}

void TRecordBitmap::SetAll() {
  std::fill(bytes_.begin(), bytes_.end(), 0xFF);
  ClearTail();
}

void TRecordBitmap::And(const TRecordBitmap& other) {
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    bytes_[i] &= i < other.bytes_.size() ? other.bytes_[i] : 0;
  }
  ClearTail();
}

void TRecordBitmap::Or(const TRecordBitmap& other) {
  for (std::size_t i = 0; i < bytes_.size() && i < other.bytes_.size(); ++i) {
    bytes_[i] |= other.bytes_[i];
  }
  ClearTail();
}

void TRecordBitmap::AndNot(const TRecordBitmap& other) {
  for (std::size_t i = 0; i < bytes_.size() && i < other.bytes_.size(); ++i) {
    bytes_[i] &= static_cast<std::uint8_t>(~other.bytes_[i]);
  }
}

void TRecordBitmap::Complement() {
  for (std::uint8_t& b : bytes_) b = static_cast<std::uint8_t>(~b);
  ClearTail();
}

std::int32_t TRecordBitmap::Count() const {
  std::int32_t n = 0;
  for (std::uint8_t b : bytes_) n += std::popcount(b);
  return n;
}

std::int32_t TRecordBitmap::NextSet(std::int32_t r) const {
  for (r = std::max(r, 1); r <= records_; ++r) {
    const std::uint8_t byte = bytes_[static_cast<std::size_t>(r - 1) / 8];
    if (byte == 0 && (r - 1) % 8 == 0) {
      r += 7;  // skip an empty byte
      continue;
    }
    if (Test(r)) return r;
  }
  return 0;
}

std::int32_t TRecordBitmap::PreviousSet(std::int32_t r) const {
  for (r = std::min(r, records_); r >= 1; --r) {
    const std::uint8_t byte = bytes_[static_cast<std::size_t>(r - 1) / 8];
    if (byte == 0 && r % 8 == 0) {
      r -= 7;
      continue;
    }
    if (Test(r)) return r;
  }
  return 0;
}

}  // namespace katalog
