#include "tools/isamtool/Encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/components/IsamTable.h"
#include "engine/table/DataFile.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"
#include "platform/Utf8.h"

namespace katalog::isamtool {

namespace {

// Whether the eight bytes at p are ASCII.
bool AsciiWord(const char* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  return (word & 0x8080808080808080u) == 0;
}

bool IsAscii(std::string_view text) {
  std::size_t i = 0;
  while (i + 8 <= text.size() && AsciiWord(text.data() + i)) i += 8;
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  }
  return true;
}

// "U+4E2D '中'"; the character itself only when it is printable.
std::string Describe(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000)) return code;
  std::u16string unit;
  if (c >= 0x10000) {
    unit += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    unit += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  } else {
    unit += static_cast<char16_t>(c);
  }
  return std::string(code) + " '" + platform::Utf16ToUtf8(unit) + "'";
}

// The code point at text[i] (a surrogate pair as one).
char32_t CodePointAt(std::u16string_view text, std::size_t i) {
  const char16_t c = text[i];
  if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
      text[i + 1] < 0xE000) {
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
  }
  return c;
}

// UTF-16 to the page, refusing what it cannot hold.
std::string Encode(const platform::TCodePage& page, std::u16string_view text, const char* what) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!page.CanHold(text[i])) {
      throw TEncodingError("the character " + Describe(CodePointAt(text, i)) + " cannot be " +
                           what + " code page " + std::to_string(page.Number()));
    }
  }
  if (!page.IsSingleByte()) return page.FromUtf16(text);
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(page.ByteOf(text[i]));
  return out;
}

// UTF-8 straight into a single-byte page, the common case of an import, without a UTF-16 copy.
// False for anything the general path must judge and name: an invalid sequence, a character
// beyond U+FFFF, one the page cannot hold.
bool Utf8ToSingleByte(const platform::TCodePage& page, std::string_view text, std::string& out) {
  out.resize(text.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out[n++] = static_cast<char>(lead);
      ++i;
      continue;
    }
    const std::size_t length = lead >= 0xC2 && lead < 0xE0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t c = lead & (length == 2 ? 0x1F : 0x0F);
    for (std::size_t k = 1; k < length; ++k) {
      const auto trail = static_cast<unsigned char>(text[i + k]);
      if ((trail & 0xC0) != 0x80) return false;
      c = c << 6 | (trail & 0x3F);
    }
    if (length == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) return false;
    if (!page.CanHold(static_cast<char16_t>(c))) return false;
    out[n++] = static_cast<char>(page.ByteOf(static_cast<char16_t>(c)));
    i += length;
  }
  out.resize(n);
  return true;
}

}  // namespace

int TableCodePage(std::uint32_t localeId) {
  return localeId != 0 ? platform::AnsiCodePageOf(localeId) : 1250;
}

int TableCodePage(const TIsamTable& table) {
  return TableCodePage(table.Engine() ? table.Engine()->LocaleId() : 0);
}

TTextCodec::TTextCodec(int tableCodePage, TEncoding outside)
    : table_(platform::CodePage(tableCodePage)),
      outside_(outside == TEncoding::Cp1250 ? &platform::CodePage(1250) : nullptr),
      identity_(outside_ && table_.Number() == outside_->Number()) {}

std::string Utf8Of(std::string_view text, TEncoding encoding) {
  if (encoding == TEncoding::Utf8) return std::string(text);
  return TTextCodec(1250, TEncoding::Utf8).FromTable(text);
}

std::string TTextCodec::ToTable(std::string_view text) const {
  if (identity_ || IsAscii(text)) return std::string(text);
  std::string direct;
  if (!outside_ && table_.IsSingleByte() && Utf8ToSingleByte(table_, text, direct)) return direct;
  std::u16string wide;
  if (outside_) {
    wide = outside_->ToUtf16(text);
  } else if (!platform::TryUtf8ToUtf16(text, wide)) {
    throw TEncodingError("the text is not valid UTF-8");
  }
  return Encode(table_, wide, "stored in the table's");
}

std::string TTextCodec::FromTable(std::string_view text) const {
  if (identity_ || IsAscii(text)) return std::string(text);
  if (!outside_) {
    std::string buffer;
    return std::string(FromTableToUtf8(text, buffer));
  }
  return Encode(*outside_, table_.ToUtf16(text), "written in");
}

std::string_view TTextCodec::FromTableToUtf8(std::string_view text, std::string& buffer) const {
  if (IsAscii(text)) return text;
  const std::size_t length = table_.ToUtf8(text, buffer);  // may move the buffer's bytes
  return {buffer.data(), length};
}

std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex(bytes.size() * 2, '0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex[2 * i] = kDigits[b >> 4];
    hex[2 * i + 1] = kDigits[b & 15];
  }
  return hex;
}

std::string BytesOfHex(std::string_view hex) {
  auto nibble = [&](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw TEncodingError("'" + std::string(hex) + "' is not hexadecimal bytes");
  };
  if (hex.size() % 2 != 0) {
    throw TEncodingError("'" + std::string(hex) + "' has an odd number of hexadecimal digits");
  }
  std::string bytes(hex.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(nibble(hex[2 * i]) * 16 + nibble(hex[2 * i + 1]));
  }
  return bytes;
}

std::string Base64Text(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      group = group << 8 | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    }
    for (std::size_t j = 0; j < 4; ++j) {
      out += j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 63] : '=';
    }
  }
  return out;
}

std::string BytesOfBase64(std::string_view text) {
  auto value = [&](char c) -> std::uint32_t {
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<std::uint32_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    throw TEncodingError("'" + std::string(text) + "' is not base64");
  };
  if (text.size() % 4 != 0) throw TEncodingError("'" + std::string(text) + "' is not base64");
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j)
      group = group << 6 | (j < 4 - padding ? value(text[i + j]) : 0);
    for (std::size_t j = 0; j < 3 - padding; ++j) bytes += static_cast<char>(group >> (16 - 8 * j));
  }
  return bytes;
}

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      const char* named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
      out += named ? named : std::string("\\u00") + kHex[u >> 4] + kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string SqlIdentifier(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// A string literal; CR and NUL, which the sqlite3 shell would drop or cut, are joined in as
// char(13) and char(0).
void AppendSqlString(std::string& out, std::string_view text) {
  out += '\'';
  for (const char c : text) {
    if (c == '\r' || c == '\0') {
      out += c == '\r' ? "'||char(13)||'" : "'||char(0)||'";
      continue;
    }
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
}

std::string ShownText(std::string_view text, TEncoding encoding) {
  if (encoding == TEncoding::Cp1250) return Utf8Of(text, encoding);
  std::u16string units;
  if (platform::TryUtf8ToUtf16(std::string(text), units)) return std::string(text);
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // The shortest valid sequence from here, else the byte as \xNN.
    std::size_t length = 0;
    for (std::size_t n = 1; n <= 4 && i + n <= text.size() && length == 0; ++n) {
      if (platform::TryUtf8ToUtf16(std::string(text.substr(i, n)), units)) length = n;
    }
    if (length > 0) {
      shown += text.substr(i, length);
      i += length - 1;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[i]));
      shown += escaped;
    }
  }
  return shown;
}

std::string Printable(std::string_view message) {
  std::u16string units;
  if (platform::TryUtf8ToUtf16(std::string(message), units)) return std::string(message);
  return Utf8Of(message, TEncoding::Cp1250);
}

}  // namespace katalog::isamtool
