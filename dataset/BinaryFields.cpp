#include "dataset/BinaryFields.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace katalog {

TBinaryField::TBinaryField(TComponent* owner, TFieldType type) : TField(owner, type) {
  SetSize(16);
}

std::string TBytesField::Bytes() const {
  std::string bytes(static_cast<std::size_t>(DataSize()), '\0');
  if (!ReadValue(bytes.data())) return {};
  return bytes;
}

void TBytesField::SetBytes(std::string_view bytes) {
  std::vector<char> buffer(static_cast<std::size_t>(DataSize()), '\0');
  std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), buffer.size()));
  WriteValue(buffer.data());
}

std::string TVarBytesField::Bytes() const {
  std::vector<char> buffer(static_cast<std::size_t>(DataSize()), '\0');
  if (!ReadValue(buffer.data())) return {};
  std::uint16_t length = 0;
  std::memcpy(&length, buffer.data(), 2);
  // A stored length beyond the field's size is damage: show what the field can hold.
  return std::string(buffer.data() + 2, std::min<std::size_t>(length, buffer.size() - 2));
}

void TVarBytesField::SetBytes(std::string_view bytes) {
  std::vector<char> buffer(static_cast<std::size_t>(DataSize()), '\0');
  const auto length =
      static_cast<std::uint16_t>(std::min<std::size_t>(bytes.size(), buffer.size() - 2));
  std::memcpy(buffer.data(), &length, 2);
  std::memcpy(buffer.data() + 2, bytes.data(), length);
  WriteValue(buffer.data());
}

}  // namespace katalog
