// TStringField: a single-byte text column, handed over zero-terminated in Size() + 1 bytes.
// TWideStringField and TGuidField take their place in the class tree under it.
#pragma once

#include "dataset/Field.h"

namespace katalog {

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner, TFieldType type = ftString);
  std::string_view ClassName() const override { return "TStringField"; }

  int DataSize() const override { return Size() + 1; }
  int DefaultWidth() const override { return Size(); }
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(std::string mask) { editMask_ = std::move(mask); }
  bool FixedChar() const { return fixedChar_; }
  void SetFixedChar(bool value) { fixedChar_ = value; }
  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool value) { transliterate_ = value; }

 protected:
  // The characters up to the first zero byte, translated by the data set when Transliterate.
  std::string GetAsString() const override;
  std::int64_t GetAsInteger() const override;
  double GetAsFloat() const override;
  // True exactly when the text starts with T, t, Y or y.
  bool GetAsBoolean() const override;
  double GetAsDateTime() const override;
  std::int64_t GetAsCurrency() const override;
  TVariant GetAsVariant() const override { return GetAsString(); }
  // Display text through the EditMask when one is set.
  std::string GetText(bool displayText) const override;

  // Stores at most Size() characters.
  void SetAsString(std::string_view value) override;
  void SetAsInteger(std::int64_t value) override;
  void SetAsFloat(double value) override;
  void SetAsBoolean(bool value) override;
  void SetAsDateTime(double value) override;
  void SetAsCurrency(std::int64_t value) override;

 private:
  std::string editMask_;
  bool fixedChar_ = false;
  bool transliterate_ = true;
};

class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(TComponent* owner) : TStringField(owner, ftWideString) {}
  std::string_view ClassName() const override { return "TWideStringField"; }
};

class TGuidField : public TStringField {
 public:
  explicit TGuidField(TComponent* owner);
  std::string_view ClassName() const override { return "TGuidField"; }
};

}  // namespace katalog
