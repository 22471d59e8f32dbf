// TVisibility: which physical records a cursor shows when it works through bitmaps: the range
// bitmap (records whose key in the current index lies in the range), the active-records bitmap
// (records not deleted, from the "Sys Deleted" index), and each active filter's bitmap. The
// visible bitmap is their AND, and its count the number of records the cursor shows.
//
// Filters plug in through TCursorFilter; the cursor owns neither the filters nor the tree.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/index/IndexTree.h"
#include "engine/index/RecordBitmap.h"

namespace katalog {

// A filter as the cursor sees it: it narrows a bitmap of candidate records to the accepted ones,
// and keeps its own bitmap up to date when a record is written or deleted.
class TCursorFilter {
 public:
  virtual ~TCursorFilter() = default;
  virtual bool Active() const = 0;
  // On entry the candidates; on return the records the filter accepts among them.
  virtual void Compute(TRecordBitmap& candidates) = 0;
  virtual bool Accepts(std::int32_t record, const std::uint8_t* buffer) = 0;
  // The filter's own bitmap (kept to recombine after a single record changes).
  virtual TRecordBitmap& Bitmap() = 0;
};

class TVisibility {
 public:
  explicit TVisibility(TIndexStore& store) : store_(store) {}

  // Rebuilds every bitmap for `records` physical records. The range is [start, end] in the tree
  // `slot`, or none when `start` is nullptr. `hasPrimary` tells whether "Sys Deleted" is kept.
  void Build(std::int32_t records, int slot, const std::uint8_t* start, const std::uint8_t* end,
             bool hasPrimary);
  // Record r was written with `buffer`; `inRange` tells whether its key lies in the range
  // (ignored without one).
  void RecordWritten(std::int32_t records, std::int32_t r, const std::uint8_t* buffer,
                     bool inRange);
  void RecordDeleted(std::int32_t r);
  void Drop();
  // Whether the bitmaps were built (and not dropped since).
  bool Built() const { return built_; }
  // Computes one filter from the current candidates and recombines; the other filters keep the
  // bitmaps they have, so that activating one filter does not evaluate the others again.
  void ComputeFilter(TCursorFilter& filter);
  // The visible bitmap again from the stored bitmaps (after a filter was deactivated).
  void Recombine();

  bool Visible(std::int32_t r) const { return visible_.Test(r); }
  // Advances whenever the visible bitmap may have changed.
  std::uint64_t Generation() const { return generation_; }
  std::int32_t Count() const { return visibleCount_; }
  const TRecordBitmap& VisibleBitmap() const { return visible_; }

  // Marks the records in use by their slots' status bytes, for tables without a primary index,
  // whose deleted records no index remembers. Installed by the data file.
  void SetStatusScan(std::function<void(TRecordBitmap&)> scan) { statusScan_ = std::move(scan); }

  std::vector<TCursorFilter*>& Filters() { return filters_; }
  bool AnyFilterActive() const;

 private:
  void BuildActive(std::int32_t records, bool hasPrimary);
  void Combine();

  TIndexStore& store_;
  TRecordBitmap visible_;
  TRecordBitmap range_;
  TRecordBitmap active_;
  bool hasRange_ = false;
  std::int32_t visibleCount_ = 0;
  std::vector<TCursorFilter*> filters_;
  std::function<void(TRecordBitmap&)> statusScan_;
  bool building_ = false;
  bool built_ = false;
  std::uint64_t generation_ = 0;
};

}  // namespace katalog
