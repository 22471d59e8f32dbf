#include "dataset/DateTimeFields.h"

#include "dataset/DatabaseError.h"
#include "dataset/FieldText.h"
#include "platform/TextConversion.h"

namespace katalog {

using namespace platform;

TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}

double TDateTimeField::GetAsDateTime() const {
  double value = 0;
  ReadValue(&value, false);
  return value;
}

std::string TDateTimeField::GetText(bool displayText) const {
  double value = 0;
  if (!ReadValue(&value, false)) return {};
  const TFormatSettings& settings = UserSettings();
  const TTimeStamp stamp = DateTimeToTimeStamp(value);
  if (displayText && !displayFormat_.empty())
    return FormatDateTime(displayFormat_, stamp, settings);
  switch (DataType()) {
    case ftDate:
      return DateToStr(stamp.Date, settings);
    case ftTime:
      return TimeToStr(stamp.Time, settings);
    default:
      return DateTimeToStr(stamp, settings);
  }
}

void TDateTimeField::SetAsString(std::string_view value) {
  if (value.empty()) return Clear();
  const TFormatSettings& settings = UserSettings();
  TTimeStamp stamp{};
  bool ok = false;
  switch (DataType()) {
    case ftDate:
      ok = TryStrToDate(value, stamp.Date, settings);
      break;
    case ftTime:
      stamp.Date = kDateDelta;
      ok = TryStrToTime(value, stamp.Time, settings);
      break;
    default:
      ok = TryStrToDateTime(value, stamp, settings);
  }
  if (!ok) ConvertError("'%s' is not a valid date and time", value);
  SetAsDateTime(TimeStampToDateTime(stamp));
}

void TDateTimeField::SetAsDateTime(double value) {
  WriteValue(&value, false);
}

}  // namespace katalog
