// TBinaryField and its classes: raw bytes of a fixed size (TBytesField) or a 16-bit length
// followed by up to Size() bytes (TVarBytesField). Their display and edit text is the class
// description; their value as text is the bytes themselves.
#pragma once

#include "dataset/Field.h"

namespace katalog {

class TBinaryField : public TField {
 public:
  TBinaryField(TComponent* owner, TFieldType type);
  std::string_view ClassName() const override { return "TBinaryField"; }

 protected:
  std::string GetAsString() const override { return Bytes(); }
  TVariant GetAsVariant() const override { return Bytes(); }
  std::string GetText(bool /*displayText*/) const override { return ClassDescription(); }
  void SetAsString(std::string_view value) override { SetBytes(value); }

  // The stored bytes, empty when blank; a value longer than Size() is cut.
  virtual std::string Bytes() const = 0;
  virtual void SetBytes(std::string_view bytes) = 0;
};

class TBytesField : public TBinaryField {
 public:
  explicit TBytesField(TComponent* owner, TFieldType type = ftBytes) : TBinaryField(owner, type) {}
  std::string_view ClassName() const override { return "TBytesField"; }
  int DataSize() const override { return Size(); }

 protected:
  std::string Bytes() const override;
  // Padded with zero bytes to Size().
  void SetBytes(std::string_view bytes) override;
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner) : TBytesField(owner, ftVarBytes) {}
  std::string_view ClassName() const override { return "TVarBytesField"; }
  int DataSize() const override { return Size() + 2; }

 protected:
  std::string Bytes() const override;
  void SetBytes(std::string_view bytes) override;
};

}  // namespace katalog
