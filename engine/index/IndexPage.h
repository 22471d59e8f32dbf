// The page codec of the index file: turns one 4096-byte page of an index tree into a TPageImage
// (header fields, a flat key array, per-entry values and subtree counts) and back.
//
// Page layout (all integers little-endian):
//
// | Offset | Size | Field                                                                   |
// |--------|------|-------------------------------------------------------------------------|
// | 0      | 1    | type: 0 root node, 1 inner node, 2 leaf, 3 root leaf                    |
// | 1      | 2    | number of entries (0 for a page on its index's free list)               |
// | 3      | 4    | previous page on the same level (page offset, 0 at the left end)        |
// | 7      | 4    | next page on the same level; on the free list: the next free page       |
// | 11     | 2    | used bytes: sum of the entry sizes in compressed leaves, else 0         |
// | 13     | 4083 | entries, packed; the bytes after the last entry are written as zeros    |
//
// Node entry (types 0 and 1), never compressed, key length + 8 bytes:
//
// | Offset     | Size       | Field                                          |
// |------------|------------|------------------------------------------------|
// | 0          | key length | lowest key of the child subtree                |
// | key length | 4          | child page offset                              |
// | +4         | 4          | number of leaf entries in the child subtree    |
//
// Leaf entries (types 2 and 3) depend on the index's key compression; see IndexPage.cpp for the
// four entry layouts. The "stored key" is the whole key, except in a non-unique secondary index
// (TPageFormat::HasSuffix), whose last 4 key bytes are the record identifier suffix and are kept
// apart from the trailing-zero compression.
//
// Decoding never reads outside the 4096 bytes it is given, never allocates more than the page can
// describe, and answers any inconsistency with false (the caller raises the engine's index-buffer
// corruption error). Decoding is lenient about two things only: the bytes after the last entry
// are not examined, and the used-bytes field is checked only for compressed leaves that hold
// entries (nodes, uncompressed leaves and emptied free-list pages may carry any value there).
//
// Capacity: a page "fits" when its entry bytes total at most 4083. For nodes and uncompressed
// leaves this admits a few more entries than NodeCapacity / UncompressedLeafCapacity, which are
// the entry limits the tree's split and merge policy uses; the codec itself accepts and writes
// any count whose bytes fit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/IndexFileHeader.h"

namespace katalog {

inline constexpr int kPageSize = 4096;
inline constexpr int kPageHeaderSize = 13;
inline constexpr int kPageDataSize = 4083;

inline constexpr int kKeySuffixSize = 4;

enum TPageType : std::uint8_t { ptRootNode = 0, ptInnerNode = 1, ptLeaf = 2, ptRootLeaf = 3 };
enum TKeyCompression : std::uint8_t { kcNone = 0, kcLeading = 1, kcTrailing = 2, kcFull = 3 };

// How the entries of one index's pages are laid out.
struct TPageFormat {
  std::uint16_t KeyLength;  // 1..1036 (at least 5 with a suffix)
  TKeyCompression Compression;
  bool HasSuffix;  // non-unique secondary index: the last 4 key bytes are the record identifier
};

// Whether a format describes pages this codec can handle (key length in range, known
// compression, room for the suffix). Formats come from index descriptors read from disk.
bool IsValidPageFormat(const TPageFormat& format);

// A decoded page: entries as one flat key array (Count() × key length bytes) and per entry a value
// (child page offset in nodes, record number in leaves) and, in nodes, the subtree count.
// Invariant kept by the helpers: Keys.size() == Count() × key length, and in nodes
// Counts.size() == Count(); leaves keep Counts empty.
struct TPageImage {
  TPageType Type = ptRootLeaf;
  std::int32_t Previous = 0, Next = 0;
  std::vector<std::uint8_t> Keys;
  std::vector<std::int32_t> Values;
  std::vector<std::int32_t> Counts;  // nodes only

  int Count() const { return static_cast<int>(Values.size()); }
  bool IsLeaf() const { return Type == ptLeaf || Type == ptRootLeaf; }
  const std::uint8_t* Key(int i, std::uint16_t keyLength) const;
  std::uint8_t* Key(int i, std::uint16_t keyLength);

  // Inserts an entry before entry `i` (0 <= i <= Count()); `count` is kept only in nodes.
  void Insert(int i, const std::uint8_t* key, std::uint16_t keyLength, std::int32_t value,
              std::int32_t count = 0);
  // Removes entry `i` (0 <= i < Count()).
  void Erase(int i, std::uint16_t keyLength);
  // Drops all entries; type and links stay.
  void Clear();

  bool operator==(const TPageImage&) const = default;
};

// Decodes 4096 bytes; false when the format is invalid or the page is damaged (unknown type,
// count beyond what fits, a compressed entry running past the page, a leading count larger than
// the key or on the first entry, a trailing count larger than allowed, used bytes that disagree
// with the entries). On false the image holds no entries.
bool DecodePage(const std::uint8_t* page, const TPageFormat& format, TPageImage& image);

// Encodes into 4096 bytes (unused bytes zero); false, with `page` untouched, when the format or
// the image is malformed or the entries do not fit.
bool EncodePage(const TPageImage& image, const TPageFormat& format, std::uint8_t* page);

// Bytes one leaf entry takes after `previous` (nullptr for the first entry of a page).
int LeafEntrySize(const TPageFormat& format, const std::uint8_t* previous, const std::uint8_t* key);
// Bytes all entries of a leaf image take (for compressed leaves the used-bytes value).
int LeafUsedBytes(const TPageImage& image, const TPageFormat& format);
// Whether the image's entries fit in one page of this format (at most 4083 entry bytes).
bool Fits(const TPageImage& image, const TPageFormat& format);

// Entry limits of the split and merge policy.
int NodeCapacity(std::uint16_t keyLength);              // 4083 / (keyLength + 10)
int UncompressedLeafCapacity(std::uint16_t keyLength);  // 4083 / (keyLength + 6)

}  // namespace katalog
