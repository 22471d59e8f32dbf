#include "engine/index/IndexFile.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/index/IndexPage.h"
#include "engine/index/Keys.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/IsamError.h"
#include "engine/storage/TableFileNames.h"

namespace katalog {
namespace {

// Pages are appended only while the end of the file lies below this.
constexpr std::int32_t kMaxIndexFileOffset = 2000000000;

}  // namespace

std::string TIndexFile::NormalizeName(std::string_view name) const {
  return WithExtension(name, ".IDX");
}

void TIndexFile::DecodeHeader(const std::uint8_t* bytes) {
  header_ = DecodeIndexFileHeader(bytes);
}

void TIndexFile::EncodeHeader(std::uint8_t* bytes, bool modified) const {
  TIndexFileHeader written = header_;
  written.HeaderModified = modified ? 1 : 0;
  EncodeIndexFileHeader(written, bytes);
}

// The descriptors of the indexes in use must describe keys this table can build.
void TIndexFile::CheckHeader() const {
  if (header_.FormatVersion != kIndexFormatVersion) Raise(ie::kWrongVersion);
  if (header_.SecondaryCount > kMaxSecondaryIndexes || header_.EndOfFile < kIndexHeaderSize) {
    Raise(ie::kHeaderCorrupt);
  }
  const TIndexDescriptor& deleted = header_.Indexes[kDeletedSlot];
  if (deleted.KeyLength != kDeletedKeyLength) Raise(ie::kHeaderCorrupt);
  const int fieldCount = fields_ ? static_cast<int>(fields_->size()) : 0;
  for (int slot = NoPrimaryIndex() ? 1 : 0; slot <= header_.SecondaryCount; ++slot) {
    const TIndexDescriptor& index = header_.Indexes[slot];
    if (index.FieldCount < 1 || index.FieldCount > kMaxIndexFields || index.Compression > 3 ||
        index.KeyLength > kMaxKeyLength) {
      Raise(ie::kHeaderCorrupt);
    }
    std::vector<const TFieldDescriptor*> keyFields;
    for (int i = 0; i < index.FieldCount; ++i) {
      const int number = index.FieldNumbers[i];
      if (number < 1 || number > fieldCount) Raise(ie::kHeaderCorrupt);
      keyFields.push_back(&(*fields_)[number - 1]);
    }
    const bool suffix = slot != kPrimarySlot && !index.Unique;
    if (KeyLengthOf(keyFields, suffix) != index.KeyLength) Raise(ie::kHeaderCorrupt);
  }
}

void TIndexFile::IncrementRecordCount() {
  ++header_.ActiveRecords;
  MarkHeaderModified();
}

void TIndexFile::DecrementRecordCount() {
  --header_.ActiveRecords;
  MarkHeaderModified();
}

TIndexFile::TChangeState TIndexFile::SaveChangeState() const {
  TChangeState state{{}, header_.EndOfFile, header_.ActiveRecords, HeaderModified()};
  for (int slot = 0; slot < kIndexSlots; ++slot) {
    state.Trees[slot] = {header_.Indexes[slot].RootPage, header_.Indexes[slot].FreePageHead};
  }
  return state;
}

void TIndexFile::RestoreChangeState(const TChangeState& state) {
  for (int slot = 0; slot < kIndexSlots; ++slot) {
    header_.Indexes[slot].RootPage = state.Trees[slot].first;
    header_.Indexes[slot].FreePageHead = state.Trees[slot].second;
  }
  header_.EndOfFile = state.EndOfFile;
  header_.ActiveRecords = state.ActiveRecords;
  RestoreHeaderModified(state.Modified);
}

void TIndexFile::ReadPage(std::int32_t offset, std::uint8_t* page) {
  if (offset < kIndexHeaderSize || offset % kPageSize != 0 || offset >= header_.EndOfFile) {
    Raise(ie::kIndexBuffersCorrupt);
  }
  Seek(offset, 0);
  Read(page, kPageSize);
  if (Encrypted()) ApplyCipher(page, kPageSize, kRecordSeeds);
}

void TIndexFile::ReadPageTolerant(std::int32_t offset, std::uint8_t* page) {
  if (offset < kIndexHeaderSize || offset % kPageSize != 0 || offset >= header_.EndOfFile) {
    Raise(ie::kIndexBuffersCorrupt);
  }
  Seek(offset, 0);
  const std::int32_t n = Read(page, kPageSize, true);
  std::fill(page + n, page + kPageSize, 0);
  if (n > 0 && Encrypted()) ApplyCipher(page, kPageSize, kRecordSeeds);
}

void TIndexFile::WritePages(std::int32_t offset, const std::uint8_t* pages, int count) {
  const std::size_t size = std::size_t{kPageSize} * count;
  std::vector<std::uint8_t> enciphered;  // plain pages are written as they are
  if (Encrypted()) {
    enciphered.assign(pages, pages + size);
    for (int i = 0; i < count; ++i)
      ApplyCipher(enciphered.data() + i * kPageSize, kPageSize, kRecordSeeds);
    pages = enciphered.data();
  }
  Seek(offset, 0);
  Write(pages, static_cast<std::int32_t>(size));
}

std::int32_t TIndexFile::AppendPage() {
  if (header_.EndOfFile > kMaxIndexFileOffset) Raise(ie::kTableFull);
  const std::int32_t offset = header_.EndOfFile;
  header_.EndOfFile += kPageSize;
  MarkHeaderModified();
  return offset;
}

}  // namespace katalog
