// TDateTimeField, TDateField, TTimeField: dates and times, read in the day-based floating form
// (whole days since 30 December 1899, the fraction the time of day) that the data set converts
// from the native day numbers and millisecond counts.
#pragma once

#include "dataset/Field.h"

namespace katalog {

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* owner, TFieldType type = ftDateTime);
  std::string_view ClassName() const override { return "TDateTimeField"; }
  int DataSize() const override { return 8; }
  int DefaultWidth() const override { return 18; }

  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string format) { displayFormat_ = std::move(format); }
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(std::string mask) { editMask_ = std::move(mask); }

 protected:
  std::string GetAsString() const override { return GetText(false); }
  double GetAsFloat() const override { return GetAsDateTime(); }
  double GetAsDateTime() const override;
  TVariant GetAsVariant() const override { return GetAsDateTime(); }
  // DisplayFormat for display when set; else by type the short date, the long time, or both,
  // a date-time at midnight showing the date alone.
  std::string GetText(bool displayText) const override;
  void SetAsString(std::string_view value) override;
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  void SetAsDateTime(double value) override;

 private:
  std::string displayFormat_;
  std::string editMask_;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* owner) : TDateTimeField(owner, ftDate) {}
  std::string_view ClassName() const override { return "TDateField"; }
  int DataSize() const override { return 4; }
  int DefaultWidth() const override { return 10; }
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* owner) : TDateTimeField(owner, ftTime) {}
  std::string_view ClassName() const override { return "TTimeField"; }
  int DataSize() const override { return 4; }
  int DefaultWidth() const override { return 10; }
};

}  // namespace katalog
