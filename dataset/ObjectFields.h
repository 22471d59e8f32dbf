// The classes of the structured and special column types. The engine maps a few rare column
// codes onto them; the framework gives them their place in the class tree and the class
// description as their text, and no typed access.
#pragma once

#include "dataset/Field.h"

namespace katalog {

class TObjectField : public TField {
 public:
  TObjectField(TComponent* owner, TFieldType type) : TField(owner, type) {}
  std::string_view ClassName() const override { return "TObjectField"; }
};

class TADTField : public TObjectField {
 public:
  explicit TADTField(TComponent* owner) : TObjectField(owner, ftADT) {}
  std::string_view ClassName() const override { return "TADTField"; }
};

class TArrayField : public TObjectField {
 public:
  explicit TArrayField(TComponent* owner) : TObjectField(owner, ftArray) {}
  std::string_view ClassName() const override { return "TArrayField"; }
};

class TDataSetField : public TObjectField {
 public:
  explicit TDataSetField(TComponent* owner, TFieldType type = ftDataSet)
      : TObjectField(owner, type) {}
  std::string_view ClassName() const override { return "TDataSetField"; }
};

class TReferenceField : public TDataSetField {
 public:
  explicit TReferenceField(TComponent* owner) : TDataSetField(owner, ftReference) {}
  std::string_view ClassName() const override { return "TReferenceField"; }
};

class TVariantField : public TField {
 public:
  explicit TVariantField(TComponent* owner) : TField(owner, ftVariant) {}
  std::string_view ClassName() const override { return "TVariantField"; }
};

class TInterfaceField : public TField {
 public:
  explicit TInterfaceField(TComponent* owner, TFieldType type = ftInterface)
      : TField(owner, type) {}
  std::string_view ClassName() const override { return "TInterfaceField"; }
};

class TIDispatchField : public TInterfaceField {
 public:
  explicit TIDispatchField(TComponent* owner) : TInterfaceField(owner, ftIDispatch) {}
  std::string_view ClassName() const override { return "TIDispatchField"; }
};

}  // namespace katalog
