#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace katalog::platform {
namespace {

// Czech text as the program's code page holds it.
std::string Cs(std::u16string_view text) {
  return CodePage(1250).FromUtf16(text);
}

TEST(LocaleTest, ValidLocalesAreTheInstalledOnes) {
  EXPECT_TRUE(IsValidLocale(0x0405));
  EXPECT_TRUE(IsValidLocale(0x0409));
  EXPECT_TRUE(IsValidLocale(0x00010407));  // German with the phone-book sort
  EXPECT_FALSE(IsValidLocale(0));
  EXPECT_FALSE(IsValidLocale(0x1234));
  EXPECT_FALSE(IsValidLocale(0x7F05));      // Czech with an unknown sublanguage
  EXPECT_FALSE(IsValidLocale(0x00050405));  // Czech with an unknown sort
  EXPECT_EQ(FindLocale(kLocaleUserDefault), &UserDefaultLocale());
  EXPECT_EQ(UserDefaultLocale().Id(), 0x0405u);
}

TEST(LocaleTest, AnsiCodePages) {
  EXPECT_EQ(AnsiCodePageOf(0x0405), 1250);  // Czech
  EXPECT_EQ(AnsiCodePageOf(0x0415), 1250);  // Polish
  EXPECT_EQ(AnsiCodePageOf(0x041B), 1250);  // Slovak
  EXPECT_EQ(AnsiCodePageOf(0x0419), 1251);  // Russian
  EXPECT_EQ(AnsiCodePageOf(0x0C1A), 1251);  // Serbian, Cyrillic
  EXPECT_EQ(AnsiCodePageOf(0x081A), 1250);  // Serbian, Latin
  EXPECT_EQ(AnsiCodePageOf(0x0409), 1252);
  EXPECT_EQ(AnsiCodePageOf(0x0408), 1253);
  EXPECT_EQ(AnsiCodePageOf(0x041F), 1254);
  EXPECT_EQ(AnsiCodePageOf(0x0411), 932);
  EXPECT_EQ(AnsiCodePageOf(0x0804), 936);
  EXPECT_EQ(AnsiCodePageOf(0x0404), 950);
}

TEST(LocaleTest, CzechCollation) {
  const TLocale& cs = UserDefaultLocale();
  EXPECT_LT(cs.Compare(kSortStringSort, "h", "ch"), 0);
  EXPECT_LT(cs.Compare(kSortStringSort, "ch", "i"), 0);
  EXPECT_LT(cs.Compare(kSortStringSort, "hrad", "chata"), 0);
  EXPECT_LT(cs.Compare(kSortStringSort, Cs(u"cena"), Cs(u"čas")), 0);
  EXPECT_LT(cs.Compare(kSortStringSort, Cs(u"rak"), Cs(u"řeka")), 0);
  EXPECT_EQ(cs.Compare(kNormIgnoreCase, Cs(u"číslo"), Cs(u"ČÍSLO")), 0);
  EXPECT_NE(cs.Compare(0, Cs(u"číslo"), Cs(u"ČÍSLO")), 0);
  // Ignoring case does not ignore accents.
  EXPECT_NE(cs.Compare(kNormIgnoreCase, Cs(u"cislo"), Cs(u"číslo")), 0);
}

TEST(LocaleTest, WordSortPassesOverHyphenAndApostrophe) {
  const TLocale& en = *FindLocale(0x0409);
  // Word sort: "co-op" lies beside "coop", before "cop"; string sort puts the hyphen first.
  EXPECT_LT(en.Compare(0, "co-op", "cop"), 0);
  EXPECT_LT(en.Compare(kSortStringSort, "co-op", "coop"), 0);
  EXPECT_NE(en.Compare(0, "co-op", "coop"), 0);  // they still differ
  EXPECT_LT(en.Compare(kSortStringSort, "co-op", "coa"), 0);
  EXPECT_GT(en.Compare(0, "co-op", "coa"), 0);
}

TEST(LocaleTest, CompareStringAContract) {
  const std::string a = std::string("ab\0c", 4);
  const std::string b = "abc";
  // Zero bytes inside explicit lengths take part but weigh nothing.
  EXPECT_EQ(CompareStringA(0x0405, kSortStringSort, a.data(), 4, b.data(), 3), 2);
  // Zero-terminated: "ab" against "abc".
  EXPECT_EQ(CompareStringA(0x0405, kSortStringSort, a.data(), -1, b.data(), -1), 1);
  EXPECT_EQ(CompareStringA(0x0405, 0, "b", -1, "a", -1), 3);
  EXPECT_EQ(CompareStringA(0x1234, 0, "a", -1, "a", -1), 0);
}

TEST(LocaleTest, CaseAndWidthMapping) {
  const TLocale& cs = UserDefaultLocale();
  EXPECT_EQ(cs.Map(kMapUpperCase, Cs(u"žluťoučký kůň")), Cs(u"ŽLUŤOUČKÝ KŮŇ"));
  EXPECT_EQ(cs.Map(kMapLowerCase, Cs(u"ŽLUŤOUČKÝ KŮŇ")), Cs(u"žluťoučký kůň"));
  // The upper case of "ß" and "µ" is not in the code page: they stay.
  EXPECT_EQ(cs.Map(kMapUpperCase, Cs(u"ßµa")), Cs(u"ßµA"));
  // Embedded zero bytes survive, the length never changes.
  const std::string zero("a\0b", 3);
  EXPECT_EQ(cs.Map(kMapUpperCase, zero), std::string("A\0B", 3));
  EXPECT_EQ(cs.Map(kMapHalfWidth | kMapUpperCase, "abc"), "ABC");
  EXPECT_EQ(LCMapStringA(0x0405, kMapUpperCase, "abc", 2), "AB");

  // In a double-byte code page the full-width forms become the ASCII ones.
  const TLocale& ja = *FindLocale(0x0411);
  const std::string fullWidthA = ja.CodePage().FromUtf16(u"\uFF21\uFF42");
  ASSERT_EQ(fullWidthA.size(), 4u);
  EXPECT_EQ(ja.Map(kMapHalfWidth, fullWidthA), "Ab");
  EXPECT_EQ(ja.Map(kMapHalfWidth | kMapUpperCase, fullWidthA), "AB");
}

TEST(LocaleTest, CollationOrderIsAPermutationInLocaleOrder) {
  for (LCID id : {0x0405u, 0x0409u, 0x0419u}) {
    const TLocale& locale = *FindLocale(id);
    const auto order = locale.CollationOrder();
    auto sorted = order;
    std::sort(sorted.begin(), sorted.end());
    std::array<std::uint8_t, 256> identity;
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(sorted, identity) << std::hex << id;
    for (int i = 1; i < 256; ++i) {
      EXPECT_LE(locale.Compare(kSortStringSort, std::string(1, static_cast<char>(order[i - 1])),
                               std::string(1, static_cast<char>(order[i]))),
                0)
          << std::hex << id << " at " << i;
    }
  }
  const auto cs = UserDefaultLocale().CollationOrder();
  const auto position = [&](char16_t c) {
    const std::uint8_t b = CodePage(1250).ByteOf(c);
    return std::find(cs.begin(), cs.end(), b) - cs.begin();
  };
  EXPECT_LT(position(u'a'), position(u'b'));
  EXPECT_LT(position(u'c'), position(u'č'));
  EXPECT_LT(position(u'č'), position(u'd'));
  EXPECT_LT(position(u'9'), position(u'a'));
  EXPECT_LT(position(u'z'), position(u'ž'));
}

}  // namespace
}  // namespace katalog::platform
