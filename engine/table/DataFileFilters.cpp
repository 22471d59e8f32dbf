// TDataFile: the table's filters, and what they read through.
#include <algorithm>
#include <cstring>

#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"

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

const std::uint8_t* TDataFile::FilterRecord(std::int32_t r) {
  // Filters read the slots in ascending order: read ahead by slot, not by the cursor's order.
  const TBuffer buffer =
      GetBuffer(r, FilterRecordCount() - r + 1, TDirection::Forward, TReadAhead::NextSlots);
  if (buffer.retry) throw TRestart{};
  filterRecord_.assign(buffer.record->Data(), buffer.record->Data() + cache_->BufferSize());
  cache_->Unpin(buffer.record);
  return filterRecord_[0] != 0 ? nullptr : filterRecord_.data();
}

}  // namespace katalog
