// A Windows ANSI code page: converts single-byte (or, for the Far East pages, double-byte) text
// to UTF-16 and back.
//
// Invariants: every byte of a single-byte page converts to exactly one UTF-16 unit and back to
// itself (bytes the page leaves undefined stand for the C1 control of the same value, as the
// system's own conversion does), so conversions never lose a byte. Objects are immutable after
// construction and shared through CodePage(), which keeps one per page number for the process.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace katalog::platform {

class TCodePage {
 public:
  explicit TCodePage(int number);
  ~TCodePage();
  TCodePage(const TCodePage&) = delete;
  TCodePage& operator=(const TCodePage&) = delete;

  int Number() const { return number_; }
  bool IsSingleByte() const { return singleByte_; }

  std::u16string ToUtf16(std::string_view bytes) const;
  // Straight to UTF-8 at the start of `buffer`, which grows as needed and is never shrunk (a
  // caller converting many texts keeps one); returns the length. A single-byte page needs no
  // UTF-16 copy: a table entry per byte.
  std::size_t ToUtf8(std::string_view bytes, std::string& buffer) const;
  // Characters the page cannot hold become '?'.
  std::string FromUtf16(std::u16string_view text) const;
  // True when the page holds the character as one code (one or two bytes).
  bool CanHold(char16_t c) const {
    return singleByte_ ? SingleByteOf(c) >= 0 : CanHoldMultiByte(c);
  }
  // The byte of a single-byte page for c; only meaningful when CanHold(c).
  std::uint8_t ByteOf(char16_t c) const {
    const int byte = SingleByteOf(c);
    return byte < 0 ? std::uint8_t{'?'} : static_cast<std::uint8_t>(byte);
  }
  char16_t CharOf(std::uint8_t byte) const { return toUnicode_[byte]; }

 private:
  std::string ConvertMultiByte(std::u16string_view text, bool* complete) const;
  // The byte of a single-byte page for c, -1 when the page has none. Inline with CanHold and
  // ByteOf: text is converted a character at a time.
  int SingleByteOf(char16_t c) const {
    return c < lowFromUnicode_.size() ? lowFromUnicode_[c] : HighByteOf(c);
  }
  int HighByteOf(char16_t c) const;
  bool CanHoldMultiByte(char16_t c) const;

  int number_;
  bool singleByte_;
  std::array<char16_t, 256> toUnicode_{};
  // Per byte of a single-byte page: its UTF-8 bytes in the low three bytes (first byte lowest)
  // and their count in the top byte.
  std::array<std::uint32_t, 256> utf8_{};
  std::unordered_map<char16_t, std::uint8_t> fromUnicode_;
  // fromUnicode_ for the characters below U+0100 (most of any text), without hashing; -1: none.
  std::array<std::int16_t, 256> lowFromUnicode_{};
  std::string converterName_;
};

// The shared object for a Windows code page number (1250, 1252, 932, ...); throws
// std::invalid_argument for a page the conversion library does not know.
const TCodePage& CodePage(int number);

}  // namespace katalog::platform
