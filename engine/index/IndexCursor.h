// TIndexCursor: the table's cursor over its indexes: the current index (or physical order), the
// position in it, an optional key range, and the visibility bitmaps through which filters and
// deleted records apply.
//
// Positions: in index order the logical number of an entry is 1 + the keys before it in the
// whole index, and callers see it relative to the range's first; in physical order it is the
// number of visible records up to the current one. Bitmap mode (physical order, or an active
// filter) steps over entries whose records are not visible.
//
// The cursor keeps its entry's page, key and record number; when the trees change (a write, or
// another program's change) it finds its entry again by the key. Every operation that meets
// another program's change (TRestart) starts again.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/index/IndexFileHeader.h"
#include "engine/index/IndexTree.h"
#include "engine/index/Visibility.h"

namespace katalog {

enum class TDirection { Forward, Backward };

// What FindKey goes to: only the key itself, or the first key at or after it.
enum class TKeyMatch { Exact, Nearest };

class TIndexCursor {
 public:
  explicit TIndexCursor(TIndexStore& store) : store_(store), visibility_(store) {}

  // The number of physical records (slots) of the table, from the data file.
  void SetPhysicalRecordsSource(std::function<std::int32_t()> source) {
    physicalRecords_ = std::move(source);
  }
  TVisibility& Visibility() { return visibility_; }
  // The key that record r has in the index of `slot` (empty for a deleted record), from the data
  // file: a walk over few visible records goes from entry to entry by them. May raise TRestart.
  using TEntryKeySource = std::function<std::vector<std::uint8_t>(int slot, std::int32_t r)>;
  void SetEntryKeySource(TEntryKeySource source) { entryKey_ = std::move(source); }

  // Slot 0 (physical order without a primary index), no range, on the first record.
  void Open();
  void Close();

  void SelectSlot(int slot);
  // The index of that name (case-insensitive); an empty or unknown name selects slot 0.
  void SelectByName(std::string_view name);
  int Slot() const { return slot_; }
  bool PhysicalOrder() const;
  bool BitmapMode() const { return bitmapMode_; }
  // Recomputes bitmap mode and the bitmaps (after filters change).
  void RefreshVisibility();
  // One filter was activated or deactivated: computes only that filter when the other bitmaps
  // are in place, else rebuilds them all.
  void FilterChanged(TCursorFilter& filter, bool activated);

  void First();
  void Last();
  void MoveBy(std::int32_t n);
  // The k-th key of the range (index order), or in physical order record k.
  void GoToLogical(std::int32_t k);
  void GoToRecord(std::int32_t r);
  // Goes to the key as `match` says; true when the key is there.
  bool FindKey(const std::uint8_t* key, TKeyMatch match);
  void Reset();
  // No entry, before the first (after the last): the next step forward (back) goes to the first
  // (last) visible entry. Nothing is walked.
  void BeforeFirst();
  void AfterLast();

  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool Positioned() const { return position_.valid; }
  std::int32_t RecordCount();
  std::int32_t LogicalNumber();
  std::int32_t RecordNumber();
  // The key of the cursor entry (index order), or nullptr.
  const std::uint8_t* CurrentKey();
  std::int32_t ConsecutiveRun(std::int32_t n, TDirection direction);
  // The records of the cursor entry and of the visible entries after it in the direction, at
  // most n, looking at no more than 2n entries; in index order only (empty in physical order).
  std::vector<std::int32_t> RecordsAhead(std::int32_t n, TDirection direction);

  void SetRangeStart(const std::uint8_t* key);
  void SetRangeEnd(const std::uint8_t* key);
  void ApplyRange();
  void CancelRange();
  bool RangeActive() const { return rangeActive_; }
  const std::uint8_t* RangeStart() const { return rangeStart_.data(); }
  const std::uint8_t* RangeEnd() const { return rangeEnd_.data(); }

  // A record and its keys were written / deleted.
  void RecordWritten(std::int32_t r, const std::uint8_t* buffer);
  void RecordDeleted(std::int32_t r);
  // After the current record was deleted: the cursor stands on the next visible entry, or after
  // the last one, never on an entry it does not show.
  void SettleAfterDelete();
  // Another program changed the table: bounds and bitmaps are rebuilt, the position is found
  // again by its key on its next use.
  void Invalidated();

 private:
  struct TPosition {
    bool valid = false;
    std::int32_t page = 0;
    int entry = 0;
    std::int32_t logical = 0;  // absolute in the index, or the visible count in physical order
    std::int32_t record = 0;
    std::vector<std::uint8_t> key;
    std::uint64_t version = 0;
  };

  template <class F>
  auto Run(F&& operation) {
    for (;;) {
      try {
        return operation();
      } catch (const TRestart&) {
        Invalidated();
      }
    }
  }

  TIndexTree Tree() { return TIndexTree(store_, slot_); }
  std::int32_t Records() const { return physicalRecords_ ? physicalRecords_() : 0; }
  bool HasPrimary() const { return !store_.File().NoPrimaryIndex(); }
  void ComputeBounds();
  void InvalidateBounds();
  std::int32_t RangeCount() const;
  void SetAt(TIndexTree& tree, std::int32_t k);
  void Sync(TIndexTree& tree);
  bool Step(TIndexTree& tree, int direction);
  bool ScanVisible(TIndexTree& tree, int direction, bool includeCurrent);
  bool SeekVisible(TIndexTree& tree, int direction);
  bool KeyInRange(const std::uint8_t* key);
  // When at most one entry in kSparseWalk of the range is visible, the rank intervals of the
  // current index that hold every visible entry (sorted, apart), made from the visible records'
  // keys; a walk jumps between them instead of passing every entry. False when not sparse.
  static constexpr std::int64_t kSparseWalk = 16;
  struct TSpan {
    std::int32_t First, Last;
  };
  bool UseSpans(TIndexTree& tree);
  // The rank nearest `logical` in `direction` (itself included) inside a span, or 0.
  std::int32_t NextInSpans(std::int32_t logical, int direction) const;
  // The end flags raised: before the first entry (Bof), after the last (Eof), both (no
  // position), or neither.
  enum class TEnds { Neither, Bof, Eof, Both };
  void SetEnds(TEnds ends) {
    bof_ = ends == TEnds::Bof || ends == TEnds::Both;
    eof_ = ends == TEnds::Eof || ends == TEnds::Both;
  }

  void FirstInIndex();
  void LastInIndex();
  void MoveInIndex(std::int32_t n);
  void MoveInBitmap(std::int32_t n);
  void MovePhysical(std::int32_t n);
  void SetPhysical(std::int32_t r);

  TIndexStore& store_;
  TVisibility visibility_;
  std::function<std::int32_t()> physicalRecords_;
  TEntryKeySource entryKey_;
  std::vector<TSpan> spans_;
  bool spansValid_ = false;
  int spansSlot_ = 0;
  std::uint64_t spansVersion_ = 0;
  std::uint64_t spansGeneration_ = 0;
  std::int32_t spansFirst_ = 0, spansLast_ = 0;
  int slot_ = kPrimarySlot;
  bool bitmapMode_ = false;
  TPosition position_;
  bool bof_ = true;
  bool eof_ = true;
  bool rangeActive_ = false;
  std::array<std::uint8_t, kMaxKeyLength> rangeStart_{};
  std::array<std::uint8_t, kMaxKeyLength> rangeEnd_{};
  std::int32_t first_ = 1;  // absolute logical bounds of the range
  std::int32_t last_ = 0;
  std::int32_t total_ = 0;  // keys in the index (physical order: records)
  bool boundsValid_ = false;
  std::uint64_t boundsVersion_ = 0;
};

}  // namespace katalog
