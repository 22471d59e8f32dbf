#include "dataset/FieldDataLink.h"

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"

namespace katalog {

TFieldDataLink::TFieldDataLink(TComponent* control) : TDataLink(true), control_(control) {}

void TFieldDataLink::SetFieldName(std::string name) {
  if (fieldName_ == name) return;
  fieldName_ = std::move(name);
  UpdateField();
}

void TFieldDataLink::UpdateField() {
  TField* field = nullptr;
  if (Active() && !fieldName_.empty()) {
    TDataSet& dataSet = *DataSet();
    if (control_) {
      field = dataSet.TryFieldNamed(fieldName_);
      if (!field) {
        SetField(nullptr);
        DatabaseError(FormatMessage("Field '%s' not found", {fieldName_}), control_);
      }
    } else {
      field = dataSet.TryFieldNamed(fieldName_);
      if (!field) {
        SetField(nullptr);
        dataSet.FieldNamed(fieldName_);  // raises, naming the data set
      }
    }
  }
  SetField(field);
}

void TFieldDataLink::SetField(TField* field) {
  if (field_ == field) return;
  field_ = field;
  HandleEditingChange();
  HandleRecordChange(nullptr);
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ && field_->CanModify();
}

bool TFieldDataLink::Edit() {
  if (CanModify()) TDataLink::Edit();
  return editing_;
}

void TFieldDataLink::Reset() {
  HandleRecordChange(nullptr);
}

void TFieldDataLink::HandleActiveChange() {
  UpdateField();
  if (onActiveChange_) onActiveChange_();
}

void TFieldDataLink::HandleEditingChange() {
  SetEditing(TDataLink::Editing() && CanModify());
}

void TFieldDataLink::SetEditing(bool value) {
  if (editing_ == value) return;
  editing_ = value;
  modified_ = false;
  if (onEditingChange_) onEditingChange_();
}

void TFieldDataLink::HandleRecordChange(TField* field) {
  if (field && field != field_) return;
  if (onDataChange_) onDataChange_();
  modified_ = false;
}

void TFieldDataLink::HandleWritePending() {
  if (!modified_) return;
  if (field_ && onUpdateData_) onUpdateData_();
  modified_ = false;
}

void TFieldDataLink::HandleFocusField(TField*& field) {
  if (field && field == field_ && onFocusControl_ && onFocusControl_()) field = nullptr;
}

}  // namespace katalog
