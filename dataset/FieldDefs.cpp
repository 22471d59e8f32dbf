#include "dataset/FieldDefs.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "dataset/BlobFields.h"
#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/FieldClasses.h"
#include "dataset/FieldText.h"
#include "dataset/NumericFields.h"
#include "dataset/StringField.h"
#include "platform/AsciiText.h"
#include "platform/Locale.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {

bool IsPlainNameChar(char c) {
  return platform::IsAsciiLetter(c) || platform::IsAsciiDigit(c) || c == '_';
}

// Names of ASCII letters, digits and underscores, the usual kind, are equal under the locale's
// case-insensitive comparison exactly when they are equal ignoring ASCII case: none of these
// characters is ignored or contracted differently by case. Data sets look fields up by name
// for every record a filter handler reads, so this spares the locale's comparison there.
std::optional<bool> SamePlainName(std::string_view a, std::string_view b) {
  if (!std::all_of(a.begin(), a.end(), IsPlainNameChar) ||
      !std::all_of(b.begin(), b.end(), IsPlainNameChar))
    return std::nullopt;
  return platform::EqualsIgnoringAsciiCase(a, b);
}

}  // namespace

bool SameFieldName(std::string_view a, std::string_view b) {
  if (const std::optional<bool> plain = SamePlainName(a, b)) return *plain;
  return platform::CompareStringA(platform::kLocaleUserDefault, platform::kNormIgnoreCase, a.data(),
                                  static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size())) == 2;
}

TFieldDef::TFieldDef(TFieldDefs& collection, std::string name, TFieldType dataType, int size,
                     bool required, int fieldNo)
    : collection_(collection),
      name_(std::move(name)),
      dataType_(dataType),
      size_(size),
      attributes_(required ? TFieldAttributes{faRequired} : TFieldAttributes{0}),
      fieldNo_(fieldNo) {}

TFieldDef::~TFieldDef() = default;

int TFieldDef::Index() const {
  for (int i = 0; i < collection_.Count(); ++i) {
    if (&collection_.Items(i) == this) return i;
  }
  return -1;
}

int TFieldDef::FieldNo() const {
  return fieldNo_ != 0 ? fieldNo_ : Index() + 1;
}

TFieldDefs& TFieldDef::ChildDefs() {
  if (!childDefs_) childDefs_ = std::make_unique<TFieldDefs>(collection_.DataSet());
  return *childDefs_;
}

TField* TFieldDef::CreateField(TDataSet& dataSet) const {
  TField* field = NewFieldOfType(dataType_, &dataSet);
  if (!field) DatabaseError(FormatMessage("Field '%s' is of an unknown type", {name_}));
  const platform::TScopeFail deleteField([&] { delete field; });
  field->SetSize(size_);
  field->SetFieldName(name_);
  field->SetRequired((attributes_ & faRequired) != 0);
  field->SetReadOnly((attributes_ & faReadonly) != 0);
  if (auto* blob = dynamic_cast<TBlobField*>(field)) blob->SetBlobType(dataType_);
  if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetPrecision(precision_);
  field->SetDataSet(&dataSet);
  if (auto* text = dynamic_cast<TStringField*>(field)) {
    if ((attributes_ & faFixed) != 0 || dataType_ == ftFixedChar) text->SetFixedChar(true);
  }
  if (internalCalcField_) field->SetFieldKind(fkInternalCalc);
  return field;
}

TFieldDef& TFieldDefs::Items(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *items_[static_cast<std::size_t>(index)];
}

int TFieldDefs::IndexOf(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameFieldName(items_[static_cast<std::size_t>(i)]->Name(), name)) return i;
  }
  return -1;
}

TFieldDef* TFieldDefs::Find(std::string_view name) const {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : items_[static_cast<std::size_t>(index)].get();
}

TFieldDef& TFieldDefs::AddDef(std::string name, TFieldType dataType, int size, bool required,
                              int fieldNo) {
  if (!IsValidFieldSize(dataType, size)) DatabaseError("Invalid field size");
  items_.push_back(
      std::make_unique<TFieldDef>(*this, std::move(name), dataType, size, required, fieldNo));
  return *items_.back();
}

}  // namespace katalog
