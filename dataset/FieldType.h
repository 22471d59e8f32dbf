// The column types of a data set, the kinds of field and the attributes of a field definition.
#pragma once

#include <cstdint>
#include <string_view>

namespace katalog {

enum TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
};
inline constexpr int kFieldTypeCount = ftGuid + 1;

// "String", "SmallInt", "Memo", ...: the name used in messages and blob descriptions.
std::string_view FieldTypeName(TFieldType type);

// The type a field and its definition must share to be bound together: the integer types count
// as ftInteger, ftCurrency as ftFloat, dates and times as ftDateTime, the blob types as ftBlob,
// ftFixedChar and ftGuid as ftString, ftIDispatch as ftInterface, ftCursor and ftWideString as
// ftUnknown; every other type is its own base.
TFieldType BaseFieldType(TFieldType type);

// ftBlob .. ftTypedBinary, ftOraBlob and ftOraClob.
bool IsBlobType(TFieldType type);

enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TFieldAttribute : unsigned {
  faHiddenCol = 1u << 0,
  faReadonly = 1u << 1,
  faRequired = 1u << 2,
  faLink = 1u << 3,
  faUnNamed = 1u << 4,
  faFixed = 1u << 5,
};
// A set of TFieldAttribute bits.
using TFieldAttributes = unsigned;

enum TFilterOption : unsigned { foCaseInsensitive = 1u << 0, foNoPartialCompare = 1u << 1 };
// A set of TFilterOption bits.
using TFilterOptions = unsigned;

// The forms in which a filter text's constants are read as the compared field's type: Locale the
// user-default locale's short date and time formats and decimal separator (what a user types),
// Iso the fixed forms of platform/IsoDateTime.h and '.' as the decimal point (what programs
// exchange). An unquoted number has '.' as its decimal point in both.
enum class TConstantForms : std::uint8_t { Locale, Iso };

}  // namespace katalog
