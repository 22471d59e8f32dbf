// ASCII letters in single-byte text. Names, keywords and type letters of the table format are
// ASCII whatever the code page: these helpers fold A-Z and a-z only and leave every other byte
// (code page letters included) as it is; text of the code page is folded by the locale instead.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace katalog::platform {

constexpr bool IsAsciiUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

constexpr bool IsAsciiLower(char c) {
  return c >= 'a' && c <= 'z';
}

constexpr bool IsAsciiLetter(char c) {
  return IsAsciiUpper(c) || IsAsciiLower(c);
}

constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr char AsciiUpper(char c) {
  return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c) {
  return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiUppercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), AsciiUpper);
  return text;
}

inline std::string AsciiLowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), AsciiLower);
  return text;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

}  // namespace katalog::platform
