#include "dataset/FieldClasses.h"

#include "dataset/BinaryFields.h"
#include "dataset/BlobFields.h"
#include "dataset/BooleanField.h"
#include "dataset/DateTimeFields.h"
#include "dataset/NumericFields.h"
#include "dataset/ObjectFields.h"
#include "dataset/StringField.h"

namespace katalog {

TField* NewFieldOfType(TFieldType type, TComponent* owner) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return new TStringField(owner);
    case ftSmallint:
      return new TSmallintField(owner);
    case ftInteger:
      return new TIntegerField(owner);
    case ftWord:
      return new TWordField(owner);
    case ftBoolean:
      return new TBooleanField(owner);
    case ftFloat:
      return new TFloatField(owner);
    case ftCurrency:
      return new TCurrencyField(owner);
    case ftBCD:
      return new TBCDField(owner);
    case ftDate:
      return new TDateField(owner);
    case ftTime:
      return new TTimeField(owner);
    case ftDateTime:
      return new TDateTimeField(owner);
    case ftBytes:
      return new TBytesField(owner);
    case ftVarBytes:
      return new TVarBytesField(owner);
    case ftAutoInc:
      return new TAutoIncField(owner);
    case ftBlob:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
      return new TBlobField(owner);
    case ftMemo:
    case ftOraClob:
      return new TMemoField(owner);
    case ftGraphic:
      return new TGraphicField(owner);
    case ftLargeint:
      return new TLargeintField(owner);
    case ftWideString:
      return new TWideStringField(owner);
    case ftADT:
      return new TADTField(owner);
    case ftArray:
      return new TArrayField(owner);
    case ftReference:
      return new TReferenceField(owner);
    case ftDataSet:
      return new TDataSetField(owner);
    case ftVariant:
      return new TVariantField(owner);
    case ftInterface:
      return new TInterfaceField(owner);
    case ftIDispatch:
      return new TIDispatchField(owner);
    case ftGuid:
      return new TGuidField(owner);
    case ftUnknown:
    case ftCursor:
      break;
  }
  return nullptr;
}

bool IsValidFieldSize(TFieldType type, int size) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
      return size >= 0 && size <= 8192;
    case ftBCD:
      return size >= 0 && size <= 32;
    case ftBytes:
    case ftVarBytes:
      return size > 0;
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
      return size >= 0;
    default:
      return IsBlobType(type) ? size >= 0 : size == 0;
  }
}

}  // namespace katalog
