#include "engine/storage/RecordCodec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/ByteOrder.h"

namespace katalog {
namespace {

// 10^n; scales beyond 18 (only in a damaged file) are taken as 18, the most an int64 holds.
std::int64_t PowerOfTen(int n) {
  n = std::min(n, 18);
  std::int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// The value as an integer, when it is one (or a whole-valued number).
bool AsInteger(const TFieldValue& value, std::int64_t& out) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) {
    out = *i;
    return true;
  }
  if (const auto* b = std::get_if<bool>(&value)) {
    out = *b ? 1 : 0;
    return true;
  }
  return false;
}

bool AsDouble(const TFieldValue& value, double& out) {
  if (const auto* d = std::get_if<double>(&value)) {
    out = *d;
    return true;
  }
  std::int64_t i;
  if (!AsInteger(value, i)) return false;
  out = static_cast<double>(i);
  return true;
}

// The stored amount of a BCD field for the value: an amount as it is, an integer (or boolean)
// as whole units, exactly; a floating value rounded half away from zero. False when the value
// is of another kind or the amount does not fit 64 bits.
bool AsBcd(const TFieldDescriptor& field, const TFieldValue& value, std::int64_t& out) {
  if (const auto* amount = std::get_if<TBcdAmount>(&value)) {
    out = amount->Scaled;
    return true;
  }
  const std::int64_t unit = PowerOfTen(field.PhysicalScale);
  if (std::int64_t units = 0; AsInteger(value, units)) {
    return !__builtin_mul_overflow(units, unit, &out);
  }
  const auto* d = std::get_if<double>(&value);
  if (!d) return false;
  // 2^63 is exact as a double; the range check is made on the rounded product.
  const double scaled = std::round(*d * static_cast<double>(unit));
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) return false;
  out = static_cast<std::int64_t>(scaled);
  return true;
}

bool InRange(std::int64_t v, std::int64_t low, std::int64_t high) {
  return v >= low && v <= high;
}

bool StoreString(const TFieldDescriptor& field, const std::string& text, std::uint8_t* flag) {
  std::size_t length = std::min<std::size_t>(text.find('\0'), text.size());
  length = std::min<std::size_t>(length, field.DeclaredSize);
  while (length > 0 && text[length - 1] == ' ') --length;
  if (length == 0) return true;  // stored as null
  flag[0] = 1;
  std::memcpy(flag + 1, text.data(), length);
  return true;
}

}  // namespace

bool StoreFieldValue(const TFieldDescriptor& field, const TFieldValue& value,
                     std::uint8_t* record) {
  if (field.IsAutoIncrement()) return std::holds_alternative<std::monostate>(value);
  std::uint8_t* flag = record + field.FieldOffset;
  std::uint8_t* data = flag + 1;
  const std::uint8_t size = field.PhysicalSize;
  if (std::holds_alternative<std::monostate>(value)) {
    std::memset(flag, 0, std::size_t{size} + 1);
    return true;
  }
  std::int64_t i = 0;
  double d = 0;
  std::uint8_t bytes[8] = {};
  switch (field.FieldTypeCode) {
    case ft::kString: {
      const auto* text = std::get_if<std::string>(&value);
      if (!text) return false;
      std::memset(flag, 0, std::size_t{size} + 1);
      return StoreString(field, *text, flag);
    }
    case ft::kBoolean:
      if (!AsInteger(value, i)) return false;
      StoreU16(bytes, i != 0 ? 1 : 0);
      break;
    case ft::kSmallInt:
      if (!AsInteger(value, i) || !InRange(i, INT16_MIN, INT16_MAX)) return false;
      StoreI16(bytes, static_cast<std::int16_t>(i));
      break;
    case ft::kWord:
      if (!AsInteger(value, i) || !InRange(i, 0, UINT16_MAX)) return false;
      StoreU16(bytes, static_cast<std::uint16_t>(i));
      break;
    case ft::kDate:
    case ft::kBlob:
    case ft::kInteger:
    case ft::kTime:
    case ft::kLongWord:
      if (!AsInteger(value, i) || !InRange(i, INT32_MIN, INT32_MAX)) return false;
      StoreI32(bytes, static_cast<std::int32_t>(i));
      break;
    case ft::kFloat:
    case ft::kDateTime:
      if (!AsDouble(value, d)) return false;
      StoreDouble(bytes, d);
      break;
    case ft::kBcd:
      if (!AsBcd(field, value, i)) return false;
      StoreI64(bytes, i);
      break;
    default: {  // raw bytes
      const auto* raw = std::get_if<std::string>(&value);
      if (!raw) return false;
      std::memset(data, 0, size);
      std::memcpy(data, raw->data(), std::min<std::size_t>(raw->size(), size));
      flag[0] = 1;
      return true;
    }
  }
  flag[0] = 1;
  std::memcpy(data, bytes, size);
  return true;
}

TFieldValue LoadFieldValue(const TFieldDescriptor& field, const std::uint8_t* record) {
  if (field.IsAutoIncrement()) return std::int64_t{LoadI32(record + kRecordIdOffset)};
  const std::uint8_t* flag = record + field.FieldOffset;
  const std::uint8_t* data = flag + 1;
  if (flag[0] == 0) return std::monostate{};
  switch (field.FieldTypeCode) {
    case ft::kString: {
      const std::size_t limit = field.PhysicalSize;
      const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, limit));
      return std::string(reinterpret_cast<const char*>(data), end ? end - data : limit);
    }
    case ft::kBoolean:
      return LoadU16(data) != 0;
    case ft::kSmallInt:
      return std::int64_t{LoadI16(data)};
    case ft::kWord:
      return std::int64_t{LoadU16(data)};
    case ft::kDate:
    case ft::kBlob:
    case ft::kInteger:
    case ft::kTime:
    case ft::kLongWord:
      return std::int64_t{LoadI32(data)};
    case ft::kFloat:
    case ft::kDateTime:
      return LoadDouble(data);
    case ft::kBcd:
      return TBcdAmount{LoadI64(data)};
    default:
      return std::string(reinterpret_cast<const char*>(data), field.PhysicalSize);
  }
}

}  // namespace katalog
