#include "dataset/Fields.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"

namespace katalog {

TField* TFields::Fields(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return fields_[static_cast<std::size_t>(index)];
}

int TFields::IndexOf(const TField* field) const {
  const auto it = std::find(fields_.begin(), fields_.end(), field);
  return it == fields_.end() ? -1 : static_cast<int>(it - fields_.begin());
}

// Names are unique ignoring case, so a field spelled exactly as asked is the one; that usual case
// is found with plain comparisons before any name is folded.
TField* TFields::TryFieldNamed(std::string_view name) const {
  for (TField* field : fields_) {
    if (field->FieldName() == name) return field;
  }
  for (TField* field : fields_) {
    if (SameFieldName(field->FieldName(), name)) return field;
  }
  return nullptr;
}

TField* TFields::FieldNamed(std::string_view name) const {
  TField* field = TryFieldNamed(name);
  if (!field) DatabaseError(FormatMessage("Field '%s' not found", {name}), dataSet_);
  return field;
}

TField* TFields::FieldNumbered(int fieldNo) const {
  for (TField* field : fields_) {
    if (field->FieldNo() == fieldNo) return field;
  }
  return nullptr;
}

void TFields::Add(TField* field) {
  if (field->FieldKind() == fkAggregate) DatabaseError("Invalid FieldKind", dataSet_);
  if (dataSet_) {
    if (field->FieldName().empty()) DatabaseError("Field name missing", dataSet_);
    if (TryFieldNamed(field->FieldName())) {
      DatabaseError(FormatMessage("Duplicate field name '%s'", {field->FieldName()}), dataSet_);
    }
  }
  fields_.push_back(field);
  Changed();
}

void TFields::Remove(TField* field) {
  const auto it = std::find(fields_.begin(), fields_.end(), field);
  if (it == fields_.end()) return;
  fields_.erase(it);
  Changed();
}

void TFields::SetIndex(TField* field, int index) {
  const int from = IndexOf(field);
  if (from < 0) return;
  index = std::clamp(index, 0, Count() - 1);
  if (index == from) return;
  fields_.erase(fields_.begin() + from);
  fields_.insert(fields_.begin() + index, field);
  Changed();
}

void TFields::Clear() {
  while (!fields_.empty()) delete fields_.back();  // each destructor leaves the list
}

void TFields::Changed() {
  if (dataSet_ && (dataSet_->ComponentState() & csDestroying) == 0) {
    dataSet_->DataEvent(TDataEvent::FieldListChanged);
  }
}

}  // namespace katalog
