// TDataFile: one open table, through its data file (".DAT"): the header, the field descriptors
// and the record slots. It owns the table's index file and, when the table has blob fields, its
// blob file, and opens them with its own settings.
//
// Opening checks, in order: the format version (12035), the table locale (15878), the password
// of an enciphered table (10498), the descriptor layout and record size (8961), and the file
// length against NextRecordNumber (8961); a short header or descriptor block is 9217. Any
// failure leaves all three files closed.
//
// Invariants while open: Header() passed those checks; PhysicalFields()[i] is field number i + 1
// with its PhysicalSize and FieldOffset consistent with RecordSize; records are plain in memory
// and enciphered on disk when the table is enciphered.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/index/BlobFile.h"
#include "engine/index/IndexFile.h"
#include "engine/index/Keys.h"
#include "engine/storage/DataFileHeader.h"
#include "engine/storage/FieldDescriptor.h"
#include "engine/storage/FileHandler.h"

namespace katalog {

// Most descriptors a table may have.
inline constexpr int kMaxFields = 1024;
// Limits of appended records.
inline constexpr std::int32_t kMaxRecordNumber = 100000000;
inline constexpr std::int64_t kMaxDataBytes = 2000000000;

class TDataFile : public TFileHandler {
 public:
  // Asked for the password of an enciphered table when the session does not know it; true when
  // it was added to the session, false to give up.
  using TPasswordCallback = std::function<bool()>;

  explicit TDataFile(TFileHandler* owner = nullptr);
  ~TDataFile() override;

  std::string NormalizeName(std::string_view name) const override;
  void Open() override;
  void Close() override;

  void SetPasswordCallback(TPasswordCallback callback) { passwordCallback_ = std::move(callback); }
  // Write-through for all three files; changes only while closed.
  void SetForceBufferFlush(bool value);
  bool ForceBufferFlush() const { return WriteThrough(); }

  const TDataFileHeader& Header() const { return header_; }
  bool HeaderChanged() const { return headerChanged_; }
  const std::vector<TFieldDescriptor>& PhysicalFields() const { return physicalFields_; }
  const std::vector<TFieldDescriptor>& WorkingFields() const { return workingFields_; }
  bool HasValidityChecks() const { return hasValidityChecks_; }
  bool HasDefaults() const { return hasDefaults_; }
  bool HasComputedFields() const { return hasComputedFields_; }
  std::uint32_t LocaleId() const { return header_.LocaleId(); }
  // The byte values in ascending order under the table locale (numeric order without one).
  const std::array<std::uint8_t, 256>& CollationOrder() const { return collationOrder_; }
  TIndexFile& IndexFile() { return indexFile_; }
  // What key building and comparison need for the index in `slot`.
  TKeyContext KeyContextFor(int slot) const;
  // The blob file when the table has one.
  TBlobFile* BlobFile() { return blobFile_.IsOpen() ? &blobFile_ : nullptr; }

  // Reads the whole header again.
  void ReadHeader();
  // Reads only the change counter as it stands in the file.
  std::int32_t ReadChangeCounter();
  // Writes the header when it changed (or when forced): change counter + 1, the current stamp.
  void WriteHeader(bool force = false);

  // Reads `count` slots starting at record number `first` into buffer (count x RecordSize
  // bytes), deciphered; returns the number of whole slots read. A short read is 9217 unless
  // tolerated.
  std::int32_t ReadSlots(std::int32_t first, std::int32_t count, std::uint8_t* buffer,
                         bool tolerateShortRead);
  // Writes `count` slots starting at record number `first`, enciphering copies.
  void WriteSlots(std::int32_t first, std::int32_t count, const std::uint8_t* buffer);

  // Issues the next record identifier (after 2 147 483 647 comes 1).
  std::int32_t IssueRecordId();
  // The slot a new record goes to: the head of the free chain, or the append slot when the chain
  // is empty or the table has no primary index.
  std::int32_t ChooseSlot() const;
  // Takes slot n (the chosen one) for a new record: an append slot grows NextRecordNumber
  // (9479 when the table is full), a reused slot unlinks it from the free chain, whose link is
  // read from the slot's bytes.
  void TakeSlot(std::int32_t n, const std::uint8_t* slot);
  // Marks the slot deleted and puts it at the head of the free chain.
  void DeleteSlot(std::int32_t n, std::uint8_t* slot);

  // Read access: a read slot on the index and blob files, unless the table is exclusive or on
  // read-only media (10249 when refused).
  void AcquireReadAccess();
  void ReleaseReadAccess();
  bool ReadAccessHeld() const { return readAccess_; }

 private:
  void OpenSteps();
  void CheckPassword();
  void ReadDescriptors();
  void CheckLayout();
  void BuildCollationOrder();
  void OpenCompanionFiles();
  void CheckFileLength();
  void MarkHeaderChanged() { headerChanged_ = true; }

  TDataFileHeader header_;
  bool headerChanged_ = false;
  std::vector<TFieldDescriptor> physicalFields_;
  std::vector<TFieldDescriptor> workingFields_;
  bool hasValidityChecks_ = false;
  bool hasDefaults_ = false;
  bool hasComputedFields_ = false;
  std::array<std::uint8_t, 256> collationOrder_{};
  TPasswordCallback passwordCallback_;
  bool readAccess_ = false;
  TIndexFile indexFile_{this};
  TBlobFile blobFile_{this};
};

}  // namespace katalog
