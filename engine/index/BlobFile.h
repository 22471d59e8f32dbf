// TBlobFile: a table's blob file (".BLB"), a 512-byte header followed by blocks of the table's
// blob block size. Owned by the table's data file, which opens it with its own settings when the
// table has blob fields. Opening checks the version (kWrongVersion).
//
// Up to 64 blobs are open at a time, each held whole in memory (TBlobBuffer) from open to close;
// a record refers to an open blob by its handle, a positive number that stays the same while
// the blob is open. Saving writes a modified blob over its chain, growing or shortening it.
// Chains are checked as they are followed: a block of another record, a next pointer outside the
// file or a cycle is error kBlobBuffersCorrupt, before anything is released.
//
//   header offset size  field
//               0    4  change counter, +1 on every header write
//               4    4  reserved, zero
//               8    1  format version, must be 3
//               9    4  head of the free-block list, 0 = empty
//              13    4  end-of-file block offset: where the next block is appended (512 when new)
//              17    1  header-modified flag of the writer, reset to 0 on reading
//              18  494  reserved, zero
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/index/BlockCache.h"
#include "engine/index/HeaderFile.h"

namespace katalog {

inline constexpr int kBlobHeaderSize = 512;
inline constexpr std::uint8_t kBlobFormatVersion = 3;
inline constexpr std::uint32_t kDefaultBlobBlockSize = 512;
// Block sizes are multiples of 512 up to this.
inline constexpr std::uint32_t kMaxBlobBlockSize = 32768;

struct TBlobFileHeader {
  std::int32_t ChangeCounter = 0;
  std::uint8_t FormatVersion = kBlobFormatVersion;
  std::int32_t FreeBlockHead = 0;
  std::int32_t EndOfFile = kBlobHeaderSize;
  std::uint8_t HeaderModified = 0;
};

TBlobFileHeader DecodeBlobFileHeader(const std::uint8_t* bytes);
void EncodeBlobFileHeader(const TBlobFileHeader& header, std::uint8_t* bytes);

inline constexpr int kMaxOpenBlobs = 64;

// One open blob, whole in memory.
struct TBlobBuffer {
  bool Modified = false;
  std::int32_t Record = 0;
  std::uint16_t Field = 0;
  std::int32_t FirstBlock = 0;
  std::vector<std::uint8_t> Data;
};

class TBlobFile : public THeaderFile {
 public:
  explicit TBlobFile(TFileHandler* owner = nullptr) : THeaderFile(owner, kBlobHeaderSize) {}

  std::string NormalizeName(std::string_view name) const override;
  void Open() override;
  void Close() override;

  // The block size B (the data file's BlobBlockSize, 0 meaning 512).
  void SetBlockSize(std::uint32_t size) { blockSize_ = size == 0 ? kDefaultBlobBlockSize : size; }
  std::uint32_t BlockSize() const { return blockSize_; }
  const TBlobFileHeader& Header() const { return header_; }
  TBlobFileHeader& MutableHeader() {
    MarkHeaderModified();
    return header_;
  }
  TBlockCache& Blocks() { return blocks_; }

  // Open blobs. Results: 0, kTooManyBlobs (64 open), kInvalidBlobHandle (no such handle),
  // kEndOfBlob (a read past the end).
  [[nodiscard]] int OpenBlob(std::int32_t firstBlock, std::int32_t record, std::uint16_t field,
                             std::int32_t& handle);
  // Closes the blob; `firstBlock` receives its first block.
  [[nodiscard]] int CloseBlob(std::int32_t handle, std::int32_t& firstBlock);
  [[nodiscard]] int ReadBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                             std::uint8_t* to, std::int32_t& copied);
  [[nodiscard]] int WriteBlob(std::int32_t handle, std::int32_t offset, std::int32_t count,
                              const std::uint8_t* from);
  [[nodiscard]] int SetBlobLength(std::int32_t handle, std::int32_t length);
  [[nodiscard]] int GetBlobLength(std::int32_t handle, std::int32_t& length) const;
  bool IsBlobOpen(std::int32_t handle) const { return open_.count(handle) != 0; }
  const TBlobBuffer* Buffer(std::int32_t handle) const;
  int OpenCount() const { return static_cast<int>(open_.size()); }
  // What a change of the table alters besides blocks: the header, its modified mark, and where
  // each open blob belongs; kept so that a refused change can be taken back.
  struct TOpenPlace {
    std::int32_t Handle, Record, FirstBlock;
    bool Modified;
  };
  struct TChangeState {
    TBlobFileHeader Header;
    bool Modified;
    std::vector<TOpenPlace> Open;
  };
  TChangeState SaveChangeState() const;
  void RestoreChangeState(const TChangeState& state);

  // Gives every open blob the record number (a new record got its slot).
  void AssignRecordNumber(std::int32_t record);
  // Writes every modified open blob; they must all belong to one record (kBlobBuffersCorrupt).
  void SaveAll();
  // Forgets every open blob without writing.
  void FreeAll() { open_.clear(); }
  // The contents of the chain from `firstBlock` (not 0) of record `record`, read into `data`;
  // kBlobBuffersCorrupt or kEndOfBlob for a damaged chain. Opening a blob reads it so.
  void ReadChain(std::int32_t firstBlock, std::int32_t record, std::vector<std::uint8_t>& data);
  // Releases the chain from `firstBlock` of record `record` onto the free list.
  void ReleaseChain(std::int32_t firstBlock, std::int32_t record);
  // The blocks of the chain in order; kBlobBuffersCorrupt for a block of another record, a pointer
  // outside the file or a cycle.
  std::vector<std::int32_t> CheckChain(std::int32_t firstBlock, std::int32_t record);

  // Block I/O for the cache: `count` blocks at `offset`, raw (enciphered as on disk). Reading
  // returns the whole blocks read; a short read is kReadError unless tolerated.
  std::int32_t ReadBlocks(std::int32_t offset, std::uint8_t* bytes, std::int32_t count,
                          bool tolerateShortRead);
  void WriteBlocks(std::int32_t offset, const std::uint8_t* bytes, std::int32_t count);

 protected:
  void DecodeHeader(const std::uint8_t* bytes) override { header_ = DecodeBlobFileHeader(bytes); }
  void EncodeHeader(std::uint8_t* bytes, bool modified) const override;
  std::int32_t& ChangeCounter() override { return header_.ChangeCounter; }
  void ResetHeader() override { header_ = TBlobFileHeader{}; }
  void CheckHeader() const override;

 private:
  std::int32_t DataPerBlock() const {
    return static_cast<std::int32_t>(blockSize_) - kBlockHeaderSize;
  }
  std::int32_t BlocksFor(std::int32_t bytes) const;
  void CheckNext(std::int32_t next) const;
  struct TChainBlock;
  void FetchChainBlock(std::int32_t offset, std::int32_t readAhead, TChainBlock& block);
  // The block at `offset` in the read-ahead window of a mapped file, reading the longest
  // read-ahead from there when the window does not hold it; nullptr when nothing can be read.
  const std::uint8_t* WindowBlock(std::int32_t offset);
  bool InWindow(std::int32_t offset) const {
    return offset >= windowStart_ &&
           offset < windowStart_ + windowBlocks_ * static_cast<std::int32_t>(blockSize_);
  }
  void SaveBlob(TBlobBuffer& blob);
  TBlobBuffer* Find(std::int32_t handle);

  TBlobFileHeader header_;
  std::uint32_t blockSize_ = kDefaultBlobBlockSize;
  TBlockCache blocks_{*this};
  std::map<std::int32_t, TBlobBuffer> open_;
  std::int32_t nextHandle_ = 1;
  // The offset just past the last block of the chain read last: a chain that starts there is
  // read as part of a pass through the file.
  std::int32_t lastChainEnd_ = 0;
  // The blocks the chain being read has passed, kept between reads to spare an allocation.
  std::vector<std::int32_t> chainVisits_;
  // Blocks read ahead from a mapped file, from windowStart_ on.
  std::vector<std::uint8_t> window_;
  std::int32_t windowStart_ = 0;
  std::int32_t windowBlocks_ = 0;
};

}  // namespace katalog
