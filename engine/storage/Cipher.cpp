#include "engine/storage/Cipher.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/DataFileHeader.h"

namespace katalog {

void ApplyCipher(std::uint8_t* buffer, std::size_t length, TCipherSeeds seeds) {
  const std::size_t n = length % 65536;
  for (std::size_t i = 0; i < n; ++i) {
    const auto low = static_cast<std::uint8_t>(seeds.Low + i);
    const auto high = static_cast<std::uint8_t>(seeds.High - i);
    buffer[i] ^= static_cast<std::uint8_t>(low ^ high);
  }
}

std::string DecodeStoredPassword(const std::array<std::uint8_t, 16>& stored) {
  std::array<std::uint8_t, kMaxPasswordLength> chars;
  const std::size_t length = std::min<std::size_t>(stored[0], kMaxPasswordLength);
  std::memcpy(chars.data(), stored.data() + 1, kMaxPasswordLength);
  ApplyCipher(chars.data(), length, kPasswordSeeds);
  return std::string(reinterpret_cast<const char*>(chars.data()), length);
}

std::array<std::uint8_t, 16> EncodeStoredPassword(const std::string& password) {
  std::array<std::uint8_t, 16> stored{};
  const std::size_t length = std::min<std::size_t>(password.size(), kMaxPasswordLength);
  stored[0] = static_cast<std::uint8_t>(length);
  std::memcpy(stored.data() + 1, password.data(), length);
  ApplyCipher(stored.data() + 1, length, kPasswordSeeds);
  return stored;
}

}  // namespace katalog
