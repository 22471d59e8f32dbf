// TRunWriter: writes units of one size (index pages, blob blocks) handed to it in ascending
// offset order, each run of consecutive units in one request of at most kRunBytes.
//
// The caller encodes each unit straight into the buffer Add() returns. The buffer is made once,
// at the first unit, for the whole write: a buffer grown one unit at a time copied and cleared the
// bytes of a whole batch again and again, and fresh memory for each write cost a page fault per 4
// KB.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace katalog {

class TRunWriter {
 public:
  // Writes `count` units from `bytes` at `offset`.
  using TWrite = std::function<void(std::int32_t offset, const std::uint8_t* bytes, int count)>;
  static constexpr std::size_t kRunBytes = 256 * 1024;

  // `units`: how many units will be added at most (sizes the buffer).
  TRunWriter(std::int32_t unitSize, std::size_t units, TWrite write);

  // Room for the unit at `offset`, unitSize bytes to be filled; the run so far is written first
  // when the unit does not follow it or the buffer is full.
  std::uint8_t* Add(std::int32_t offset);
  // Writes the last run.
  void Finish();

 private:
  std::int32_t unitSize_;
  std::size_t capacity_;  // units the buffer holds
  TWrite write_;
  std::vector<std::uint8_t> buffer_;
  std::int32_t first_ = 0;
  std::size_t count_ = 0;
};

}  // namespace katalog
