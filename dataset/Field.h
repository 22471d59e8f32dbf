// TField: a column of a data set as everybody but the engine sees it. A field holds no value of
// its own: every read asks the data set for the value in the record image that the data set's
// state selects, and converts it to the form asked for. The typed classes (StringField.h,
// NumericFields.h, ...) supply the conversions; what a class does not support raises
// "Cannot access field '%s' as type %s".
//
// A field is a component owned by its data set (or by whoever made it) and belongs to at most
// one data set's field list. Invariants: DataSet() lists this field in its Fields() exactly when
// DataSet() is set; FieldNo() is 0 while unbound, the field number of its definition (the
// column's number in the record) while bound to a data column and -1 for calculated, lookup and
// aggregate fields.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dataset/FieldType.h"
#include "dataset/Variant.h"
#include "platform/Component.h"

namespace katalog {

class TDataSet;

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TAutoRefreshFlag : std::uint8_t { arNone, arAutoInc, arDefault };
enum TProviderFlag : unsigned {
  pfInUpdate = 1u << 0,
  pfInWhere = 1u << 1,
  pfInKey = 1u << 2,
  pfHidden = 1u << 3
};
using TProviderFlags = unsigned;

class TField : public TComponent {
 public:
  using TFieldNotifyEvent = std::function<void(TField& sender)>;
  using TFieldGetTextEvent =
      std::function<void(TField& sender, std::string& text, bool displayText)>;
  using TFieldSetTextEvent = std::function<void(TField& sender, std::string_view text)>;

  TField(TComponent* owner, TFieldType dataType);
  ~TField() override;

  // "TStringField", ...: the class's name, from which the class description is made.
  virtual std::string_view ClassName() const { return "TField"; }

  TDataSet* DataSet() const { return dataSet_; }
  // Leaves the old data set's field list and joins the new one's (with its checks).
  void SetDataSet(TDataSet* dataSet);

  TFieldType DataType() const { return dataType_; }
  int Size() const { return size_; }
  // "Invalid field size" when the size breaks the class's rule.
  void SetSize(int size);
  // The number of bytes of the value in its native form.
  virtual int DataSize() const { return 0; }
  virtual bool IsBlobField() const { return false; }

  int FieldNo() const { return fieldNo_; }
  // The offset of a calculated or lookup field's slot in the record's calculated area.
  int Offset() const { return offset_; }
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind kind) { fieldKind_ = kind; }
  bool Calculated() const { return fieldKind_ == fkCalculated; }
  bool Lookup() const { return fieldKind_ == fkLookup; }

  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  const std::string& DisplayLabel() const { return displayLabel_; }
  void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
  // DisplayLabel when set, else FieldName.
  const std::string& DisplayName() const;
  // DisplayWidth when at least 1, else the class's default width.
  int DisplayWidth() const { return displayWidth_ >= 1 ? displayWidth_ : DefaultWidth(); }
  void SetDisplayWidth(int width) { displayWidth_ = width; }
  virtual int DefaultWidth() const { return 10; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment alignment) { alignment_ = alignment; }
  // The position in the data set's field list, -1 without one.
  int Index() const;
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }

  // Constraints and provider settings are stored for whoever reads them; the framework itself
  // does not evaluate them.
  const std::string& CustomConstraint() const { return customConstraint_; }
  void SetCustomConstraint(std::string text) { customConstraint_ = std::move(text); }
  const std::string& ConstraintErrorMessage() const { return constraintErrorMessage_; }
  void SetConstraintErrorMessage(std::string text) { constraintErrorMessage_ = std::move(text); }
  const std::string& ImportedConstraint() const { return importedConstraint_; }
  void SetImportedConstraint(std::string text) { importedConstraint_ = std::move(text); }
  bool HasConstraints() const { return !customConstraint_.empty() || !importedConstraint_.empty(); }
  const std::string& DefaultExpression() const { return defaultExpression_; }
  void SetDefaultExpression(std::string text) { defaultExpression_ = std::move(text); }
  const std::string& Origin() const { return origin_; }
  void SetOrigin(std::string text) { origin_ = std::move(text); }
  TAutoRefreshFlag AutoGenerateValue() const { return autoGenerateValue_; }
  void SetAutoGenerateValue(TAutoRefreshFlag value) { autoGenerateValue_ = value; }
  TProviderFlags ProviderFlags() const { return providerFlags_; }
  void SetProviderFlags(TProviderFlags flags) { providerFlags_ = flags; }

  // A lookup field takes, for the values of KeyFields of its own data set, the LookupResultField
  // of the LookupDataSet record whose LookupKeyFields hold them.
  TDataSet* LookupDataSet() const { return lookupDataSet_; }
  void SetLookupDataSet(TDataSet* dataSet);
  const std::string& KeyFields() const { return keyFields_; }
  void SetKeyFields(std::string names) { keyFields_ = std::move(names); }
  const std::string& LookupKeyFields() const { return lookupKeyFields_; }
  void SetLookupKeyFields(std::string names) { lookupKeyFields_ = std::move(names); }
  const std::string& LookupResultField() const { return lookupResultField_; }
  void SetLookupResultField(std::string name) { lookupResultField_ = std::move(name); }
  bool LookupCache() const { return lookupCache_; }
  void SetLookupCache(bool value) { lookupCache_ = value; }

  const TFieldNotifyEvent& OnChange() const { return onChange_; }
  void SetOnChange(TFieldNotifyEvent handler) { onChange_ = std::move(handler); }
  const TFieldNotifyEvent& OnValidate() const { return onValidate_; }
  void SetOnValidate(TFieldNotifyEvent handler) { onValidate_ = std::move(handler); }
  const TFieldGetTextEvent& OnGetText() const { return onGetText_; }
  void SetOnGetText(TFieldGetTextEvent handler) { onGetText_ = std::move(handler); }
  const TFieldSetTextEvent& OnSetText() const { return onSetText_; }
  void SetOnSetText(TFieldSetTextEvent handler) { onSetText_ = std::move(handler); }

  // Reading. ReadValue copies the value to the destination (native form, or with nativeFormat
  // off the field form: day-based floating dates, currency-scaled BCD) and says whether one is
  // present; "Field '%s' has no dataset" without a data set.
  bool ReadValue(void* destination, bool nativeFormat = true) const;
  virtual bool IsBlank() const;
  std::string ValueString() const { return GetAsString(); }
  std::int64_t ValueInteger() const { return GetAsInteger(); }
  double ValueFloat() const { return GetAsFloat(); }
  bool ValueBoolean() const { return GetAsBoolean(); }
  double ValueDateTime() const { return GetAsDateTime(); }
  // The value times 10 000.
  std::int64_t ValueCurrency() const { return GetAsCurrency(); }
  TVariant ValueVariant() const { return IsBlank() ? TVariant{} : GetAsVariant(); }
  // The text to show and the text to edit: OnGetText's when assigned, else the class's.
  std::string DisplayString() const { return Text(true); }
  std::string EditString() const { return Text(false); }

  // Writing, through the data set's field-writing step (which validates first).
  void WriteValue(const void* source, bool nativeFormat = true);
  void Clear() { WriteValue(nullptr); }
  void SetValueString(std::string_view value) { SetAsString(value); }
  void SetValueInteger(std::int64_t value) { SetAsInteger(value); }
  void SetValueFloat(double value) { SetAsFloat(value); }
  void SetValueBoolean(bool value) { SetAsBoolean(value); }
  void SetValueDateTime(double value) { SetAsDateTime(value); }
  void SetValueCurrency(std::int64_t value) { SetAsCurrency(value); }
  void SetValueVariant(const TVariant& value);
  // OnSetText's when assigned, else the value as text.
  void SetEditString(std::string_view text);

  // Runs OnValidate for a value about to be stored (native form, null = blank): while it runs,
  // reads of this field see that value.
  void Validate(const void* value);
  // Runs OnChange; the data set calls it when the field's value was stored.
  void Change();
  // Asks the control showing this field to take the focus.
  void FocusControl();
  // Drops what the field keeps of an edit in progress; called when an edit ends.
  virtual void FreeBuffers() {}
  // Whether a value may be stored through this field now.
  bool CanModify() const;

  // Called by the data set's binding step.
  void SetFieldNo(int fieldNo) { fieldNo_ = fieldNo; }
  void SetOffset(int offset) { offset_ = offset; }
  // A lookup field checks that its lookup settings name existing fields.
  virtual void Bind(bool binding);

 protected:
  virtual std::string GetAsString() const { return ClassDescription(); }
  virtual std::int64_t GetAsInteger() const { AccessError("Integer"); }
  virtual double GetAsFloat() const { AccessError("Float"); }
  virtual bool GetAsBoolean() const { AccessError("Boolean"); }
  virtual double GetAsDateTime() const { AccessError("DateTime"); }
  virtual std::int64_t GetAsCurrency() const { AccessError("Currency"); }
  virtual TVariant GetAsVariant() const { AccessError("Variant"); }
  // The display (displayText) or edit text without an OnGetText handler.
  virtual std::string GetText(bool /*displayText*/) const { return GetAsString(); }

  virtual void SetAsString(std::string_view) { AccessError("String"); }
  virtual void SetAsInteger(std::int64_t) { AccessError("Integer"); }
  virtual void SetAsFloat(double) { AccessError("Float"); }
  virtual void SetAsBoolean(bool) { AccessError("Boolean"); }
  virtual void SetAsDateTime(double) { AccessError("DateTime"); }
  virtual void SetAsCurrency(std::int64_t) { AccessError("Currency"); }

  // "(Memo)", "(Bytes)", ..., upper-cased when the field is not blank.
  std::string ClassDescription() const;
  [[noreturn]] void AccessError(std::string_view typeName) const;
  // The data set; "Field '%s' has no dataset" without one.
  TDataSet& CheckDataSet() const;
  void SetDataType(TFieldType type) { dataType_ = type; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TFields;
  std::string Text(bool displayText) const;

  TDataSet* dataSet_ = nullptr;
  TFieldType dataType_;
  int size_ = 0;
  int fieldNo_ = 0;
  int offset_ = 0;
  TFieldKind fieldKind_ = fkData;
  std::string fieldName_;
  std::string displayLabel_;
  int displayWidth_ = 0;
  TAlignment alignment_ = taLeftJustify;
  bool readOnly_ = false;
  bool required_ = false;
  bool visible_ = true;
  std::string customConstraint_;
  std::string constraintErrorMessage_;
  std::string importedConstraint_;
  std::string defaultExpression_;
  std::string origin_;
  TAutoRefreshFlag autoGenerateValue_ = arNone;
  TProviderFlags providerFlags_ = pfInUpdate | pfInWhere;
  TDataSet* lookupDataSet_ = nullptr;
  std::string keyFields_;
  std::string lookupKeyFields_;
  std::string lookupResultField_;
  bool lookupCache_ = false;
  TFieldNotifyEvent onChange_;
  TFieldNotifyEvent onValidate_;
  TFieldGetTextEvent onGetText_;
  TFieldSetTextEvent onSetText_;
  bool validating_ = false;
  const void* pendingValue_ = nullptr;
};

}  // namespace katalog
