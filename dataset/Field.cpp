#include "dataset/Field.h"

#include <cctype>
#include <cstring>
#include <type_traits>
#include <variant>

#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/FieldClasses.h"
#include "dataset/FieldText.h"
#include "platform/AsciiText.h"
#include "platform/ScopeGuard.h"

namespace katalog {

TField::TField(TComponent* owner, TFieldType dataType) : TComponent(owner), dataType_(dataType) {}

TField::~TField() {
  Destroying();
  if (dataSet_) dataSet_->ForgetField(this);
  SetDataSet(nullptr);
  SetLookupDataSet(nullptr);
}

void TField::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet) dataSet->Fields().Add(this);  // checks first: a refused field stays where it was
  if (dataSet_) dataSet_->Fields().Remove(this);
  dataSet_ = dataSet;
}

void TField::SetSize(int size) {
  if (!IsValidFieldSize(dataType_, size)) DatabaseError("Invalid field size");
  size_ = size;
}

void TField::SetFieldName(std::string name) {
  if (displayLabel_ == name) displayLabel_.clear();
  fieldName_ = std::move(name);
}

const std::string& TField::DisplayName() const {
  return displayLabel_.empty() ? fieldName_ : displayLabel_;
}

int TField::Index() const {
  return dataSet_ ? dataSet_->Fields().IndexOf(this) : -1;
}

void TField::SetLookupDataSet(TDataSet* dataSet) {
  if (lookupDataSet_) RemoveFreeNotification(lookupDataSet_);
  lookupDataSet_ = dataSet;
  if (lookupDataSet_) FreeNotification(lookupDataSet_);
}

void TField::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == lookupDataSet_) lookupDataSet_ = nullptr;
}

TDataSet& TField::CheckDataSet() const {
  if (!dataSet_) DatabaseError(FormatMessage("Field '%s' has no dataset", {DisplayName()}));
  return *dataSet_;
}

bool TField::ReadValue(void* destination, bool nativeFormat) const {
  TDataSet& dataSet = CheckDataSet();
  if (!validating_) return dataSet.GetFieldData(*this, destination, nativeFormat);
  if (!pendingValue_) return false;
  if (destination) {
    if (nativeFormat) {
      std::memcpy(destination, pendingValue_, static_cast<std::size_t>(DataSize()));
    } else {
      dataSet.DataConvert(*this, pendingValue_, destination, false);
    }
  }
  return true;
}

bool TField::IsBlank() const {
  return !ReadValue(nullptr);
}

void TField::WriteValue(const void* source, bool nativeFormat) {
  CheckDataSet().SetFieldData(*this, source, nativeFormat);
}

void TField::SetValueVariant(const TVariant& value) {
  std::visit(
      [this](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          Clear();
        } else if constexpr (std::is_same_v<T, bool>) {
          SetAsBoolean(v);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          SetAsInteger(v);
        } else if constexpr (std::is_same_v<T, double>) {
          SetAsFloat(v);
        } else {
          SetAsString(v);
        }
      },
      value);
}

void TField::SetEditString(std::string_view text) {
  if (onSetText_) {
    onSetText_(*this, text);
  } else {
    SetAsString(text);
  }
}

std::string TField::Text(bool displayText) const {
  if (!onGetText_) return GetText(displayText);
  std::string text;
  onGetText_(const_cast<TField&>(*this), text, displayText);
  return text;
}

void TField::Validate(const void* value) {
  if (!onValidate_) return;
  validating_ = true;
  pendingValue_ = value;
  const platform::TScopeExit validated([&] {
    validating_ = false;
    pendingValue_ = nullptr;
  });
  onValidate_(*this);
}

void TField::Change() {
  if (onChange_) onChange_(*this);
}

void TField::FocusControl() {
  if (dataSet_) dataSet_->DataEvent(TDataEvent::ControlFocus, {.Field = this});
}

bool TField::CanModify() const {
  if (!dataSet_ || readOnly_) return false;
  if (fieldNo_ <= 0) return false;
  if (dataSet_->State() == TDataSetState::KeyEntry) return dataSet_->IsIndexField(*this);
  return dataSet_->CanModify();
}

void TField::Bind(bool binding) {
  if (!binding || fieldKind_ != fkLookup) return;
  if (!lookupDataSet_ || lookupKeyFields_.empty() || lookupResultField_.empty() ||
      keyFields_.empty()) {
    DatabaseError(FormatMessage("Lookup information for field '%s' is incomplete", {DisplayName()}),
                  dataSet_);
  }
  dataSet_->GetFieldList(keyFields_);
  lookupDataSet_->Open();
  lookupDataSet_->GetFieldList(lookupKeyFields_);
  lookupDataSet_->FieldNamed(lookupResultField_);
}

std::string TField::ClassDescription() const {
  std::string name;
  if (IsBlobField()) {
    name = FieldTypeName(dataType_);
  } else {
    name = ClassName().substr(1);
    constexpr std::string_view kSuffix = "Field";
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix) &&
        name.size() - kSuffix.size() > 4) {
      name.resize(name.size() - kSuffix.size());
    }
  }
  std::string description = "(" + name + ")";
  return IsBlank() ? description : platform::AsciiUppercased(description);
}

void TField::AccessError(std::string_view typeName) const {
  DatabaseError(FormatMessage("Cannot access field '%s' as type %s", {DisplayName(), typeName}));
}

}  // namespace katalog
