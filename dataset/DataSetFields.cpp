// TDataSet: creating and binding fields, and reading and writing their values.
#include <cmath>
#include <cstring>

#include "dataset/Bcd.h"
#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"
#include "platform/DateTime.h"

namespace katalog {

using namespace platform;

namespace {

// The types whose field form differs from the form the cursor stores.
bool NeedsConversion(TFieldType type) {
  return type == ftDate || type == ftTime || type == ftDateTime || type == ftBCD;
}

// The largest native value of a converted type (a BCD).
constexpr std::size_t kMaxConvertedSize = sizeof(TBcd);

template <class T>
T Load(const void* source) {
  T value;
  std::memcpy(&value, source, sizeof value);
  return value;
}

template <class T>
void Store(void* destination, T value) {
  std::memcpy(destination, &value, sizeof value);
}

}  // namespace

TField* TDataSet::FieldNamed(std::string_view name) {
  return fields_.FieldNamed(name);
}

std::vector<TField*> TDataSet::GetFieldList(std::string_view names) {
  std::vector<TField*> list;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    const std::string_view name = names.substr(start, end - start);
    if (!name.empty() || end < names.size()) list.push_back(FieldNamed(name));
    start = end + 1;
  }
  return list;
}

void TDataSet::CreateFields() {
  for (int i = 0; i < fieldDefs_.Count(); ++i) fieldDefs_.Items(i).CreateField(*this);
}

void TDataSet::DestroyFields() {
  fields_.Clear();
}

void TDataSet::BindFields(bool binding) {
  calcFieldsSize_ = 0;
  internalCalcFields_ = false;
  int blobCount = 0;
  for (TField* field : fields_) {
    if (!binding) {
      field->Bind(false);
      field->SetFieldNo(0);
      continue;
    }
    switch (field->FieldKind()) {
      case fkCalculated:
      case fkLookup: {
        const TFieldType type = field->DataType();
        if (!((type >= ftString && type <= ftDateTime) || type == ftVariant)) {
          DatabaseError(FormatMessage("Field '%s' cannot be a calculated or lookup field",
                                      {field->DisplayName()}));
        }
        field->SetFieldNo(-1);
        field->SetOffset(calcFieldsSize_);
        calcFieldsSize_ += field->DataSize() + 1;
        break;
      }
      case fkAggregate:
        field->SetFieldNo(-1);
        break;
      case fkData:
      case fkInternalCalc: {
        const int index = fieldDefs_.IndexOf(field->FieldName());
        if (index < 0) {
          DatabaseError(FormatMessage("Field '%s' not found", {field->DisplayName()}), this);
        }
        // The definition's own number: a data set that leaves columns out (the engine's
        // 10-byte values) keeps the numbers of the columns after them.
        const TFieldDef& def = fieldDefs_.Items(index);
        field->SetFieldNo(def.FieldNo());
        if (BaseFieldType(field->DataType()) != BaseFieldType(def.DataType())) {
          DatabaseError(FormatMessage("Type mismatch for field '%s', expecting: %s actual: %s",
                                      {field->DisplayName(), FieldTypeName(field->DataType()),
                                       FieldTypeName(def.DataType())}));
        }
        const TFieldType type = field->DataType();
        if ((type == ftBCD || type == ftBytes || type == ftVarBytes || type == ftReference) &&
            field->Size() != def.Size()) {
          DatabaseError(FormatMessage(
              "Size mismatch for field '%s', expecting: %d actual: %d",
              {field->DisplayName(), std::to_string(field->Size()), std::to_string(def.Size())}));
        }
        if (def.InternalCalcField()) internalCalcFields_ = true;
        if (field->IsBlobField()) {
          field->SetSize(def.Size());
          field->SetOffset(blobCount++);
        }
        break;
      }
    }
    field->Bind(true);
  }
}

bool TDataSet::GetFieldData(const TField& field, void* buffer, bool nativeFormat) {
  if (nativeFormat || !buffer || !NeedsConversion(field.DataType())) {
    return ReadFieldData(field, buffer);
  }
  std::uint8_t native[kMaxConvertedSize] = {};
  if (!ReadFieldData(field, native)) return false;
  DataConvert(field, native, buffer, false);
  return true;
}

void TDataSet::SetFieldData(TField& field, const void* buffer, bool nativeFormat) {
  if (nativeFormat || !buffer || !NeedsConversion(field.DataType())) {
    return WriteFieldData(field, buffer);
  }
  std::uint8_t native[kMaxConvertedSize] = {};
  DataConvert(field, buffer, native, true);
  WriteFieldData(field, native);
}

void TDataSet::DataConvert(const TField& field, const void* source, void* destination,
                           bool toNative) {
  switch (field.DataType()) {
    case ftDate:
      if (toNative) {
        Store<std::int32_t>(destination, DateTimeToTimeStamp(Load<double>(source)).Date);
      } else {
        Store<double>(destination, TimeStampToDateTime({Load<std::int32_t>(source), 0}));
      }
      break;
    case ftTime:
      if (toNative) {
        Store<std::int32_t>(destination, DateTimeToTimeStamp(Load<double>(source)).Time);
      } else {
        Store<double>(destination, TimeStampToDateTime({kDateDelta, Load<std::int32_t>(source)}));
      }
      break;
    case ftDateTime:
      if (toNative) {
        const TTimeStamp stamp = DateTimeToTimeStamp(Load<double>(source));
        Store<double>(destination, double(stamp.Date) * kMsecsPerDay + stamp.Time);
      } else {
        // Milliseconds since the start of day 1; an unreadable value is day 0, time 0.
        const double ms = Load<double>(source);
        TTimeStamp stamp{0, 0};
        if (std::isfinite(ms) && ms >= 0 && ms < double(kMaxDayNumber + 1) * kMsecsPerDay) {
          const double days = std::floor(ms / kMsecsPerDay);
          stamp = {static_cast<std::int32_t>(days),
                   static_cast<std::int32_t>(ms - days * kMsecsPerDay)};
        }
        Store<double>(destination, TimeStampToDateTime(stamp));
      }
      break;
    case ftBCD:
      if (toNative) {
        TBcd bcd{};
        if (!CurrToBcd(Load<std::int64_t>(source), bcd, 32, field.Size())) {
          throw EOverflow(
              FormatMessage("Value of field '%s' is out of range", {field.DisplayName()}));
        }
        std::memcpy(destination, &bcd, sizeof bcd);
      } else {
        std::int64_t value = 0;
        if (!BcdToCurr(Load<TBcd>(source), value)) {
          throw EOverflow(
              FormatMessage("Value of field '%s' is out of range", {field.DisplayName()}));
        }
        Store<std::int64_t>(destination, value);
      }
      break;
    default:
      std::memcpy(destination, source, static_cast<std::size_t>(field.DataSize()));
  }
}

}  // namespace katalog
