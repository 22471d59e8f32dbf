// The number fields: integers of 16, 32 and 64 bits, floating point, currency and BCD. Their
// text follows DisplayFormat and EditFormat (the number format language of NumberFormat.h) when
// set, else the class's default form.
#pragma once

#include <cstdint>

#include "dataset/Field.h"

namespace katalog {

class TNumericField : public TField {
 public:
  TNumericField(TComponent* owner, TFieldType type);

  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }
  const std::string& EditFormat() const { return editFormat_; }
  void SetEditFormat(std::string format) { editFormat_ = std::move(format); }

 protected:
  // DisplayFormat for display; EditFormat, else DisplayFormat, for editing; empty when neither.
  const std::string& FormatFor(bool displayText) const;
  // An integer's text: through FormatFor when it is set, else its decimal digits.
  std::string IntegerText(std::int64_t value, bool displayText) const;
  // "%d is not a valid value for field '%s'. The allowed range is %d to %d" outside the range
  // minValue .. maxValue (0 .. 0 meaning none) or the type's typeMin .. typeMax.
  void CheckIntegerRange(std::int64_t value, std::int64_t minValue, std::int64_t maxValue,
                         std::int64_t typeMin, std::int64_t typeMax) const;
  // Reads the text of an integer: "'%s' is not a valid integer value" otherwise.
  static std::int64_t IntegerOfText(std::string_view text);

 private:
  std::string displayFormat_;
  std::string editFormat_;
};

// Integers that fit 32 bits. MinValue and MaxValue of 0 leave only the type's own range.
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* owner, TFieldType type = ftInteger);
  std::string_view ClassName() const override { return "TIntegerField"; }
  int DataSize() const override { return 4; }

  std::int64_t MinValue() const { return minValue_; }
  void SetMinValue(std::int64_t value) { minValue_ = value; }
  std::int64_t MaxValue() const { return maxValue_; }
  void SetMaxValue(std::int64_t value) { maxValue_ = value; }

 protected:
  // The native value widened; false when blank.
  virtual bool ReadInteger(std::int64_t& value) const;
  virtual void WriteInteger(std::int64_t value);
  // The range the type itself allows.
  virtual std::int64_t TypeMin() const { return INT32_MIN; }
  virtual std::int64_t TypeMax() const { return INT32_MAX; }

  std::string GetAsString() const override;
  std::int64_t GetAsInteger() const override;
  double GetAsFloat() const override { return static_cast<double>(GetAsInteger()); }
  std::int64_t GetAsCurrency() const override;
  TVariant GetAsVariant() const override { return GetAsInteger(); }
  std::string GetText(bool displayText) const override;
  void SetAsString(std::string_view value) override;
  // "%d is not a valid value for field '%s'. The allowed range is %d to %d" outside the range.
  void SetAsInteger(std::int64_t value) override;
  void SetAsFloat(double value) override;
  void SetAsCurrency(std::int64_t value) override;

 private:
  std::int64_t minValue_ = 0;
  std::int64_t maxValue_ = 0;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner) : TIntegerField(owner, ftSmallint) {}
  std::string_view ClassName() const override { return "TSmallintField"; }
  int DataSize() const override { return 2; }

 protected:
  bool ReadInteger(std::int64_t& value) const override;
  void WriteInteger(std::int64_t value) override;
  std::int64_t TypeMin() const override { return INT16_MIN; }
  std::int64_t TypeMax() const override { return INT16_MAX; }
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* owner) : TIntegerField(owner, ftWord) {}
  std::string_view ClassName() const override { return "TWordField"; }
  int DataSize() const override { return 2; }

 protected:
  bool ReadInteger(std::int64_t& value) const override;
  void WriteInteger(std::int64_t value) override;
  std::int64_t TypeMin() const override { return 0; }
  std::int64_t TypeMax() const override { return UINT16_MAX; }
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc) {}
  std::string_view ClassName() const override { return "TAutoIncField"; }
};

// Integers of 64 bits.
class TLargeintField : public TNumericField {
 public:
  explicit TLargeintField(TComponent* owner) : TNumericField(owner, ftLargeint) {}
  std::string_view ClassName() const override { return "TLargeintField"; }
  int DataSize() const override { return 8; }
  int DefaultWidth() const override { return 15; }

  std::int64_t MinValue() const { return minValue_; }
  void SetMinValue(std::int64_t value) { minValue_ = value; }
  std::int64_t MaxValue() const { return maxValue_; }
  void SetMaxValue(std::int64_t value) { maxValue_ = value; }

 protected:
  std::string GetAsString() const override;
  std::int64_t GetAsInteger() const override;
  double GetAsFloat() const override { return static_cast<double>(GetAsInteger()); }
  TVariant GetAsVariant() const override { return GetAsInteger(); }
  std::string GetText(bool displayText) const override;
  void SetAsString(std::string_view value) override;
  void SetAsInteger(std::int64_t value) override;

 private:
  std::int64_t minValue_ = 0;
  std::int64_t maxValue_ = 0;
};

// A double. Currency on shows the locale's currency form.
class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* owner, TFieldType type = ftFloat);
  std::string_view ClassName() const override { return "TFloatField"; }
  int DataSize() const override { return 8; }

  bool Currency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  double MinValue() const { return minValue_; }
  void SetMinValue(double value) { minValue_ = value; }
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double value) { maxValue_ = value; }
  // Significant digits of the default texts, 2 .. 15.
  int Precision() const { return precision_; }
  void SetPrecision(int value);

 protected:
  std::string GetAsString() const override;
  std::int64_t GetAsInteger() const override;
  double GetAsFloat() const override;
  std::int64_t GetAsCurrency() const override;
  TVariant GetAsVariant() const override { return GetAsFloat(); }
  std::string GetText(bool displayText) const override;
  void SetAsString(std::string_view value) override;
  void SetAsInteger(std::int64_t value) override { SetAsFloat(static_cast<double>(value)); }
  // "%g is not a valid value for field '%s'. The allowed range is %g to %g" outside MinValue ..
  // MaxValue when either is set.
  void SetAsFloat(double value) override;
  void SetAsCurrency(std::int64_t value) override { SetAsFloat(static_cast<double>(value) / 1e4); }

 private:
  bool currency_ = false;
  double minValue_ = 0;
  double maxValue_ = 0;
  int precision_ = 15;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* owner);
  std::string_view ClassName() const override { return "TCurrencyField"; }
};

// A decimal read in the currency form (the value times 10 000); Size() is its number of decimals.
// Text that cannot be made shows "(Overflow)".
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(TComponent* owner);
  std::string_view ClassName() const override { return "TBCDField"; }
  int DataSize() const override { return 34; }
  int DefaultWidth() const override { return precision_ > 0 ? precision_ + 1 : 10; }

  bool Currency() const { return currency_; }
  void SetCurrency(bool value) { currency_ = value; }
  std::int64_t MinValue() const { return minValue_; }
  void SetMinValue(std::int64_t value) { minValue_ = value; }
  std::int64_t MaxValue() const { return maxValue_; }
  void SetMaxValue(std::int64_t value) { maxValue_ = value; }
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }

 protected:
  std::string GetAsString() const override;
  std::int64_t GetAsInteger() const override;
  double GetAsFloat() const override { return static_cast<double>(GetAsCurrency()) / 1e4; }
  std::int64_t GetAsCurrency() const override;
  TVariant GetAsVariant() const override { return GetAsFloat(); }
  std::string GetText(bool displayText) const override;
  void SetAsString(std::string_view value) override;
  void SetAsInteger(std::int64_t value) override;
  void SetAsFloat(double value) override;
  void SetAsCurrency(std::int64_t value) override;

 private:
  bool currency_ = false;
  std::int64_t minValue_ = 0;
  std::int64_t maxValue_ = 0;
  int precision_ = 0;
};

}  // namespace katalog
