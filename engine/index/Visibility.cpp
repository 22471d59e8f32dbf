#include "engine/index/Visibility.h"

#include <algorithm>
#include <array>

#include "engine/index/IndexFileHeader.h"
#include "engine/index/Keys.h"

namespace katalog {

bool TVisibility::AnyFilterActive() const {
  return std::any_of(filters_.begin(), filters_.end(),
                     [](const TCursorFilter* f) { return f->Active(); });
}

void TVisibility::Build(std::int32_t records, int slot, const std::uint8_t* start,
                        const std::uint8_t* end, bool hasPrimary) {
  if (building_) return;
  building_ = true;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{building_};

  visible_.Resize(records);
  hasRange_ = start != nullptr;
  if (hasRange_) {
    range_.Resize(records);
    TIndexTree tree(store_, slot);
    tree.Collect(start, end, range_);
  }
  BuildActive(records, hasPrimary);
  Combine();
  built_ = true;
}

// The records in use: the keys of status 0 in "Sys Deleted"; a table without a primary index
// keeps no such index, and its slots' status bytes tell instead.
void TVisibility::BuildActive(std::int32_t records, bool hasPrimary) {
  active_.Resize(records);
  if (!hasPrimary) {
    active_.SetAll();
    if (statusScan_) statusScan_(active_);
    return;
  }
  TIndexTree deleted(store_, kDeletedSlot);
  const std::array<std::uint8_t, 5> low{0, 0, 0, 0, 0};
  const std::array<std::uint8_t, 5> high{0, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::array<std::uint8_t, 5> deletedLow{1, 0, 0, 0, 0};
  const std::array<std::uint8_t, 5> deletedHigh{1, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::int32_t total = deleted.KeyCount();
  const std::int32_t deletedCount =
      deleted.CountUpTo(deletedHigh.data()) - deleted.CountBelow(deletedLow.data());
  if (total - deletedCount < deletedCount) {
    deleted.Collect(low.data(), high.data(), active_);
  } else {
    // Fewer deleted than active: collect those and turn the bitmap round.
    deleted.Collect(deletedLow.data(), deletedHigh.data(), active_);
    active_.Complement();
  }
}

void TVisibility::Combine() {
  TRecordBitmap candidates = active_;
  if (hasRange_) candidates.And(range_);
  visible_ = candidates;
  for (TCursorFilter* filter : filters_) {
    if (!filter->Active()) continue;
    TRecordBitmap accepted = candidates;
    filter->Compute(accepted);
    filter->Bitmap() = accepted;
    visible_.And(accepted);
  }
  visibleCount_ = visible_.Count();
  ++generation_;
}

void TVisibility::ComputeFilter(TCursorFilter& filter) {
  TRecordBitmap candidates = active_;
  if (hasRange_) candidates.And(range_);
  filter.Compute(candidates);
  filter.Bitmap() = candidates;
  Recombine();
}

void TVisibility::Recombine() {
  visible_ = active_;
  if (hasRange_) visible_.And(range_);
  for (TCursorFilter* filter : filters_) {
    if (filter->Active()) visible_.And(filter->Bitmap());
  }
  visibleCount_ = visible_.Count();
  ++generation_;
}

void TVisibility::RecordWritten(std::int32_t records, std::int32_t r, const std::uint8_t* buffer,
                                bool inRange) {
  ++generation_;
  for (TRecordBitmap* bitmap : {&visible_, &range_, &active_}) bitmap->Resize(records);
  if (hasRange_) inRange ? range_.Set(r) : range_.Clear(r);
  active_.Set(r);
  bool visible = !hasRange_ || inRange;
  for (TCursorFilter* filter : filters_) {
    if (!filter->Active()) continue;
    filter->Bitmap().Resize(records);
    const bool accepted = filter->Accepts(r, buffer);
    accepted ? filter->Bitmap().Set(r) : filter->Bitmap().Clear(r);
    visible = visible && accepted;
  }
  if (visible != visible_.Test(r)) {
    visible ? visible_.Set(r) : visible_.Clear(r);
    visibleCount_ += visible ? 1 : -1;
  }
}

void TVisibility::RecordDeleted(std::int32_t r) {
  ++generation_;
  if (visible_.Test(r)) --visibleCount_;
  for (TRecordBitmap* bitmap : {&visible_, &range_, &active_}) bitmap->Clear(r);
  for (TCursorFilter* filter : filters_) {
    if (filter->Active()) filter->Bitmap().Clear(r);
  }
}

void TVisibility::Drop() {
  visible_ = TRecordBitmap{};
  range_ = TRecordBitmap{};
  active_ = TRecordBitmap{};
  visibleCount_ = 0;
  hasRange_ = false;
  built_ = false;
  ++generation_;
}

}  // namespace katalog
