#include "platform/IsoDateTime.h"

#include <cstdio>

#include "platform/AsciiText.h"

namespace katalog::platform {
namespace {

constexpr std::size_t kDateLength = 10;  // YYYY-MM-DD
constexpr std::size_t kTimeLength = 8;   // HH:MM:SS

// The digits of text[from, from + count) as a number; false when any is no digit.
bool Digits(std::string_view text, std::size_t from, std::size_t count, int& value) {
  if (from + count > text.size()) return false;
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (!IsAsciiDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

bool TryIsoStrToDate(std::string_view text, std::int32_t& dayNumber) {
  int y = 0, m = 0, d = 0;
  return text.size() == kDateLength && Digits(text, 0, 4, y) && text[4] == '-' &&
         Digits(text, 5, 2, m) && text[7] == '-' && Digits(text, 8, 2, d) &&
         TryEncodeDate(y, m, d, dayNumber);
}

bool TryIsoStrToTime(std::string_view text, std::int32_t& msOfDay) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (!(text.size() >= kTimeLength && Digits(text, 0, 2, h) && text[2] == ':' &&
        Digits(text, 3, 2, m) && text[5] == ':' && Digits(text, 6, 2, s))) {
    return false;
  }
  if (text.size() > kTimeLength) {
    const std::size_t decimals = text.size() - kTimeLength - 1;
    if (text[kTimeLength] != '.' || decimals < 1 || decimals > 3 ||
        !Digits(text, kTimeLength + 1, decimals, ms)) {
      return false;
    }
    for (std::size_t i = decimals; i < 3; ++i) ms *= 10;
  }
  return TryEncodeTime(h, m, s, ms, msOfDay);
}

bool TryIsoStrToDateTime(std::string_view text, TTimeStamp& stamp) {
  TTimeStamp read{0, 0};
  if (!TryIsoStrToDate(text.substr(0, kDateLength), read.Date)) return false;
  if (text.size() > kDateLength) {
    const char between = text[kDateLength];
    if ((between != ' ' && between != 'T') ||
        !TryIsoStrToTime(text.substr(kDateLength + 1), read.Time)) {
      return false;
    }
  }
  stamp = read;
  return true;
}

std::string IsoDateToStr(std::int32_t dayNumber) {
  int year = 0, month = 0, day = 0;
  DecodeDate(dayNumber, year, month, day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string IsoTimeToStr(std::int32_t msOfDay) {
  int h = 0, m = 0, s = 0, ms = 0;
  DecodeTime(msOfDay, h, m, s, ms);
  char text[16];
  std::snprintf(text, sizeof text, ms ? "%02d:%02d:%02d.%03d" : "%02d:%02d:%02d", h, m, s, ms);
  return text;
}

std::string IsoDateTimeToStr(TTimeStamp stamp) {
  return IsoDateToStr(stamp.Date) + " " + IsoTimeToStr(stamp.Time);
}

}  // namespace katalog::platform
