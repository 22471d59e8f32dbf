// Short strings: a length byte followed by that many single-byte characters, inside a field of
// fixed width (the rest of the width is unused). Names and texts in the table files use them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace katalog {

// Reads the short string of a field `width` bytes wide; a length byte beyond the width (a
// damaged file) is cut to what the field holds.
inline std::string LoadShortString(const std::uint8_t* field, std::size_t width) {
  const std::size_t length = std::min<std::size_t>(field[0], width - 1);
  return std::string(reinterpret_cast<const char*>(field + 1), length);
}

// Writes text as a short string into a field `width` bytes wide, cut to width - 1 characters;
// the unused rest of the field is left as it is.
inline void StoreShortString(std::uint8_t* field, std::size_t width, std::string_view text) {
  const std::size_t length = std::min({text.size(), width - 1, std::size_t{255}});
  field[0] = static_cast<std::uint8_t>(length);
  std::memcpy(field + 1, text.data(), length);
}

inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace katalog
