#include "engine/index/Keys.h"

#include <algorithm>
#include <cstring>

#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

int CompareBytes(const std::uint8_t* a, const std::uint8_t* b, int n) {
  return n <= 0 ? 0 : Sign(std::memcmp(a, b, static_cast<std::size_t>(n)));
}

// Integers: big-endian with the top bit inverted, so negative values sort first.
void EncodeSigned(std::uint8_t* out, std::int64_t value, int width) {
  StoreBigEndian(out, static_cast<std::uint64_t>(value), width);
  out[0] ^= 0x80;
}

void EncodeDouble(std::uint8_t* out, double value) {
  StoreBigEndian(out, std::bit_cast<std::uint64_t>(value), 8);
  if (value < 0) {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
  } else {
    out[0] |= 0x80;
  }
}

void EncodeString(const TFieldDescriptor& field, const std::uint8_t* data, bool caseInsensitive,
                  std::uint32_t localeId, std::uint8_t* out) {
  const std::size_t capacity = field.PhysicalSize;
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, capacity));
  const std::size_t length = end ? static_cast<std::size_t>(end - data) : capacity;
  const char* text = reinterpret_cast<const char*>(data);
  if (localeId != 0) {
    const std::uint32_t flags =
        platform::kMapHalfWidth | (caseInsensitive ? platform::kMapUpperCase : 0);
    const std::string mapped =
        platform::LCMapStringA(localeId, flags, text, static_cast<int>(length));
    // Mapping never lengthens single-byte text; the slot bounds it whatever happens.
    std::memcpy(out, mapped.data(), std::min(mapped.size(), capacity));
    return;
  }
  std::memcpy(out, text, length);
  if (caseInsensitive) {
    std::transform(out, out + length, out, [](std::uint8_t c) {
      return static_cast<std::uint8_t>(platform::AsciiUpper(static_cast<char>(c)));
    });
  }
}

void EncodeValue(const TFieldDescriptor& field, const std::uint8_t* data, bool caseInsensitive,
                 std::uint32_t localeId, std::uint8_t* out) {
  switch (field.FieldTypeCode) {
    case ft::kString:
      EncodeString(field, data, caseInsensitive, localeId, out);
      break;
    case ft::kDate:
    case ft::kInteger:
    case ft::kTime:
      EncodeSigned(out, LoadI32(data), 4);
      break;
    case ft::kSmallInt:
      EncodeSigned(out, LoadI16(data), 2);
      break;
    case ft::kBcd:
      EncodeSigned(out, LoadI64(data), 8);
      break;
    case ft::kBoolean:
    case ft::kWord:
      StoreBigEndian(out, LoadU16(data), 2);
      break;
    case ft::kFloat:
    case ft::kDateTime:
      EncodeDouble(out, LoadDouble(data));
      break;
    default:
      std::memcpy(out, data, field.PhysicalSize);
  }
}

// Fills bytes [from, to) of each slot from p on with the slot's lowest (high = false) or
// highest value.
void Fill(const TKeyContext& context, std::uint8_t* key, int p, bool high) {
  const int n = context.Index->KeyLength;
  if (context.ByteOrdered()) {
    if (p < n) std::memset(key + p, high ? 0xFF : 0x00, static_cast<std::size_t>(n - p));
    return;
  }
  int position = 0;
  for (int i = 0; i < context.Index->FieldCount && position < n; ++i) {
    const TFieldDescriptor& field = context.Field(i);
    const int end = std::min(n, position + 1 + field.PhysicalSize);
    std::uint8_t value = high ? 0xFF : 0x00;
    if (field.FieldTypeCode == ft::kString) {
      value = high ? (*context.CollationOrder)[255] : (*context.CollationOrder)[0];
    }
    for (int b = std::max(p, position); b < end; ++b) key[b] = value;
    position = end;
  }
  for (int b = std::max(p, position); b < n; ++b) key[b] = high ? 0xFF : 0x00;
}

// One field slot: the presence byte, then the encoded value (`encode`) or zeros, complemented
// when asked. A string keeps its last byte (the place of the terminating zero) uncomplemented.
void BuildSlot(const TFieldDescriptor& field, bool present, bool encode, const std::uint8_t* data,
               bool complement, bool caseInsensitive, std::uint32_t localeId, std::uint8_t* slot) {
  const std::size_t size = field.PhysicalSize;
  slot[0] = present ? 1 : 0;
  if (encode) {
    EncodeValue(field, data, caseInsensitive, localeId, slot + 1);
  } else {
    std::memset(slot + 1, 0, size);
  }
  if (complement) {
    const std::size_t length = field.FieldTypeCode == ft::kString ? size : size + 1;
    for (std::size_t i = 0; i < length; ++i) slot[i] = static_cast<std::uint8_t>(~slot[i]);
  }
}

}  // namespace

std::uint16_t KeyLengthOf(const std::vector<const TFieldDescriptor*>& fields, bool hasSuffix) {
  int length = hasSuffix ? 4 : 0;
  for (const TFieldDescriptor* field : fields) length += 1 + field->PhysicalSize;
  return static_cast<std::uint16_t>(std::min(length, 0xFFFF));
}

void BuildFieldSlot(const TFieldDescriptor& field, const std::uint8_t* data, TSlotOptions options,
                    std::uint32_t localeId, std::uint8_t* slot) {
  BuildSlot(field, true, true, data, options.Complement, options.CaseInsensitive, localeId, slot);
}

void BuildKey(const TKeyContext& context, const std::uint8_t* record, std::uint8_t* key,
              TNullSlots nulls) {
  const TIndexDescriptor& index = *context.Index;
  std::memset(key, 0, index.KeyLength);
  if (context.Slot == kDeletedSlot) {
    BuildDeletedKey(record, key);
    return;
  }
  const bool complementable = context.LocaleId == 0 && !index.Descending;
  int position = 0;
  for (int i = 0; i < index.FieldCount; ++i) {
    const TFieldDescriptor& field = context.Field(i);
    if (field.IsAutoIncrement()) {
      BuildFieldSlot(field, record + kRecordIdOffset,
                     {.Complement = complementable && index.FieldDescending[i]}, 0, key + position);
    } else {
      const std::uint8_t* flag = record + field.FieldOffset;
      const bool present = flag[0] != 0;
      BuildSlot(field, present, present || nulls == TNullSlots::StoredBytes, flag + 1,
                complementable && index.FieldDescending[i], index.CaseInsensitive != 0,
                context.LocaleId, key + position);
    }
    position += 1 + field.PhysicalSize;
  }
  if (context.HasSuffix()) {
    EncodeSigned(key + position, LoadI32(record + kRecordIdOffset), 4);
  }
}

void BuildDeletedKey(const std::uint8_t* record, std::uint8_t* key) {
  key[0] = record[0];
  EncodeSigned(key + 1, LoadI32(record + kRecordIdOffset), 4);
}

int CompareKeys(const TKeyContext& context, const std::uint8_t* a, const std::uint8_t* b, int n) {
  const TIndexDescriptor& index = *context.Index;
  const bool descending = index.Descending != 0;
  if (context.ByteOrdered()) {
    const int result = CompareBytes(a, b, n);
    return descending ? -result : result;
  }
  int result = 0;
  int s = 0;
  for (int i = 0; i < index.FieldCount && result == 0 && s < n; ++i) {
    const TFieldDescriptor& field = context.Field(i);
    const bool inverted = descending || index.FieldDescending[i];
    if (field.FieldTypeCode == ft::kString) {
      result = Sign(int{a[s]} - int{b[s]});
      if (result == 0) {
        const int m = std::min<int>(field.PhysicalSize, n - s - 1);
        result = platform::CompareStringA(context.LocaleId, platform::kSortStringSort,
                                          reinterpret_cast<const char*>(a + s + 1), m,
                                          reinterpret_cast<const char*>(b + s + 1), m) -
                 2;
      }
      s += std::min<int>(field.PhysicalSize, n - s - 1) + 1;
    } else {
      const int m = std::min<int>(1 + field.PhysicalSize, n - s);
      result = CompareBytes(a + s, b + s, m);
      s += m;
    }
    if (inverted) result = -result;
  }
  if (result == 0 && s < n) {
    result = CompareBytes(a + s, b + s, n - s);
    if (descending) result = -result;
  }
  return result;
}

void FillLow(const TKeyContext& context, std::uint8_t* key, int p) {
  Fill(context, key, p, false);
}

void FillHigh(const TKeyContext& context, std::uint8_t* key, int p) {
  Fill(context, key, p, true);
}

void IncrementPrefix(std::uint8_t* key, int p) {
  if (std::all_of(key, key + p, [](std::uint8_t b) { return b == 0xFF; })) return;
  for (int i = p - 1; i >= 0; --i) {
    if (++key[i] != 0) return;
  }
}

void DecrementPrefix(std::uint8_t* key, int p) {
  if (std::all_of(key, key + p, [](std::uint8_t b) { return b == 0x00; })) return;
  for (int i = p - 1; i >= 0; --i) {
    if (key[i]-- != 0) return;
  }
}

}  // namespace katalog
