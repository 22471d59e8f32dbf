// TFields: a data set's list of field objects, in column order. The list does not own the fields
// (their owner component does); a field leaves the list when it is destroyed or moves to another
// data set. Every change of the list is announced to the data set as FieldListChanged.
#pragma once

#include <string_view>
#include <vector>

namespace katalog {

class TDataSet;
class TField;

class TFields {
 public:
  explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}

  int Count() const { return static_cast<int>(fields_.size()); }
  // Throws std::out_of_range ("List index out of bounds (%d)") outside 0 .. Count() - 1.
  TField* Fields(int index) const;
  int IndexOf(const TField* field) const;
  // The first field with that name (user locale, ignoring case), or none.
  TField* TryFieldNamed(std::string_view name) const;
  // As TryFieldNamed; a missing field raises "Field '%s' not found" attributed to the data set.
  TField* FieldNamed(std::string_view name) const;
  // The first field with that field number, or none.
  TField* FieldNumbered(int fieldNo) const;

  // Appends a field: "Invalid FieldKind" for an aggregate, and with a data set "Field name
  // missing" for an empty name, "Duplicate field name '%s'" for a name already listed.
  void Add(TField* field);
  void Remove(TField* field);
  // Moves a field to another position (clamped to the list).
  void SetIndex(TField* field, int index);
  // Destroys every field of the list.
  void Clear();

  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }

 private:
  void Changed();

  TDataSet* dataSet_;
  std::vector<TField*> fields_;
};

}  // namespace katalog
