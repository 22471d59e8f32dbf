// TIndexDef and TIndexDefs: the descriptions of a table's indexes as the table data set shows
// them, read from the index file even while the table is closed. Index 0 is the primary index.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace katalog {

enum TIndexOption : unsigned {
  ixPrimary = 1u << 0,
  ixUnique = 1u << 1,
  ixDescending = 1u << 2,
  ixCaseInsensitive = 1u << 3,
  ixExpression = 1u << 4,
};
using TIndexOptions = unsigned;

struct TIndexDef {
  std::string Name;
  std::string Fields;  // the field names joined with ";"
  TIndexOptions Options = 0;
};

class TIndexDefs {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const TIndexDef& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  void Clear() { items_.clear(); }
  void Add(TIndexDef def) { items_.push_back(std::move(def)); }
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }

  // The index for a field list: first one whose Fields equal the list, then one whose Fields
  // begin with it up to a ";" (ignoring case), passing over descending and expression indexes
  // and, when caseInsensitive is asked, indexes without ixCaseInsensitive. None when none fits.
  const TIndexDef* FindIndexForFields(std::string_view fields, bool caseInsensitive) const;

 private:
  std::vector<TIndexDef> items_;
  bool updated_ = false;
};

}  // namespace katalog
