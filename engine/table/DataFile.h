// TDataFile: one open table, through its data file (".DAT"): the header, the field descriptors
// and the record slots. It owns the table's index file and, when the table has blob fields, its
// blob file, and opens them with its own settings. It is also the engine's cursor on the table:
// it moves through the records in the order of the current index, hands out copies of records
// from its record cache, takes and releases locks, and inserts, changes and deletes records,
// keeping every index up to date. DataFile.cpp holds opening and the file format,
// RecordAccess.cpp reading and moving, RecordChanges.cpp the changes, BlobAccess.cpp the blob
// fields of records, DataFileBookmarks.cpp, DataFileFilters.cpp and DataFileComputed.cpp what
// their names say; the change scope is in ChangeScope.h.
//
// Sharing: a reader holds read slots on the index and blob files for one operation, a writer the
// data file's write byte and the index and blob write ranges for one change; cached pages and
// records are trusted only while the files' change counters are unchanged. Exclusive tables and
// tables on read-only media take no locks and never look for changes.
//
// Opening checks, in order: the format version (kWrongVersion), the table locale (kLanguageDriver),
// the password of an enciphered table (kPasswordRequired), the descriptor layout and record size
// (kHeaderCorrupt), and the file length against NextRecordNumber (kHeaderCorrupt); a short header
// or descriptor block is kReadError. Any failure leaves all three files closed.
//
// Invariants while open: Header() passed those checks; PhysicalFields()[i] is field number i + 1
// with its PhysicalSize and FieldOffset consistent with RecordSize; records are plain in memory
// and enciphered on disk when the table is enciphered.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/index/BlobFile.h"
#include "engine/index/FilterList.h"
#include "engine/index/IndexCursor.h"
#include "engine/index/IndexFile.h"
#include "engine/index/IndexStore.h"
#include "engine/index/Keys.h"
#include "engine/storage/DataFileHeader.h"
#include "engine/storage/FieldDescriptor.h"
#include "engine/storage/FileHandler.h"
#include "engine/storage/RecordCache.h"
#include "engine/storage/RecordCodec.h"
#include "engine/storage/RecordValues.h"
#include "engine/storage/TableLocks.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

// Most descriptors a table may have.
inline constexpr int kMaxFields = 1024;
// Limits of appended records.
inline constexpr std::int32_t kMaxRecordNumber = 100000000;
inline constexpr std::int64_t kMaxDataBytes = 2000000000;
// Record identifiers run from 1 to this and start again at 1.
inline constexpr std::int32_t kMaxRecordId = 0x7FFFFFFF;

// The descriptor list a field number and a record buffer go by: the table's physical fields, or
// the working list (the physical fields and the computed fields behind the record).
enum class TFieldSet { Physical, Working };

// How a change ends. Unlock: Update gives back the lock on the changed record (else a lock the
// caller took stays). Reposition: the cursor goes to the inserted or changed record (else it
// stays where it stood). Insert and Delete take the record lock only for the change and always
// give it back, so they do not read Unlock; Delete does not read Reposition either, as the
// cursor stands on the record that followed the deleted one.
struct TChangeOptions {
  bool Unlock = false;
  bool Reposition = false;
};

class TDataFile : public TFileHandler, private TFilterHost {
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
  // bytes), deciphered; returns the number of whole slots read. A short read is kReadError unless
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
  // (kTableFull when the table is full), a reused slot unlinks it from the free chain, whose link
  // is read from the slot's bytes.
  void TakeSlot(std::int32_t n, const std::uint8_t* slot);
  // Whether one more record may be appended.
  bool CanAppend() const;
  // Marks the slot deleted and puts it at the head of the free chain.
  void DeleteSlot(std::int32_t n, std::uint8_t* slot);

  // Read access: read slots on the index and blob files, then the change check; nothing when
  // read or write access or the table lock is held, or the table is exclusive or on read-only
  // media (kLockFailure when refused). Returns true when another program had changed the table.
  // Held until ReleaseReadAccess, across any operations in between: no writer changes the
  // files meanwhile.
  bool AcquireReadAccess();
  void ReleaseReadAccess();
  bool ReadAccessHeld() const { return readAccess_; }
  // How many times a change by another program was found and caches dropped (all of them, or the
  // blob blocks alone when only the blob file changed): a reader that sees it move while it read
  // one record's parts knows they may come from different versions.
  std::uint64_t ChangesFound() const { return changesFound_; }

  // Settings. StrictChangeDetection and ForceBufferFlush change only while closed.
  std::uint8_t LockRetryCount() const { return lockRetryCount_; }
  void SetLockRetryCount(std::uint8_t count) { lockRetryCount_ = count; }
  std::uint16_t LockWaitTime() const { return lockWaitTime_; }
  void SetLockWaitTime(std::uint16_t milliseconds) { lockWaitTime_ = milliseconds; }
  bool StrictChangeDetection() const { return strictChangeDetection_; }
  void SetStrictChangeDetection(bool value);

  // The size of a record buffer: the record and the computed-field area.
  std::size_t WorkingRecordSize() const { return header_.RecordSize + computedAreaSize_; }
  TIndexCursor& Cursor() { return cursor_; }
  TIndexStore& IndexStore() { return store_; }

  // Navigation. The cursor stands before the first record after GoFirst and after the last after
  // GoLast. GoNext / GoPrior return 0 and copy the record, or kEndOfFile / kBeginningOfFile at the
  // end and leave a blank record (defaults applied) in the buffer (which may be nullptr).
  void GoFirst();
  void GoLast();
  [[nodiscard]] int GoNext(std::uint8_t* buffer);
  [[nodiscard]] int GoPrior(std::uint8_t* buffer);
  [[nodiscard]] int GetCurrent(std::uint8_t* buffer, bool lock);
  // Physical order: record number n; index order: logical position n.
  void GoToPosition(std::int32_t n);
  std::int32_t RecordCount();
  std::int32_t CurrentPosition();
  // The record number of the current record, 0 when there is none.
  std::int32_t CurrentRecordNumber() const { return current_ ? current_->Number() : 0; }

  void SetIndex(int slot);
  void SetIndexByName(std::string_view name);
  // Moves to the key (or with TKeyMatch::Nearest the first key after it); true when it is there.
  bool FindKey(const std::uint8_t* key, TKeyMatch match);

  TFieldValue ReadField(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record) const;
  bool WriteField(TFieldSet fieldSet, int fieldNumber, const TFieldValue& value,
                  std::uint8_t* record) const;
  void BlankRecord(std::uint8_t* record) const;
  // While on, a value written to the autoincrement field (1..kMaxRecordId) is the identifier an
  // insert gives the record, instead of the next one, and the table's last identifier is raised
  // to it when it is higher; a record given none is numbered as usual. For rebuilding a table
  // from an export; a unique index on the field refuses an identifier twice.
  void SetKeepRecordIds(bool keep) { keepRecordIds_ = keep; }

  // Changes, ending as TChangeOptions says. A ReadOnly table refuses them with kAccessDenied.
  // Delete deletes the current record; it hides TFileHandler::Delete(), which deletes the file.
  void Insert(std::uint8_t* record, TChangeOptions options);
  void Update(std::uint8_t* record, TChangeOptions options);
  void Delete(TChangeOptions options);

  // Record locks (n = 0: the current record) and the table lock.
  void LockRecord(std::int32_t n);
  void UnlockRecord(std::int32_t n);
  bool RecordLocked(std::int32_t n) const { return locks_.RecordLocked(n); }
  void LockTable();
  void UnlockTable();
  bool TableLocked() const { return tableLocked_; }

  // Blob fields of a record buffer laid out by `fieldSet`. While a blob is open the field holds
  // its negated handle; the record keeps its first block otherwise.
  // Results: 0, kInvalidBlobField (not a blob field), kInvalidBlobOffset (a negative value that is
  // no open blob of this table), kInvalidBlobHandle (not open), kTooManyBlobs, kEndOfBlob,
  // kInvalidBlobLength.
  [[nodiscard]] int OpenBlob(TFieldSet fieldSet, int fieldNumber, std::uint8_t* record);
  [[nodiscard]] int CloseBlob(TFieldSet fieldSet, int fieldNumber, std::uint8_t* record);
  [[nodiscard]] int ReadBlob(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                             std::int32_t position, std::int32_t count, std::uint8_t* to,
                             std::int32_t& copied);
  [[nodiscard]] int WriteBlob(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                              std::int32_t position, std::int32_t count, const std::uint8_t* from);
  [[nodiscard]] int SetBlobSize(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                                std::int32_t size);
  [[nodiscard]] int GetBlobSize(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                                std::int32_t& size);
  bool IsBlobOpen(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record) const;
  // Hands the blob field's contents to `use` without opening it as a blob: an open blob's bytes
  // in place, else the chain read into a buffer the table keeps (valid during the call).
  [[nodiscard]] int ReadBlobContents(TFieldSet fieldSet, int fieldNumber,
                                     const std::uint8_t* record,
                                     const std::function<void(std::span<const std::uint8_t>)>& use);
  // The contents of the field's open blob in place, valid until the blob is written or closed;
  // empty when it is not open.
  std::span<const std::uint8_t> BlobBytes(TFieldSet fieldSet, int fieldNumber,
                                          const std::uint8_t* record) const;

  // Looks for another program's changes now; without any, finds the position again.
  void Refresh();
  // A second, shared handler on the same table and record (kAccessDenied for an exclusive table).
  std::unique_ptr<TDataFile> Clone();
  // An update batch: the table is locked from the first change to EndBatch.
  void BeginBatch();
  void EndBatch();

  // Bookmarks (DataFileBookmarks.cpp): in physical order the record number (4 bytes), in index
  // order the current entry's key (the index's key length; unique, as secondary keys end with
  // the record identifier).
  int BookmarkSize();
  // The current record's bookmark; false without a current record.
  bool GetBookmark(std::uint8_t* bookmark);
  // Goes to the record: 0, or kRecordNotFound when no visible record has that bookmark.
  [[nodiscard]] int GotoBookmark(const std::uint8_t* bookmark);
  // -1, 0 or 1 in the current order.
  int CompareBookmarks(const std::uint8_t* a, const std::uint8_t* b);
  // Restricts the current index to the keys from `start` to `end` (full keys, both included),
  // and lifts the restriction.
  void SetRange(const std::uint8_t* start, const std::uint8_t* end);
  void CancelRange();
  // Goes to record n, whose image is `record` (read through another cursor on the table).
  [[nodiscard]] int GotoRecord(std::int32_t n, const std::uint8_t* record);

  // Installs a working descriptor list (DataFileComputed.cpp): stored fields as the table has
  // them, plus computed fields (a non-empty Expression) placed one after another behind the
  // record. A name that is empty, does not start with a letter or repeats another is
  // kInvalidFieldName; a repeated field number, a zero type, a stored field the table lacks or a
  // declared size above 250 for codes 1, 9 and 15 is kInvalidFieldDefinition; an unacceptable
  // default or limit text kInvalidFieldCheck; an expression that does not read
  // kInvalidFilterExpression (kInvalidField for an unknown field). Cached records are dropped;
  // computed values are evaluated when a record is first used and after every write.
  void SetWorkingFields(std::vector<TFieldDescriptor> fields);

  // Filters (DataFileFilters.cpp): made inactive and added to the list; the list's code (0, or
  // kTooManyFilters with the filter dropped) is returned and the filter handed out through `added`.
  // A compiled condition naming no field of the table raises kInvalidField, a damaged one
  // kInvalidFilterExpression.
  TFilterList& Filters() { return filters_; }
  [[nodiscard]] int AddFilter(const std::vector<std::uint8_t>& condition,
                              TFilter** added = nullptr);
  [[nodiscard]] int AddFilter(std::unique_ptr<TFilterNode> tree, TFilter** added = nullptr);
  [[nodiscard]] int AddFilter(TFilter::TCallback callback, TFilter** added = nullptr);

 private:
  // What the table's filters read through (DataFileFilters.cpp).
  TIndexStore& FilterIndexStore() override { return store_; }
  bool FilterIndexesUsable() override { return !indexFile_.NoPrimaryIndex(); }
  TEvaluationContext FilterContext() override;
  std::int32_t FilterRecordCount() override { return header_.NextRecordNumber - 1; }
  const std::uint8_t* FilterRecord(std::int32_t r) override;

  const std::vector<TFieldDescriptor>& FieldsOf(TFieldSet fieldSet) const {
    return fieldSet == TFieldSet::Working ? workingFields_ : physicalFields_;
  }
  void EvaluateComputedFields(const TFieldList& fields, std::uint8_t* record) const;
  void MakeRecordCache();

  struct TBuffer {
    TRecord* record = nullptr;
    bool retry = false;
  };
  // One engine operation: with strict change detection it starts with read access; whatever
  // read access it took is given back when it ends, also on failure. Read access the caller
  // held when it started stays held: a reader may keep the files still across operations.
  class TOperation {
   public:
    explicit TOperation(TDataFile& table) : table_(table), held_(table.readAccess_) {
      // Acquiring read access runs the change check, which reloads what another program changed.
      if (table.strictChangeDetection_) table.AcquireReadAccess();
    }
    ~TOperation() {
      if (!held_) platform::RunReported([this] { table_.ReleaseReadAccess(); });
    }
    TOperation(const TOperation&) = delete;
    TOperation& operator=(const TOperation&) = delete;

   private:
    TDataFile& table_;
    const bool held_;
  };

  void InitialiseRecordAccess();
  bool ChangeCheck();
  void ReloadAfterChange();
  // Which records GetBuffer reads ahead: the ones that follow in the cursor's order, or the
  // next slots.
  enum class TReadAhead { CursorOrder, NextSlots };
  // Record n, read with up to `run` records ahead in that direction.
  TBuffer GetBuffer(std::int32_t n, std::int32_t run, TDirection direction,
                    TReadAhead readAhead = TReadAhead::CursorOrder);
  void FillRun(std::int32_t first, std::int32_t count, std::int32_t n);
  void FillAhead(std::int32_t n, std::vector<std::int32_t> records);
  // How many records a walk in index order reads ahead at its next miss: 1 when it starts,
  // doubling at each miss up to a read-ahead run.
  std::int32_t walkReadAhead_ = 1;
  // FillRun's slots and the buffers it marked, kept to spare two allocations per read.
  std::vector<std::uint8_t> runSlots_;
  std::vector<TRecord*> runMarked_;
  void LoadCurrent(std::int32_t run, TDirection direction);
  void ReleaseCurrent();
  void KeepCurrent(std::int32_t n, std::int32_t id);
  class TChangeScope;
  TRecord* FreeSlot(std::int32_t n);
  void WriteChange(TChangeScope& change);
  // Whether a change is written at its end; else it stays in memory until the table lock ends
  // or the exclusive table closes.
  bool WritesEachChange() const { return !Exclusive() && !ReadOnlyMedia() && !tableLocked_; }
  void FinishChange(std::int32_t unlock);
  void AbandonChange(std::int32_t locked) noexcept;
  [[nodiscard]] int Move(TDirection direction, std::uint8_t* buffer);
  void CopyCurrent(std::uint8_t* buffer) const;
  void WriteModifiedRecords();
  // Whether writing out the changes writes the header also when it did not change, and whether
  // the record cache then shrinks back to its size (a table lock or a batch let it grow).
  enum class THeaderWrite { IfChanged, Always };
  enum class TCacheTrim { Keep, Trim };
  void WriteEverything(THeaderWrite header, TCacheTrim trim);
  void WriteHeldChanges(TCacheTrim trim);
  void AcquireChangeAccess();
  void AcquireWriteAccess();
  void ReleaseWriteAccess();
  void BatchFirstWrite();
  void CheckWritable() const;
  std::vector<int> MaintainedSlots() const;
  std::vector<std::uint8_t> KeyOf(int slot, const std::uint8_t* record) const;
  // The key under which the record's entry stands in the index (null slots in either form).
  std::vector<std::uint8_t> EntryKeyOf(int slot, const std::uint8_t* record);
  void Reposition(bool onRecord, std::int32_t n);
  void ScanStatus(TRecordBitmap& active);
  const TFieldDescriptor* BlobField(TFieldSet fieldSet, int fieldNumber) const;
  [[nodiscard]] int OpenHandleOf(TFieldSet fieldSet, int fieldNumber, const std::uint8_t* record,
                                 std::int32_t& handle) const;
  void AttachBlobs(std::int32_t n, std::uint8_t* stored);
  // The first blocks of the record's blob chains, each checked (kBlobBuffersCorrupt for a damaged
  // one).
  std::vector<std::int32_t> BlobChains(std::int32_t n, const std::uint8_t* stored);

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
  bool keepRecordIds_ = false;
  bool hasDefaults_ = false;
  bool hasComputedFields_ = false;
  std::array<std::uint8_t, 256> collationOrder_{};
  TPasswordCallback passwordCallback_;
  bool readAccess_ = false;
  std::uint64_t changesFound_ = 0;
  bool writeAccess_ = false;
  bool tableLocked_ = false;
  bool batchActive_ = false;
  bool strictChangeDetection_ = false;
  std::uint8_t lockRetryCount_ = 15;
  std::uint16_t lockWaitTime_ = 100;
  TIndexFile indexFile_{this};
  TBlobFile blobFile_{this};
  TDataFileLocks locks_{*this};
  TIndexStore store_{indexFile_};
  TIndexCursor cursor_{store_};
  TFilterList filters_{cursor_};
  // The computed fields of the working list: field number and expression tree.
  std::vector<std::pair<int, std::unique_ptr<TFilterNode>>> computed_;
  std::uint16_t computedAreaSize_ = 0;
  // Records read in one request: at most this many bytes.
  static constexpr std::int32_t kReadAheadBytes = 32767;
  std::vector<std::uint8_t> filterRecord_;
  std::vector<std::uint8_t> blobContents_;  // ReadBlobContents' chain, kept to spare allocations
  // Slots a filter read ahead, from filterRunFirst_ on, as on disk (deciphered): a filter passes
  // every record once, so they bypass the record cache. Like the cache's buffers they stand
  // until this handler writes a slot or another program's change is found (ReloadAfterChange).
  std::vector<std::uint8_t> filterRun_;
  std::int32_t filterRunFirst_ = 0;
  std::int32_t filterRunCount_ = 0;
  std::unique_ptr<TRecordCache> cache_;
  std::unique_ptr<TRecordValues> values_;
  TRecord* current_ = nullptr;
};

}  // namespace katalog
