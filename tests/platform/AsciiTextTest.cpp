#include "platform/AsciiText.h"

#include <gtest/gtest.h>

#include <string>

namespace katalog::platform {
namespace {

TEST(AsciiTextTest, FoldsOnlyTheAsciiLetters) {
  // "Žluť" and "žluť" in code page 1250: the code page's letters are not ASCII's to fold.
  const std::string upper = "\x8Elu\x9D";
  const std::string lower = "\x9Elu\x9D";
  EXPECT_EQ(AsciiUppercased(lower), "\x9ELU\x9D");
  EXPECT_EQ(AsciiLowercased("AbZ@[`{"), "abz@[`{");
  EXPECT_FALSE(EqualsIgnoringAsciiCase(upper, lower));
  EXPECT_TRUE(EqualsIgnoringAsciiCase("Primary", "PRIMARY"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("Primary", "PRIMAR"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));  // 0x40 and 0x60 differ by the case bit only
}

}  // namespace
}  // namespace katalog::platform
