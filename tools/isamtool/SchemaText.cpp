#include "tools/isamtool/SchemaText.h"

#include "platform/AsciiText.h"
#include "platform/FormatSettings.h"
#include "platform/IsoDateTime.h"
#include "platform/TextConversion.h"

namespace katalog::isamtool {

namespace {

constexpr TTypeName kTypes[] = {
    {"string", 1, 0},   {"date", 2, 0},      {"time", 10, 0},        {"datetime", 11, 0},
    {"boolean", 4, 0},  {"smallint", 5, 0},  {"integer", 6, 0},      {"autoinc", 6, 29},
    {"word", 12, 0},    {"float", 7, 0},     {"currency", 7, 21},    {"bcd", 8, 0},
    {"bytes", 9, 0},    {"varbytes", 15, 0}, {"memo", 3, 22},        {"blob", 3, 23},
    {"fmtmemo", 3, 24}, {"graphic", 3, 26},  {"typedbinary", 3, 28},
};

// Type codes of the values that have forms to convert.
enum : std::uint8_t { kDate = 2, kBoolean = 4, kFloat = 7, kBcd = 8, kTime = 10, kDateTime = 11 };

// Names of the current date and time, which both forms share.
bool IsMoment(const std::string& upper) {
  return upper == "DATE" || upper == "TIME" || upper == "NOW";
}

void ReplaceAll(std::string& text, char from, char to) {
  for (char& c : text) c = c == from ? to : c;
}

}  // namespace

const TTypeName* TypeNamed(std::string_view name) {
  for (const TTypeName& type : kTypes) {
    if (name == type.Name) return &type;
  }
  return nullptr;
}

std::string TypeNameOf(std::uint8_t code, std::uint8_t subType) {
  for (const TTypeName& type : kTypes) {
    if (type.Code == code && type.SubType == subType) return type.Name;
  }
  if (code == 3) return "blob";  // a blob of a kind schemas do not name
  if (code == 6) return "integer";
  if (code == 7) return "float";
  return code == 13 ? "longword" : "unknown";
}

bool CheckValueToTable(std::string& text, std::uint8_t code,
                       const platform::TFormatSettings& table) {
  if (text.empty()) return true;
  const std::string upper = platform::AsciiUppercased(text);
  if (IsMoment(upper)) {
    text = upper;
    return true;
  }
  platform::TTimeStamp stamp{};
  switch (code) {
    case kBoolean:
      text = upper;  // TRUE or FALSE
      return true;
    case kFloat:
    case kBcd: {
      platform::TFormatSettings point = table;
      point.DecimalSeparator = '.';
      double number = 0;
      if (!platform::TryStrToFloat(text, number, point)) return false;
      ReplaceAll(text, '.', table.DecimalSeparator);
      return true;
    }
    case kDate:
      if (!platform::TryIsoStrToDate(text, stamp.Date)) return false;
      text = platform::DateToStr(stamp.Date, table);
      return true;
    case kTime:
      if (!platform::TryIsoStrToTime(text, stamp.Time)) return false;
      text = platform::TimeToStr(stamp.Time, table);
      return true;
    case kDateTime:
      if (!platform::TryIsoStrToDateTime(text, stamp)) return false;
      text = platform::DateTimeToStr(stamp, table);
      return true;
    default:
      return true;
  }
}

const char* CheckValueForm(std::uint8_t code) {
  switch (code) {
    case kDate:
      return "must be a date YYYY-MM-DD";
    case kFloat:
    case kBcd:
      return "must be a number like 2.5";
    case kTime:
      return "must be a time HH:MM:SS";
    case kDateTime:
      return "must be a date-time YYYY-MM-DD HH:MM:SS";
    default:
      return "does not read";
  }
}

std::string CheckValueToTool(const std::string& text, std::uint8_t code,
                             const platform::TFormatSettings& table) {
  if (text.empty() || IsMoment(platform::AsciiUppercased(text))) return text;
  platform::TTimeStamp stamp{};
  switch (code) {
    case kBoolean:
      return platform::AsciiLowercased(text);
    case kFloat:
    case kBcd: {
      std::string number = text;
      ReplaceAll(number, table.DecimalSeparator, '.');
      return number;
    }
    case kDate:
      return platform::TryStrToDate(text, stamp.Date, table) ? platform::IsoDateToStr(stamp.Date)
                                                             : text;
    case kTime:
      return platform::TryStrToTime(text, stamp.Time, table) ? platform::IsoTimeToStr(stamp.Time)
                                                             : text;
    case kDateTime:
      return platform::TryStrToDateTime(text, stamp, table) ? platform::IsoDateTimeToStr(stamp)
                                                            : text;
    default:
      return text;
  }
}

}  // namespace katalog::isamtool
