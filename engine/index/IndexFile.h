// TIndexFile: a table's index file (".IDX"), a 4096-byte header followed by 4096-byte pages that
// hold one B+tree per index. Owned by the table's data file, which opens it with its own
// settings. Opening checks the version (kWrongVersion) and that the descriptors of the indexes in
// use describe keys of the table's fields (kHeaderCorrupt).
//
// Invariant while open: Header() passed the open checks; when Encrypted() every header and page
// is enciphered on disk and plain in memory.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/index/HeaderFile.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/storage/FieldDescriptor.h"

namespace katalog {

class TIndexFile : public THeaderFile {
 public:
  explicit TIndexFile(TFileHandler* owner = nullptr) : THeaderFile(owner, kIndexHeaderSize) {}

  std::string NormalizeName(std::string_view name) const override;

  // Set by the data file before opening: the table's fields, against which the index
  // descriptors are checked.
  void SetFields(const std::vector<TFieldDescriptor>* fields) { fields_ = fields; }

  const TIndexFileHeader& Header() const { return header_; }
  TIndexFileHeader& MutableHeader() {
    MarkHeaderModified();
    return header_;
  }
  int SecondaryCount() const { return header_.SecondaryCount; }
  bool NoPrimaryIndex() const { return header_.NoPrimaryIndex != 0; }
  const TIndexDescriptor& Descriptor(int slot) const { return header_.Indexes[slot]; }
  void IncrementRecordCount();
  void DecrementRecordCount();

  // What a change of the table alters in the header: each tree's root and free list, the end of
  // the file, the record count and the modified mark; kept so that a refused change can be
  // taken back.
  struct TChangeState {
    std::array<std::pair<std::int32_t, std::int32_t>, kIndexSlots> Trees;
    std::int32_t EndOfFile;
    std::int32_t ActiveRecords;
    bool Modified;
  };
  TChangeState SaveChangeState() const;
  void RestoreChangeState(const TChangeState& state);

  // Reads the 4096-byte page at `offset`, deciphered; kIndexBuffersCorrupt for an offset that is
  // not a page of this file.
  void ReadPage(std::int32_t offset, std::uint8_t* page);
  // Writes `count` consecutive pages starting at `offset` in one request, enciphering a copy.
  void WritePages(std::int32_t offset, const std::uint8_t* pages, int count);
  void WritePage(std::int32_t offset, const std::uint8_t* page) { WritePages(offset, page, 1); }
  // Reads a page like ReadPage, but a page beyond the end of the file (appended but never
  // written) reads as zeros.
  void ReadPageTolerant(std::int32_t offset, std::uint8_t* page);
  // The offset of a new page at the end of the file (kTableFull when the file is full); the page is
  // written by its first WritePage.
  std::int32_t AppendPage();

 protected:
  void DecodeHeader(const std::uint8_t* bytes) override;
  void EncodeHeader(std::uint8_t* bytes, bool modified) const override;
  std::int32_t& ChangeCounter() override { return header_.ChangeCounter; }
  void ResetHeader() override { header_ = NewIndexFileHeader(); }
  void CheckHeader() const override;

 private:
  TIndexFileHeader header_;
  const std::vector<TFieldDescriptor>* fields_ = nullptr;
};

}  // namespace katalog
