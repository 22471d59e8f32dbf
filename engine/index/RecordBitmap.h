// TRecordBitmap: one bit per physical record. Record r is bit (r - 1) mod 8, least significant
// first, of byte (r - 1) div 8; a bitmap for n records has n div 8 + 1 bytes. Records beyond the
// size read as clear.
#pragma once

#include <cstdint>
#include <vector>

namespace katalog {

class TRecordBitmap {
 public:
  // Sizes the bitmap for `records` records, keeping the bits of those that remain.
  void Resize(std::int32_t records);
  std::int32_t Records() const { return records_; }

  bool Test(std::int32_t r) const;
  void Set(std::int32_t r);
  void Clear(std::int32_t r);
  void ClearAll();
  void SetAll();
  // Keeps only the bits also set in `other`.
  void And(const TRecordBitmap& other);
  // Adds the bits set in `other` (within this bitmap's records).
  void Or(const TRecordBitmap& other);
  // Clears the bits set in `other`.
  void AndNot(const TRecordBitmap& other);
  void Complement();
  // Set bits among records 1 .. Records().
  std::int32_t Count() const;
  // The lowest set record >= r, or 0; the highest set record <= r, or 0.
  std::int32_t NextSet(std::int32_t r) const;
  std::int32_t PreviousSet(std::int32_t r) const;

 private:
  void ClearTail();

  std::vector<std::uint8_t> bytes_{0};
  std::int32_t records_ = 0;
};

}  // namespace katalog
