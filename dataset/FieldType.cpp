#include "dataset/FieldType.h"

#include <array>

namespace katalog {

std::string_view FieldTypeName(TFieldType type) {
  static constexpr std::array<std::string_view, kFieldTypeCount> kNames = {
      "Unknown",    "String",     "SmallInt", "Integer",     "Word",      "Boolean",
      "Float",      "Currency",   "BCD",      "Date",        "Time",      "DateTime",
      "Bytes",      "VarBytes",   "AutoInc",  "Blob",        "Memo",      "Graphic",
      "FmtMemo",    "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor",    "FixedChar",
      "WideString", "LargeInt",   "ADT",      "Array",       "Reference", "DataSet",
      "OraBlob",    "OraClob",    "Variant",  "Interface",   "Dispatch",  "Guid"};
  return type < kFieldTypeCount ? kNames[type] : kNames[ftUnknown];
}

TFieldType BaseFieldType(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return ftInteger;
    case ftCurrency:
      return ftFloat;
    case ftDate:
    case ftTime:
      return ftDateTime;
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return ftBlob;
    case ftFixedChar:
    case ftGuid:
      return ftString;
    case ftIDispatch:
      return ftInterface;
    case ftCursor:
    case ftWideString:
      return ftUnknown;
    default:
      return type;
  }
}

bool IsBlobType(TFieldType type) {
  return (type >= ftBlob && type <= ftTypedBinary) || type == ftOraBlob || type == ftOraClob;
}

}  // namespace katalog
