// TDataFile: the table's filters, and what they read through.
#include <algorithm>
#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"

namespace katalog {

int TDataFile::AddFilter(const std::vector<std::uint8_t>& condition, TFilter** added) {
  if (condition.empty()) return ie::kInvalidFilterExpression;
  return AddFilter(ConvertCondition(condition, workingFields_, FileName()), added);
}

int TDataFile::AddFilter(std::unique_ptr<TFilterNode> tree, TFilter** added) {
  if (!tree) return ie::kInvalidFilterExpression;
  return filters_.Add(std::make_unique<TFilter>(static_cast<TFilterHost&>(*this), std::move(tree)),
                      added);
}

int TDataFile::AddFilter(TFilter::TCallback callback, TFilter** added) {
  if (!callback) return ie::kInvalidFilterExpression;
  return filters_.Add(
      std::make_unique<TFilter>(static_cast<TFilterHost&>(*this), std::move(callback)), added);
}

TEvaluationContext TDataFile::FilterContext() {
  return {LocaleId(), &workingFields_};
}

// Filters read the slots in ascending order: they read ahead by slot, not by the cursor's order.
// A record the cache holds (perhaps changed and not yet written) comes from there; the others come
// from runs of slots read past the cache, as a filter reads each record once.
const std::uint8_t* TDataFile::FilterRecord(std::int32_t r) {
  if (cache_->Find(r) || r <= 0) {
    const TBuffer buffer =
        GetBuffer(r, FilterRecordCount() - r + 1, TDirection::Forward, TReadAhead::NextSlots);
    if (buffer.retry) throw TRestart{};
    filterRecord_.assign(buffer.record->Data(), buffer.record->Data() + cache_->BufferSize());
    cache_->Unpin(buffer.record);
    return filterRecord_[0] != 0 ? nullptr : filterRecord_.data();
  }
  const std::int32_t size = header_.RecordSize;
  if (r < filterRunFirst_ || r >= filterRunFirst_ + filterRunCount_) {
    filterRunCount_ = 0;
    if (!strictChangeDetection_ && AcquireReadAccess()) throw TRestart{};
    if (r >= header_.NextRecordNumber) Raise(ie::kRecordNotFound);
    const std::int32_t count =
        std::min(std::max(kReadAheadBytes / size, 1), header_.NextRecordNumber - r);
    filterRun_.resize(static_cast<std::size_t>(count) * size);
    filterRunFirst_ = r;
    filterRunCount_ = ReadSlots(r, count, filterRun_.data(), Exclusive() || tableLocked_);
    if (filterRunCount_ == 0) Raise(ie::kReadError);
  }
  filterRecord_.assign(cache_->BufferSize(), 0);
  const std::uint8_t* slot =
      filterRun_.data() + static_cast<std::size_t>(r - filterRunFirst_) * size;
  std::copy(slot, slot + size, filterRecord_.begin());
  if (filterRecord_[0] != 0) return nullptr;
  StoreI32(filterRecord_.data() + 1, r);
  if (!computed_.empty()) EvaluateComputedFields(workingFields_, filterRecord_.data());
  return filterRecord_.data();
}

}  // namespace katalog
