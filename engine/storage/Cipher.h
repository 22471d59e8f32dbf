// The table cipher: a byte stream XOR that enciphers and deciphers alike.
//
//   buffer[i] ^= ((low + i) mod 256) ^ ((high - i) mod 256),  i = 0 .. (length mod 65536) - 1
//
// The length is a 16-bit quantity, so of a longer buffer only the first (length mod 65536) bytes
// are touched; files written by other programs rely on that. Two seed pairs serve every table:
// the record pair for descriptors, record slots and the index and blob blocks, the password pair
// for the stored table password.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace katalog {

struct TCipherSeeds {
  std::uint8_t Low;
  std::uint8_t High;
};

inline constexpr TCipherSeeds kRecordSeeds{0x5B, 0xC3};
inline constexpr TCipherSeeds kPasswordSeeds{0x2D, 0x97};

void ApplyCipher(std::uint8_t* buffer, std::size_t length, TCipherSeeds seeds);

// The plain table password held in a header's 16-byte StoredPassword field, and the field for a
// password (at most 15 characters; the caller checks the length).
std::string DecodeStoredPassword(const std::array<std::uint8_t, 16>& stored);
std::array<std::uint8_t, 16> EncodeStoredPassword(const std::string& password);

}  // namespace katalog
