// A block of the blob file: an 18-byte block header and B - 18 data bytes. A blob is a doubly
// linked chain of blocks that carry the owning record's number; the first block also carries the
// blob's total length. Free blocks form a list through their next fields.
//
//   offset size    field
//        0    4    previous block of the chain (0 for the first)
//        4    4    next block of the chain (0 for the last); in a free block the next free one
//        8    2    data bytes used in this block
//       10    4    physical record number of the record that owns the blob
//       14    4    total length of the blob (in the first block; 0 in the others)
//       18    B-18 data
//
// An enciphered table enciphers the block header and the data part as two separate streams.
#pragma once

#include <cstdint>
#include <vector>

namespace katalog {

inline constexpr int kBlockHeaderSize = 18;

struct TBlock {
  std::int32_t Offset = 0;  // 0: an unused buffer
  bool Modified = false;
  bool Marked = false;  // in the run a multi-block read is filling
  std::uint16_t Pins = 0;
  std::uint64_t UndoMark = 0;  // the change that recorded it last (engine/storage/UndoLog.h)
  std::int32_t Previous = 0;
  std::int32_t Next = 0;
  std::uint16_t Used = 0;
  std::int32_t Record = 0;
  std::int32_t Total = 0;
  std::vector<std::uint8_t> Data;  // B - 18 bytes
};

// Decodes (and with `encrypted` deciphers) one block of `blockSize` bytes into the buffer.
void DecodeBlock(std::uint8_t* bytes, std::uint32_t blockSize, bool encrypted, TBlock& block);
// Encodes (and enciphers) the block into `blockSize` bytes.
void EncodeBlock(const TBlock& block, std::uint32_t blockSize, bool encrypted, std::uint8_t* bytes);

}  // namespace katalog
