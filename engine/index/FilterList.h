// TFilterList: the filters of one open table, in the order they were added. It owns them and
// keeps the cursor's visibility told which exist; activating or deactivating one rebuilds the
// cursor's bitmaps. At most kMaxFilters filters exist at once.
#pragma once

#include <memory>
#include <vector>

#include "engine/index/Filter.h"

namespace katalog {

class TIndexCursor;

inline constexpr int kMaxFilters = 128;

class TFilterList {
 public:
  explicit TFilterList(TIndexCursor& cursor) : cursor_(cursor) {}
  ~TFilterList() { Clear(); }
  TFilterList(const TFilterList&) = delete;
  TFilterList& operator=(const TFilterList&) = delete;

  // 0, or kTooManyFilters when kMaxFilters filters exist (the filter is then dropped).
  [[nodiscard]] int Add(std::unique_ptr<TFilter> filter, TFilter** added = nullptr);
  // A filter, or none for all: 0, or kInvalidFilterHandle for a filter not in the list.
  [[nodiscard]] int Remove(TFilter* filter);
  [[nodiscard]] int Activate(TFilter* filter) { return SetActive(filter, true); }
  [[nodiscard]] int Deactivate(TFilter* filter) { return SetActive(filter, false); }
  int Count() const { return static_cast<int>(filters_.size()); }
  TFilter* At(int index) const { return filters_.at(static_cast<std::size_t>(index)).get(); }
  // Copies of another list's filters, reading through `host`, active as they were there.
  void CopyFrom(const TFilterList& other, TFilterHost& host);
  // Drops every filter without touching the cursor (the table is closing).
  void Clear();

 private:
  [[nodiscard]] int SetActive(TFilter* filter, bool active);
  bool Contains(const TFilter* filter) const;
  void Register();

  TIndexCursor& cursor_;
  std::vector<std::unique_ptr<TFilter>> filters_;
};

}  // namespace katalog
