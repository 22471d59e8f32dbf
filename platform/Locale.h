// Locales: the valid-locale test, string comparison, case and width mapping and the byte
// collation order, each for a Windows locale identifier (language identifier in the low 16 bits,
// sort identifier in the high 16 bits) and on the single-byte text of the locale's ANSI code page.
//
// A TLocale is immutable once built (its mapping tables fill lazily under a lock); Locale() keeps
// one per identifier for the life of the process, so references to it stay valid.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/CodePage.h"

struct UCollator;

namespace katalog::platform {

using LCID = std::uint32_t;

// The interface language of this program: Czech, whose texts are Windows-1250.
inline constexpr LCID kUserDefaultLcid = 0x0405;
// The pseudo identifiers that name the user's and the system's default locale.
inline constexpr LCID kLocaleUserDefault = 0x0400;
inline constexpr LCID kLocaleSystemDefault = 0x0800;

// Comparison flags.
inline constexpr std::uint32_t kNormIgnoreCase = 0x1;
// Punctuation takes part in the order like any symbol; without it hyphen and apostrophe are
// passed over and only decide between strings that are otherwise equal ("word sort").
inline constexpr std::uint32_t kSortStringSort = 0x1000;

// Mapping flags.
inline constexpr std::uint32_t kMapLowerCase = 0x100;
inline constexpr std::uint32_t kMapUpperCase = 0x200;
inline constexpr std::uint32_t kMapHalfWidth = 0x400000;

class TLocale {
 public:
  TLocale(LCID id, std::string icuName, int codePage);
  ~TLocale();
  TLocale(const TLocale&) = delete;
  TLocale& operator=(const TLocale&) = delete;

  LCID Id() const { return id_; }
  const std::string& IcuName() const { return icuName_; }
  const TCodePage& CodePage() const { return codePage_; }

  // Compares two byte strings of the code page; -1, 0 or 1. Embedded zero bytes take part (they
  // weigh nothing, as other ignorable characters).
  int Compare(std::uint32_t flags, std::string_view a, std::string_view b) const;
  // Maps the characters of a byte string; a character whose image the code page cannot hold
  // stays unchanged, so the result has as many characters as the source.
  std::string Map(std::uint32_t flags, std::string_view text) const;
  // The byte values 0-255 in ascending order under this locale's string sort.
  std::array<std::uint8_t, 256> CollationOrder() const;

 private:
  UCollator* CollatorFor(std::uint32_t flags) const;
  int CompareUnits(std::uint32_t flags, std::u16string_view a, std::u16string_view b) const;
  char16_t MapChar(std::uint32_t flags, char16_t c) const;

  LCID id_;
  std::string icuName_;
  const TCodePage& codePage_;
  UCollator* exact_ = nullptr;
  UCollator* ignoreCase_ = nullptr;
  mutable std::mutex mapMutex_;
  mutable std::unordered_map<std::uint32_t, std::array<std::uint8_t, 256>> byteMaps_;
};

// The locale for an identifier, or nullptr when the system has no such locale. The default-locale
// pseudo identifiers resolve to the user-default locale.
const TLocale* FindLocale(LCID id);
const TLocale& UserDefaultLocale();
bool IsValidLocale(LCID id);
// The Windows ANSI code page of a locale identifier's language (1252 when the language has none).
int AnsiCodePageOf(LCID id);

// The system calls by their contract: lengths of -1 mean zero-terminated. CompareStringA returns
// 1, 2 or 3 for less, equal and greater, and 0 for an unknown locale. LCMapStringA returns the
// mapped string (empty for an unknown locale).
int CompareStringA(LCID id, std::uint32_t flags, const char* a, int lengthA, const char* b,
                   int lengthB);
std::string LCMapStringA(LCID id, std::uint32_t flags, const char* source, int length);

}  // namespace katalog::platform
