#include "engine/index/BlobFile.h"

#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/storage/TableFileNames.h"
#include "platform/ByteOrder.h"

namespace katalog {

TBlobFileHeader DecodeBlobFileHeader(const std::uint8_t* b) {
  TBlobFileHeader h;
  h.ChangeCounter = LoadI32(b);
  h.FormatVersion = b[8];
  h.FreeBlockHead = LoadI32(b + 9);
  h.EndOfFile = LoadI32(b + 13);
  h.HeaderModified = 0;  // the writer's flag means nothing to a reader
  return h;
}

void EncodeBlobFileHeader(const TBlobFileHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kBlobHeaderSize);
  StoreI32(b, h.ChangeCounter);
  b[8] = h.FormatVersion;
  StoreI32(b + 9, h.FreeBlockHead);
  StoreI32(b + 13, h.EndOfFile);
  b[17] = h.HeaderModified;
}

std::string TBlobFile::NormalizeName(std::string_view name) const {
  return WithExtension(name, ".BLB");
}

void TBlobFile::EncodeHeader(std::uint8_t* bytes, bool modified) const {
  TBlobFileHeader written = header_;
  written.HeaderModified = modified ? 1 : 0;
  EncodeBlobFileHeader(written, bytes);
}

void TBlobFile::CheckHeader() const {
  if (header_.FormatVersion != kBlobFormatVersion) Raise(ie::kWrongVersion);
}

}  // namespace katalog
