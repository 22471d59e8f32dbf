#include "platform/Locale.h"

#include <algorithm>
#include <array>
#include <map>
#include <numeric>

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>

namespace katalog::platform {
namespace {

constexpr char16_t kHyphen = u'-';
constexpr char16_t kApostrophe = u'\'';

UCollator* OpenCollator(const std::string& icuName, UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = ucol_open(icuName.c_str(), &status);
  if (U_FAILURE(status)) return nullptr;
  ucol_setStrength(collator, strength);
  ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  return collator;
}

std::u16string WithoutWordSortPunctuation(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    if (c != kHyphen && c != kApostrophe) out.push_back(c);
  }
  return out;
}

const icu::Transliterator* HalfWidthTransliterator() {
  static const icu::Transliterator* const transliterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    icu::Transliterator* t = icu::Transliterator::createInstance(
        icu::UnicodeString(u"Fullwidth-Halfwidth"), UTRANS_FORWARD, status);
    return U_SUCCESS(status) ? t : nullptr;
  }();
  return transliterator;
}

// The ANSI code page of a Windows language: primary language in the low 10 bits, sublanguage
// above it (it only matters where one language is written in two scripts).
int CodePageOfLanguage(std::uint16_t language) {
  const std::uint16_t primary = language & 0x3FF;
  switch (primary) {
    case 0x05:
    case 0x15:
    case 0x0E:
    case 0x1B:
    case 0x24:
    case 0x18:
    case 0x1C:
      return 1250;  // Czech, Polish, Hungarian, Slovak, Slovenian, Romanian, Albanian
    case 0x1A:      // Croatian, Serbian and Bosnian: Cyrillic variants use 1251
      return (language == 0x0C1A || language == 0x1C1A || language == 0x281A || language == 0x301A)
                 ? 1251
                 : 1250;
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x02:
    case 0x2F:
    case 0x3F:
    case 0x40:
    case 0x44:
    case 0x50:
    case 0x6D:
    case 0x28:
    case 0x85:
      return 1251;  // Russian, Ukrainian, Belarusian, Bulgarian, Macedonian, Kazakh, ...
    case 0x2C:
    case 0x43:  // Azeri and Uzbek: Latin 1254, Cyrillic 1251
      return (language >> 10) == 2 ? 1251 : 1254;
    case 0x08:
      return 1253;  // Greek
    case 0x1F:
      return 1254;  // Turkish
    case 0x0D:
    case 0x3D:
      return 1255;  // Hebrew, Yiddish
    case 0x01:
    case 0x29:
    case 0x20:
    case 0x8C:
    case 0x80:
      return 1256;  // Arabic script
    case 0x25:
    case 0x26:
    case 0x27:
      return 1257;  // Estonian, Latvian, Lithuanian
    case 0x2A:
      return 1258;  // Vietnamese
    case 0x1E:
      return 874;  // Thai
    case 0x11:
      return 932;  // Japanese
    case 0x12:
      return 949;  // Korean
    case 0x04:     // Chinese: simplified 936, traditional 950
      return (language == 0x0804 || language == 0x1004) ? 936 : 950;
    default:
      return 1252;
  }
}

LCID Resolve(LCID id) {
  return (id == kLocaleUserDefault || id == kLocaleSystemDefault) ? kUserDefaultLcid : id;
}

std::unique_ptr<TLocale> MakeLocale(LCID id) {
  if ((id & 0xFFFF) == 0) return nullptr;
  char name[ULOC_FULLNAME_CAPACITY];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = uloc_getLocaleForLCID(id, name, sizeof name, &status);
  // A warning means the identifier was only approximated: the system does not have it.
  if (status != U_ZERO_ERROR || length <= 0) return nullptr;
  // An unknown sort identifier falls back to the language; the system would refuse it.
  if (uloc_getLCID(name) != id) return nullptr;
  return std::make_unique<TLocale>(id, std::string(name, static_cast<std::size_t>(length)),
                                   AnsiCodePageOf(id));
}

}  // namespace

TLocale::TLocale(LCID id, std::string icuName, int codePage)
    : id_(id),
      icuName_(std::move(icuName)),
      codePage_(platform::CodePage(codePage)),
      exact_(OpenCollator(icuName_, UCOL_TERTIARY)),
      ignoreCase_(OpenCollator(icuName_, UCOL_SECONDARY)) {}

TLocale::~TLocale() {
  if (exact_) ucol_close(exact_);
  if (ignoreCase_) ucol_close(ignoreCase_);
}

UCollator* TLocale::CollatorFor(std::uint32_t flags) const {
  return (flags & kNormIgnoreCase) ? ignoreCase_ : exact_;
}

int TLocale::CompareUnits(std::uint32_t flags, std::u16string_view a, std::u16string_view b) const {
  UCollator* collator = CollatorFor(flags);
  auto strcoll = [collator](std::u16string_view x, std::u16string_view y) {
    return static_cast<int>(ucol_strcoll(
        collator, reinterpret_cast<const UChar*>(x.data()), static_cast<int32_t>(x.size()),
        reinterpret_cast<const UChar*>(y.data()), static_cast<int32_t>(y.size())));
  };
  if (!(flags & kSortStringSort)) {
    const int loose = strcoll(WithoutWordSortPunctuation(a), WithoutWordSortPunctuation(b));
    if (loose != 0) return loose;
  }
  return strcoll(a, b);
}

int TLocale::Compare(std::uint32_t flags, std::string_view a, std::string_view b) const {
  // Equal bytes are equal texts under any collation; keys with many duplicates (a region, a
  // repeated name) meet their equals at every step of an insert's descent.
  if (a == b) return 0;
  // Index keys are compared this way at every step of a search: short single-byte texts are
  // converted on the stack rather than into two new strings.
  constexpr std::size_t kShort = 256;
  if (codePage_.IsSingleByte() && a.size() <= kShort && b.size() <= kShort) {
    std::array<char16_t, kShort> x, y;
    for (std::size_t i = 0; i < a.size(); ++i) x[i] = codePage_.CharOf(std::uint8_t(a[i]));
    for (std::size_t i = 0; i < b.size(); ++i) y[i] = codePage_.CharOf(std::uint8_t(b[i]));
    return CompareUnits(flags, {x.data(), a.size()}, {y.data(), b.size()});
  }
  return CompareUnits(flags, codePage_.ToUtf16(a), codePage_.ToUtf16(b));
}

char16_t TLocale::MapChar(std::uint32_t flags, char16_t c) const {
  if (U16_IS_SURROGATE(c)) return c;
  char16_t mapped = c;
  if (flags & kMapHalfWidth) {
    if (const icu::Transliterator* t = HalfWidthTransliterator()) {
      icu::UnicodeString s(mapped);
      t->transliterate(s);
      if (s.length() == 1) mapped = s.charAt(0);
    }
  }
  if (flags & kMapUpperCase) mapped = static_cast<char16_t>(u_toupper(mapped));
  if (flags & kMapLowerCase) mapped = static_cast<char16_t>(u_tolower(mapped));
  return (mapped == c || codePage_.CanHold(mapped)) ? mapped : c;
}

std::string TLocale::Map(std::uint32_t flags, std::string_view text) const {
  if (codePage_.IsSingleByte()) {
    std::array<std::uint8_t, 256>* table;
    {
      std::lock_guard lock(mapMutex_);
      auto [it, added] = byteMaps_.try_emplace(flags);
      table = &it->second;
      if (added) {
        for (int b = 0; b < 256; ++b) {
          (*table)[b] =
              codePage_.ByteOf(MapChar(flags, codePage_.CharOf(static_cast<std::uint8_t>(b))));
        }
      }
    }
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>((*table)[static_cast<std::uint8_t>(ch)]);
    return out;
  }
  std::u16string units = codePage_.ToUtf16(text);
  for (char16_t& c : units) c = MapChar(flags, c);
  return codePage_.FromUtf16(units);
}

std::array<std::uint8_t, 256> TLocale::CollationOrder() const {
  std::array<std::uint8_t, 256> order;
  std::iota(order.begin(), order.end(), 0);
  std::array<char16_t, 256> chars;
  for (int b = 0; b < 256; ++b)
    chars[b] = codePage_.ToUtf16(std::string(1, static_cast<char>(b)))[0];
  // Bytes that compare equal (the ignorable controls) keep their numeric order.
  std::stable_sort(order.begin(), order.end(), [&](std::uint8_t x, std::uint8_t y) {
    return CompareUnits(kSortStringSort, std::u16string_view(&chars[x], 1),
                        std::u16string_view(&chars[y], 1)) < 0;
  });
  return order;
}

const TLocale* FindLocale(LCID id) {
  static std::mutex mutex;
  static std::map<LCID, std::unique_ptr<TLocale>> locales;
  id = Resolve(id);
  std::lock_guard lock(mutex);
  auto it = locales.find(id);
  if (it == locales.end()) it = locales.emplace(id, MakeLocale(id)).first;
  return it->second.get();
}

const TLocale& UserDefaultLocale() {
  return *FindLocale(kUserDefaultLcid);
}

bool IsValidLocale(LCID id) {
  return FindLocale(id) != nullptr;
}

int AnsiCodePageOf(LCID id) {
  return CodePageOfLanguage(static_cast<std::uint16_t>(Resolve(id)));
}

int CompareStringA(LCID id, std::uint32_t flags, const char* a, int lengthA, const char* b,
                   int lengthB) {
  const TLocale* locale = FindLocale(id);
  if (!locale || !a || !b) return 0;
  const std::string_view x = lengthA < 0 ? std::string_view(a) : std::string_view(a, lengthA);
  const std::string_view y = lengthB < 0 ? std::string_view(b) : std::string_view(b, lengthB);
  return locale->Compare(flags, x, y) + 2;
}

std::string LCMapStringA(LCID id, std::uint32_t flags, const char* source, int length) {
  const TLocale* locale = FindLocale(id);
  if (!locale || !source) return {};
  return locale->Map(flags,
                     length < 0 ? std::string_view(source) : std::string_view(source, length));
}

}  // namespace katalog::platform
