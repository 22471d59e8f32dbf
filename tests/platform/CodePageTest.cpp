#include "platform/CodePage.h"
#include "platform/Utf8.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace katalog::platform {
namespace {

TEST(CodePageTest, SingleBytePagesRoundTripEveryByte) {
  for (int number : {1250, 1251, 1252, 1257}) {
    const TCodePage& page = CodePage(number);
    ASSERT_TRUE(page.IsSingleByte()) << number;
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[b] = static_cast<char>(b);
    const std::u16string text = page.ToUtf16(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(page.FromUtf16(text), all) << number;
    // Straight to UTF-8 as through UTF-16, also into a kept buffer holding a longer text.
    std::string buffer(2000, 'x');
    const std::size_t length = page.ToUtf8(all, buffer);
    EXPECT_EQ(buffer.substr(0, length), Utf16ToUtf8(text)) << number;
    EXPECT_EQ(buffer.substr(0, page.ToUtf8("a\x80", buffer)), Utf16ToUtf8(page.ToUtf16("a\x80")));
  }
}

TEST(CodePageTest, Windows1250Letters) {
  const TCodePage& page = CodePage(1250);
  EXPECT_EQ(page.ToUtf16("\xE8\x9A\x9E\xC8"), u"čšžČ");
  EXPECT_EQ(page.FromUtf16(u"Kč"), "K\xE8");
  EXPECT_EQ(page.ByteOf(u'\u00A0'), 0xA0);  // the no-break space
  // Undefined bytes stand for the C1 control of their value.
  EXPECT_EQ(page.CharOf(0x81), u'\u0081');
  // A character the page lacks becomes '?'.
  EXPECT_FALSE(page.CanHold(u'Ω'));
  EXPECT_EQ(page.FromUtf16(u"aΩb"), "a?b");
  EXPECT_EQ(&page, &CodePage(1250));
}

TEST(CodePageTest, DoubleBytePage) {
  const TCodePage& page = CodePage(932);
  EXPECT_FALSE(page.IsSingleByte());
  const std::string bytes = page.FromUtf16(u"日本a");
  EXPECT_EQ(bytes.size(), 5u);
  EXPECT_EQ(page.ToUtf16(bytes), u"日本a");
  std::string buffer;
  EXPECT_EQ(buffer.substr(0, page.ToUtf8(bytes, buffer)), "日本a");
  EXPECT_TRUE(page.CanHold(u'日'));
  EXPECT_FALSE(page.CanHold(u'č'));
}

TEST(CodePageTest, UnknownPageIsRefused) {
  EXPECT_THROW(CodePage(4711), std::invalid_argument);
}

}  // namespace
}  // namespace katalog::platform
