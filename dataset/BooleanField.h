// TBooleanField: a 16-bit flag (non-zero is true) shown as one of two texts, "True" and "False"
// unless DisplayValues says otherwise.
#pragma once

#include "dataset/Field.h"

namespace katalog {

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  std::string_view ClassName() const override { return "TBooleanField"; }
  int DataSize() const override { return 2; }
  int DefaultWidth() const override;

  const std::string& DisplayValues() const { return displayValues_; }
  // "Ano;Ne": the text before the first ";" is the true text, the text after it (at most 255
  // characters) the false text. Without ";" the first 255 characters are the true text and what
  // follows the 256th the false text. Empty restores "True" and "False".
  void SetDisplayValues(std::string values);

 protected:
  std::string GetAsString() const override;
  bool GetAsBoolean() const override;
  TVariant GetAsVariant() const override { return GetAsBoolean(); }
  // The true or false text, compared without regard to case; empty clears.
  void SetAsString(std::string_view value) override;
  void SetAsBoolean(bool value) override;

 private:
  std::string displayValues_;
  std::string trueText_ = "True";
  std::string falseText_ = "False";
};

}  // namespace katalog
