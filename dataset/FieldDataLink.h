// TFieldDataLink: the link of a control that shows one field. It binds the field by name while
// active (a missing name raises "Field '%s' not found" attributed to the control) and calls the
// control back when the field's value, the editing state or the link's activity changes, and
// when a pending edit must be written.
#pragma once

#include <functional>
#include <string>

#include "dataset/DataLink.h"

namespace katalog {

class TComponent;

class TFieldDataLink : public TDataLink {
 public:
  using TCallback = std::function<void()>;
  // Returns whether the control took the focus.
  using TFocusCallback = std::function<bool()>;

  // The control the link belongs to names the errors; none makes the data set name them.
  explicit TFieldDataLink(TComponent* control = nullptr);

  TComponent* Control() const { return control_; }
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  TField* Field() const { return field_; }
  bool Editing() const { return editing_; }
  // The control holds an edit not yet written into the field.
  bool Modified() const { return modified_; }
  void SetModified() { modified_ = true; }
  // Whether the control may change the field now.
  bool CanModify() const;
  // Puts the data set into Editing when the link may modify; returns Editing().
  bool Edit() override;
  // Shows the field's value again, dropping the control's edit.
  void Reset();

  void SetOnDataChange(TCallback callback) { onDataChange_ = std::move(callback); }
  void SetOnEditingChange(TCallback callback) { onEditingChange_ = std::move(callback); }
  void SetOnUpdateData(TCallback callback) { onUpdateData_ = std::move(callback); }
  void SetOnActiveChange(TCallback callback) { onActiveChange_ = std::move(callback); }
  void SetOnFocusControl(TFocusCallback callback) { onFocusControl_ = std::move(callback); }

 protected:
  void HandleActiveChange() override;
  void HandleEditingChange() override;
  void HandleFocusField(TField*& field) override;
  void HandleLayoutChange() override { UpdateField(); }
  void ForgetField(TField* field) override {
    if (field_ == field) field_ = nullptr;
  }
  void HandleRecordChange(TField* field) override;
  void HandleWritePending() override;

 private:
  void UpdateField();
  void SetField(TField* field);
  void SetEditing(bool value);

  TComponent* control_;
  std::string fieldName_;
  TField* field_ = nullptr;
  bool editing_ = false;
  bool modified_ = false;
  TCallback onDataChange_;
  TCallback onEditingChange_;
  TCallback onUpdateData_;
  TCallback onActiveChange_;
  TFocusCallback onFocusControl_;
};

}  // namespace katalog
