#include "engine/storage/FieldDescriptor.h"

#include <cstring>

#include "engine/storage/ShortString.h"
#include "platform/ByteOrder.h"

namespace katalog {
namespace {

constexpr int kNameWidth = 82;
constexpr int kCheckWidth = 51;
constexpr int kExpressionWidth = 256;
constexpr int kCompiledExpressionOffset = 504;

}  // namespace

std::uint8_t PhysicalSizeOf(std::uint8_t typeCode, std::uint8_t declaredSize) {
  switch (typeCode) {
    case ft::kString:
      return static_cast<std::uint8_t>(declaredSize + 1);
    case ft::kDate:
    case ft::kBlob:
    case ft::kInteger:
    case ft::kTime:
    case ft::kLongWord:
      return 4;
    case ft::kBoolean:
    case ft::kSmallInt:
    case ft::kWord:
      return 2;
    case ft::kFloat:
    case ft::kBcd:
    case ft::kDateTime:
      return 8;
    case ft::kTenBytes:
      return 10;
    default:
      return declaredSize;  // none, bytes, variable bytes and unknown codes
  }
}

TFieldDescriptor DecodeFieldDescriptor(const std::uint8_t* b) {
  TFieldDescriptor d;
  std::memcpy(d.Raw.data(), b, kFieldDescriptorSize);
  d.FieldNumber = LoadI16(b + 0);
  d.Name = LoadShortString(b + 2, kNameWidth);
  d.FieldTypeCode = b[84];
  d.SubTypeCode = b[85];
  d.DeclaredSize = b[86];
  d.DeclaredScale = b[87];
  d.PhysicalSize = b[88];
  d.PhysicalScale = b[89];
  d.FieldOffset = LoadI16(b + 90);
  d.RequiredFlag = b[92];
  d.MinValue = LoadShortString(b + 94, kCheckWidth);
  d.MaxValue = LoadShortString(b + 145, kCheckWidth);
  d.DefaultValue = LoadShortString(b + 196, kCheckWidth);
  d.Expression = LoadShortString(b + 247, kExpressionWidth);
  return d;
}

void EncodeFieldDescriptor(const TFieldDescriptor& d, std::uint8_t* b) {
  std::memcpy(b, d.Raw.data(), kFieldDescriptorSize);
  StoreI16(b + 0, d.FieldNumber);
  StoreShortString(b + 2, kNameWidth, d.Name);
  b[84] = d.FieldTypeCode;
  b[85] = d.SubTypeCode;
  b[86] = d.DeclaredSize;
  b[87] = d.DeclaredScale;
  b[88] = d.PhysicalSize;
  b[89] = d.PhysicalScale;
  StoreI16(b + 90, d.FieldOffset);
  b[92] = d.RequiredFlag;
  StoreShortString(b + 94, kCheckWidth, d.MinValue);
  StoreShortString(b + 145, kCheckWidth, d.MaxValue);
  StoreShortString(b + 196, kCheckWidth, d.DefaultValue);
  StoreShortString(b + 247, kExpressionWidth, d.Expression);
  std::memset(b + kCompiledExpressionOffset, 0, 4);
}

}  // namespace katalog
