// TDataFile: installing a working descriptor list, and the values of its computed fields.
#include <algorithm>
#include <cmath>
#include <set>

#include "dataset/FieldDefs.h"
#include "engine/index/ComputedExpression.h"
#include "engine/index/FilterEvaluator.h"
#include "engine/storage/FieldChecks.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/Locale.h"

namespace katalog {

namespace {

std::string Trimmed(const std::string& name) {
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

// A BCD amount of the evaluator (units of 1/10 000) as the field's stored amount, rounded half
// away from zero when the field has fewer decimals; null when it does not fit.
TFieldValue StoredAmount(const TFieldDescriptor& field, std::int64_t amount) {
  constexpr int kAmountScale = 4;
  const int scale = std::min<int>(field.PhysicalScale, 18);
  std::int64_t unit = 1;
  for (int i = std::min(scale, kAmountScale); i < std::max(scale, kAmountScale); ++i) unit *= 10;
  std::int64_t scaled = 0;
  if (scale >= kAmountScale) {
    if (__builtin_mul_overflow(amount, unit, &scaled)) return std::monostate{};
    return TBcdAmount{scaled};
  }
  const std::int64_t rest = amount % unit;
  scaled = amount / unit;
  if (2 * (rest < 0 ? -rest : rest) >= unit) scaled += rest < 0 ? -1 : 1;
  return TBcdAmount{scaled};
}

// An evaluated value in the form the field's type stores, null when it has none.
TFieldValue StoredForm(const TFieldDescriptor& field, const TFilterValue& value) {
  if (value.Null || value.Type == 0) return std::monostate{};
  // Amounts and integers reach a BCD field exactly, not through a double.
  if (field.FieldTypeCode == ft::kBcd && value.Type == ft::kBcd) {
    return StoredAmount(field, value.Integer);
  }
  if (field.FieldTypeCode == ft::kBcd && value.Type != ft::kFloat && value.Type != ft::kDateTime &&
      value.Type != ft::kString) {
    return value.Integer;
  }
  const bool floating = value.Type == ft::kFloat || value.Type == ft::kDateTime;
  const double number = value.Type == ft::kBcd ? static_cast<double>(value.Integer) / 1e4
                        : floating             ? value.Float
                                               : static_cast<double>(value.Integer);
  switch (field.FieldTypeCode) {
    case ft::kString:
      if (value.Type == ft::kString) return value.Text;
      return std::monostate{};
    case ft::kBoolean:
      return number != 0;
    case ft::kFloat:
    case ft::kBcd:
    case ft::kDateTime:
      return number;
    default:
      if (!std::isfinite(number) || std::fabs(number) > 9.2e18) return std::monostate{};
      return static_cast<std::int64_t>(std::llround(number));
  }
}

}  // namespace

void TDataFile::SetWorkingFields(std::vector<TFieldDescriptor> fields) {
  const platform::TFormatSettings& settings = TableFormatSettings(LocaleId());
  std::set<int> numbers;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TFieldDescriptor& field = fields[i];
    field.Name = Trimmed(field.Name);
    if (field.Name.empty() || !IsFieldNameStart(field.Name[0])) Raise(ie::kInvalidFieldName);
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFieldName(fields[j].Name, field.Name)) {
        Raise(ie::kInvalidFieldName);
      }
    }
    if (!numbers.insert(field.FieldNumber).second || field.FieldTypeCode == 0) {
      Raise(ie::kInvalidFieldDefinition);
    }
    const bool sized = field.FieldTypeCode == ft::kString || field.FieldTypeCode == ft::kBytes ||
                       field.FieldTypeCode == ft::kVarBytes;
    if (sized && field.DeclaredSize > kMaxDeclaredSize) Raise(ie::kInvalidFieldDefinition);
    if (!sized) field.DeclaredSize = 0;
    for (const std::string* text : {&field.DefaultValue, &field.MinValue, &field.MaxValue}) {
      if (!text->empty() && !IsAcceptableCheckText(field, *text, settings)) {
        Raise(ie::kInvalidFieldCheck);
      }
    }
    if (field.Expression.empty()) {
      // A stored field keeps the table's layout.
      const auto stored = std::find_if(
          physicalFields_.begin(), physicalFields_.end(),
          [&](const TFieldDescriptor& f) { return f.FieldNumber == field.FieldNumber; });
      if (stored == physicalFields_.end() || stored->FieldTypeCode != field.FieldTypeCode) {
        Raise(ie::kInvalidFieldDefinition);
      }
      field.FieldOffset = stored->FieldOffset;
      field.PhysicalSize = stored->PhysicalSize;
      field.PhysicalScale = stored->PhysicalScale;
    }
  }
  // Field numbers index the list: descriptor n sits at n - 1.
  std::sort(fields.begin(), fields.end(),
            [](const auto& a, const auto& b) { return a.FieldNumber < b.FieldNumber; });
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].FieldNumber != static_cast<int>(i) + 1) Raise(ie::kInvalidFieldDefinition);
  }
  std::vector<std::pair<int, std::unique_ptr<TFilterNode>>> computed;
  int offset = 0;
  for (TFieldDescriptor& field : fields) {
    if (field.Expression.empty()) continue;
    field.PhysicalSize = PhysicalSizeOf(field.FieldTypeCode, field.DeclaredSize);
    field.PhysicalScale = field.DeclaredScale;
    field.FieldOffset = static_cast<std::int16_t>(header_.RecordSize + offset);
    offset += 1 + field.PhysicalSize;
    if (header_.RecordSize + offset > 0x7FFF) Raise(ie::kRecordTooLarge);
  }
  for (const TFieldDescriptor& field : fields) {
    if (!field.Expression.empty()) {
      computed.emplace_back(field.FieldNumber,
                            ParseComputedExpression(field.Expression, fields, FileName()));
    }
  }
  TOperation operation(*this);
  ReleaseCurrent();
  // The new cache starts without modified records; only a lock or an exclusive open holds any.
  if (!ReadOnly() && (tableLocked_ || Exclusive())) WriteHeldChanges(TCacheTrim::Keep);
  workingFields_ = std::move(fields);
  computed_ = std::move(computed);
  computedAreaSize_ = static_cast<std::uint16_t>(offset);
  MakeRecordCache();
  values_->SetComputedFieldEvaluator(computed_.empty()
                                         ? TComputedFieldEvaluator{}
                                         : [this](const TFieldList& list, std::uint8_t* record) {
                                             EvaluateComputedFields(list, record);
                                           });
}

void TDataFile::EvaluateComputedFields(const TFieldList& fields, std::uint8_t* record) const {
  const TEvaluationContext context{LocaleId(), &fields};
  for (const auto& [number, tree] : computed_) {
    const TFieldDescriptor& field = fields[static_cast<std::size_t>(number - 1)];
    const TFieldValue value = StoredForm(field, Evaluate(*tree, record, context));
    if (!values_->WriteComputedField(fields, number, value, record)) {
      values_->WriteComputedField(fields, number, std::monostate{}, record);
    }
  }
}

}  // namespace katalog
