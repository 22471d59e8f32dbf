// TBlobFile: a table's blob file (".BLB"), a 512-byte header followed by blocks of the table's
// blob block size. Owned by the table's data file, which opens it with its own settings when the
// table has blob fields. Opening checks the version (12035).
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
#include <string>

#include "engine/index/HeaderFile.h"

namespace katalog {

inline constexpr int kBlobHeaderSize = 512;
inline constexpr std::uint8_t kBlobFormatVersion = 3;
inline constexpr std::uint32_t kDefaultBlobBlockSize = 512;

struct TBlobFileHeader {
  std::int32_t ChangeCounter = 0;
  std::uint8_t FormatVersion = kBlobFormatVersion;
  std::int32_t FreeBlockHead = 0;
  std::int32_t EndOfFile = kBlobHeaderSize;
  std::uint8_t HeaderModified = 0;
};

TBlobFileHeader DecodeBlobFileHeader(const std::uint8_t* bytes);
void EncodeBlobFileHeader(const TBlobFileHeader& header, std::uint8_t* bytes);

class TBlobFile : public THeaderFile {
 public:
  explicit TBlobFile(TFileHandler* owner = nullptr) : THeaderFile(owner, kBlobHeaderSize) {}

  std::string NormalizeName(std::string_view name) const override;

  // The block size B (the data file's BlobBlockSize, 0 meaning 512).
  void SetBlockSize(std::uint32_t size) { blockSize_ = size == 0 ? kDefaultBlobBlockSize : size; }
  std::uint32_t BlockSize() const { return blockSize_; }
  const TBlobFileHeader& Header() const { return header_; }

 protected:
  void DecodeHeader(const std::uint8_t* bytes) override { header_ = DecodeBlobFileHeader(bytes); }
  void EncodeHeader(std::uint8_t* bytes, bool modified) const override;
  std::int32_t& ChangeCounter() override { return header_.ChangeCounter; }
  void ResetHeader() override { header_ = TBlobFileHeader{}; }
  void CheckHeader() const override;

 private:
  TBlobFileHeader header_;
  std::uint32_t blockSize_ = kDefaultBlobBlockSize;
};

}  // namespace katalog
