#include "engine/index/FilterList.h"

#include <algorithm>

#include "engine/index/IndexCursor.h"
#include "engine/storage/IsamError.h"

namespace katalog {

int TFilterList::Add(std::unique_ptr<TFilter> filter, TFilter** added) {
  if (!filter) return ie::kInvalidFilterExpression;
  if (Count() >= kMaxFilters) return ie::kTooManyFilters;
  filters_.push_back(std::move(filter));
  if (added) *added = filters_.back().get();
  Register();
  return 0;
}

bool TFilterList::Contains(const TFilter* filter) const {
  return std::any_of(filters_.begin(), filters_.end(),
                     [filter](const auto& f) { return f.get() == filter; });
}

int TFilterList::Remove(TFilter* filter) {
  if (filter && !Contains(filter)) return ie::kInvalidFilterHandle;
  const bool wasActive = filter ? filter->Active() : cursor_.Visibility().AnyFilterActive();
  if (filter) {
    std::erase_if(filters_, [filter](const auto& f) { return f.get() == filter; });
  } else {
    filters_.clear();
  }
  Register();
  if (wasActive) cursor_.RefreshVisibility();
  return 0;
}

int TFilterList::SetActive(TFilter* filter, bool active) {
  if (filter && !Contains(filter)) return ie::kInvalidFilterHandle;
  if (filter) {
    if (filter->Active() == active) return 0;
    filter->SetActive(active);
    cursor_.FilterChanged(*filter, active);
    return 0;
  }
  for (auto& f : filters_) f->SetActive(active);
  cursor_.RefreshVisibility();
  return 0;
}

void TFilterList::CopyFrom(const TFilterList& other, TFilterHost& host) {
  for (const auto& filter : other.filters_) filters_.push_back(filter->Copy(host));
  Register();
  cursor_.RefreshVisibility();
}

void TFilterList::Clear() {
  cursor_.Visibility().Filters().clear();
  filters_.clear();
}

void TFilterList::Register() {
  auto& registered = cursor_.Visibility().Filters();
  registered.clear();
  for (auto& f : filters_) registered.push_back(f.get());
}

}  // namespace katalog
