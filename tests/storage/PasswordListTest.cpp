#include "engine/storage/PasswordList.h"

#include <gtest/gtest.h>

#include "engine/storage/FileSession.h"
#include "platform/CodePage.h"

namespace katalog {
namespace {

TEST(PasswordListTest, ListAndSessionRules) {
  TPasswordList list;
  list.Add("");
  EXPECT_EQ(list.Count(), 0);  // nothing to add
  list.Add("Heslo");
  list.Add("Heslo");  // the list itself keeps duplicates
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.Contains("Heslo"));
  EXPECT_FALSE(list.Contains("heslo"));  // letter case counts
  EXPECT_FALSE(list.Contains("Hes-lo"));
  list.Remove("Heslo");
  EXPECT_EQ(list.Count(), 1);
  list.Remove("nothing");
  list.Clear();
  EXPECT_FALSE(list.Contains("Heslo"));
  // Entries are short strings.
  list.Add(std::string(300, 'p'));
  EXPECT_TRUE(list.Contains(std::string(255, 'p')));

  const std::string czech = platform::CodePage(1250).FromUtf16(u"Žluťoučký");
  TFileSession session;
  session.AddPassword(czech);
  session.AddPassword(czech);  // the session keeps one
  EXPECT_EQ(session.Passwords.Count(), 1);
  EXPECT_TRUE(session.HasPassword(czech));
  EXPECT_FALSE(session.HasPassword(platform::CodePage(1250).FromUtf16(u"žluťoučký")));
  session.RemovePassword(czech);
  EXPECT_FALSE(session.HasPassword(czech));
  session.AddPassword("a");
  session.AddPassword("b");
  session.RemoveAllPasswords();
  EXPECT_EQ(session.Passwords.Count(), 0);
}

}  // namespace
}  // namespace katalog
