#include "dataset/EditMask.h"

#include <gtest/gtest.h>

#include <string>

namespace katalog {
namespace {

TEST(EditMaskSectionsTest, SaveLiteralsAndBlank) {
  // Literals in the value are taken by the mask's literals...
  EXPECT_EQ(FormatMaskText("000/000;1;_", "123/456"), "123/456");
  EXPECT_EQ(FormatMaskText("000/000", "123/456"), "123/456");  // "1" is the default
  EXPECT_EQ(FormatMaskText("000/000;;_", "123/456"), "123/456");
  // ...unless the value holds only the typed characters.
  EXPECT_EQ(FormatMaskText("000/000;0;_", "123456"), "123/456");
  EXPECT_EQ(FormatMaskText("000/000;0;_", "123/456"), "123//45");
  // A value without the literals still shows when literals are expected.
  EXPECT_EQ(FormatMaskText("000/000;1;_", "123456"), "123/456");
  // The blank: given, defaulted when absent or empty.
  EXPECT_EQ(FormatMaskText("0000;0;*", "12"), "12**");
  EXPECT_EQ(FormatMaskText("0000;0", "12"), "12__");
  EXPECT_EQ(FormatMaskText("0000;0;", "12"), "12__");
  EXPECT_EQ(FormatMaskText("0000", "12"), "12__");
  EXPECT_EQ(FormatMaskText("0000;0; ", "12"), "12  ");
}

TEST(EditMaskSectionsTest, EmptyMaskOrValue) {
  EXPECT_EQ(FormatMaskText("", "abc"), "abc");
  EXPECT_EQ(FormatMaskText(";0;*", "abc"), "abc");
  EXPECT_EQ(FormatMaskText("><!", "abc"), "abc");
  EXPECT_EQ(FormatMaskText("", ""), "");
  EXPECT_EQ(FormatMaskText("000-000;0;_", ""), "");
  EXPECT_EQ(FormatMaskText("!000-000;1;_", ""), "");
}

TEST(EditMaskSectionsTest, EscapedSemicolonBelongsToTheMask) {
  EXPECT_EQ(FormatMaskText("00\\;00;0;*", "123"), "12;3*");
  EXPECT_EQ(FormatMaskText("0\\", "1"), "1");  // a trailing '\' escapes nothing
}

TEST(EditMaskPlaceholderTest, EveryPlaceholderTakesACharacter) {
  EXPECT_EQ(FormatMaskText("LlAaCc09#;0;_", "xyZ1 ?45+"), "xyZ1 ?45+");
  EXPECT_EQ(FormatMaskText("(999) 000-0000;0;_", "5551234567"), "(555) 123-4567");
  // Characters outside a placeholder's class are shown, not skipped.
  EXPECT_EQ(FormatMaskText("000-00;0;_", "12a4x"), "12a-4x");
  EXPECT_EQ(FormatMaskText("LL;0;_", "12"), "12");
}

TEST(EditMaskPlaceholderTest, BackslashMakesLiterals) {
  EXPECT_EQ(FormatMaskText("\\A00", "12"), "A12");
  EXPECT_EQ(FormatMaskText("\\A00", "A12"), "A12");  // the saved literal is taken
  EXPECT_EQ(FormatMaskText("\\>\\!\\\\0;0;_", "7"), ">!\\7");
}

TEST(EditMaskPlaceholderTest, ColonAndSlashShowAsWritten) {
  EXPECT_EQ(FormatMaskText("!90:00;1;_", "12:30"), "12:30");
  EXPECT_EQ(FormatMaskText("!99/99/0000;1;_", "08/12/2026"), "08/12/2026");
}

TEST(EditMaskPlaceholderTest, LongValueIsCut) {
  EXPECT_EQ(FormatMaskText("000;0;_", "12345"), "123");
  EXPECT_EQ(FormatMaskText("!000;0;_", "12345"), "123");
  EXPECT_EQ(FormatMaskText("00-00;1;_", "12-345"), "12-34");
}

TEST(EditMaskCaseTest, ModifiersChangeOnlyPlacedAsciiLetters) {
  EXPECT_EQ(FormatMaskText(">LL<ll;0", "abCD"), "ABcd");
  EXPECT_EQ(FormatMaskText(">LL<>ll;0", "abCD"), "ABCD");
  EXPECT_EQ(FormatMaskText(">LL<>ll;0", "abcd"), "ABcd");
  EXPECT_EQ(FormatMaskText("<cc\\Xcc;0;_", "A1bC"), "a1Xbc");  // the literal keeps its case
  EXPECT_EQ(FormatMaskText(">cccc;0;a", "x"), "Xaaa");         // blanks keep theirs too
  // Bytes above 0x7F (code-page letters) are left alone.
  const std::string upper = "\xC8\xE8";  // a capital and a small letter of code page 1250
  EXPECT_EQ(FormatMaskText(">cc;0", upper), upper);
  EXPECT_EQ(FormatMaskText("<cc;0", upper), upper);
}

TEST(EditMaskAlignmentTest, ShortValueLeftAlignedWithoutExclamation) {
  EXPECT_EQ(FormatMaskText("999 99;0;_", "123"), "123 __");
  // The telephone mask fills from the left: the missing digits are blank at the end.
  EXPECT_EQ(FormatMaskText("(999) 000-0000;0;*", "5551234"), "(555) 123-4***");
  EXPECT_EQ(FormatMaskText("(999) 000-0000;1;*", "(555) 123"), "(555) 123-****");
}

TEST(EditMaskAlignmentTest, ExclamationRightAlignsAShortValue) {
  EXPECT_EQ(FormatMaskText("!999 99;0;_", "12345"), "123 45");
  EXPECT_EQ(FormatMaskText("!999 99;0;_", "123"), "__1 23");
  EXPECT_EQ(FormatMaskText("999 !99;0;_", "1"), "___ _1");  // '!' anywhere
  EXPECT_EQ(FormatMaskText("!(999) 000-0000;0;*", "5551234"), "(***) 555-1234");
  // With saved literals the walk from the end takes them from the end of the value too.
  EXPECT_EQ(FormatMaskText("!000/000;1;_", "1/456"), "__1/456");
  EXPECT_EQ(FormatMaskText("!>ccc;0;_", "ab"), "_AB");
}

}  // namespace
}  // namespace katalog
