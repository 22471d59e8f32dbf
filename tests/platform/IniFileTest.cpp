#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/CodePage.h"
#include "support/TempDir.h"

namespace katalog::platform {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    return dir_.Write(name, bytes);
  }

  katalog::testing::TempDir dir_;
};

std::string Windows1250(std::u16string_view text) {
  return CodePage(1250).FromUtf16(text);
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
  const TIniFile ini(Write("a.ini", "[Data]\nPath=cd\n[other]\nKEY=x\n"));
  EXPECT_EQ(ini.ReadString("DATA", "path", "-"), "cd");
  EXPECT_EQ(ini.ReadString("data", "PATH", "-"), "cd");
  EXPECT_EQ(ini.ReadString("Other", "Key", "-"), "x");
}

TEST_F(IniFileTest, CaseFoldingLeavesNonAsciiBytesExact) {
  // 0xC8 and 0xE8 are the capital and small C with caron in Windows-1250.
  const TIniFile ini(Write("a.ini", "[\xC8\x61st]\nk=v\n"));
  EXPECT_EQ(ini.ReadString("\xC8\x41ST", "K", "-"), "v");
  EXPECT_EQ(ini.ReadString("\xE8\x61st", "k", "-"), "-");
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  const std::string name = Write("a.ini", "[Data]\nPath=cd\nEmpty=\n");
  EXPECT_EQ(TIniFile(name + ".missing").ReadString("Data", "Path", "dflt"), "dflt");
  EXPECT_EQ(TIniFile(name).ReadString("Nodata", "Path", "dflt"), "dflt");
  EXPECT_EQ(TIniFile(name).ReadString("Data", "Nopath", "dflt"), "dflt");
  // A key that is present with an empty value is not missing.
  EXPECT_EQ(TIniFile(name).ReadString("Data", "Empty", "dflt"), "");
}

TEST_F(IniFileTest, FirstMatchingSectionAndKeyWin) {
  const TIniFile ini(Write("a.ini",
                           "[Data]\nKey=first\nkey=second\n"
                           "[DATA]\nKey=third\nOnlyInSecond=x\n"));
  EXPECT_EQ(ini.ReadString("data", "key", "-"), "first");
  EXPECT_EQ(ini.ReadString("data", "OnlyInSecond", "-"), "-");
}

TEST_F(IniFileTest, LongValuesAreCutTo2047Bytes) {
  const std::string value(3000, 'v');
  const TIniFile ini(Write("a.ini", "[s]\nk=" + value + "\n"));
  EXPECT_EQ(ini.ReadString("s", "k", ""), value.substr(0, 2047));
  EXPECT_EQ(ini.ReadString("s", "missing", value), value.substr(0, 2047));
}

TEST_F(IniFileTest, BlanksAroundNamesAndValuesAreIgnored) {
  const TIniFile ini(Write("a.ini", "  [ Data ]  \n \t Key \t = \t two words \t \n"));
  EXPECT_EQ(ini.ReadString("Data", "Key", "-"), "two words");
}

TEST_F(IniFileTest, OneMatchingPairOfQuotesIsStripped) {
  const TIniFile ini(Write("a.ini",
                           "[s]\ndouble=\" padded \"\nsingle='x'\nmixed=\"x'\nlone=\"\n"
                           "inner=a\"b\"\n"));
  EXPECT_EQ(ini.ReadString("s", "double", "-"), " padded ");
  EXPECT_EQ(ini.ReadString("s", "single", "-"), "x");
  EXPECT_EQ(ini.ReadString("s", "mixed", "-"), "\"x'");
  EXPECT_EQ(ini.ReadString("s", "lone", "-"), "\"");
  EXPECT_EQ(ini.ReadString("s", "inner", "-"), "a\"b\"");
}

TEST_F(IniFileTest, LinesWithoutEqualsAndKeysBeforeAnySectionAreIgnored) {
  const TIniFile ini(Write("a.ini", "k=outside\n[s]\n; comment\nnoise\nk=inside\n"));
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "inside");
  EXPECT_EQ(ini.ReadString("", "k", "-"), "-");
}

TEST_F(IniFileTest, CrLfAndLoneCrEndLines) {
  const TIniFile crlf(Write("crlf.ini", "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"));
  EXPECT_EQ(crlf.ReadString("a", "k", "-"), "1");
  EXPECT_EQ(crlf.ReadString("b", "k", "-"), "2");
  const TIniFile cr(Write("cr.ini", "[a]\rk=1\r[b]\rk=2"));
  EXPECT_EQ(cr.ReadString("a", "k", "-"), "1");
  EXPECT_EQ(cr.ReadString("b", "k", "-"), "2");
}

TEST_F(IniFileTest, Utf8WithByteOrderMarkComesBackAsWindows1250) {
  const TIniFile ini(Write("a.ini", "\xEF\xBB\xBF[Data]\nName=Restaurace Černý kůň\n"));
  EXPECT_EQ(ini.ReadString("data", "name", "-"), Windows1250(u"Restaurace Černý kůň"));
}

TEST_F(IniFileTest, Utf8CharactersOutsideWindows1250AndBrokenSequencesBecomeQuestionMarks) {
  // A Cyrillic letter, an overlong '/' (two bad bytes, two marks, as Unicode recommends), a lone
  // continuation byte, a truncated sequence at the end.
  const TIniFile ini(Write("a.ini",
                           "\xEF\xBB\xBF[s]\nk=a\xD0\x96"
                           "b\xC0\xAF"
                           "c\x80"
                           "d\xE2\x82"));
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "a?b??c?d?");
}

TEST_F(IniFileTest, Utf16LeWithByteOrderMarkComesBackAsWindows1250) {
  const std::u16string text = u"[Data]\r\nName=Černý kůň\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  const TIniFile ini(Write("a.ini", bytes));
  EXPECT_EQ(ini.ReadString("Data", "Name", "-"), Windows1250(u"Černý kůň"));
}

TEST_F(IniFileTest, NameWithBackslashesAndOtherCaseFindsTheFile) {
  Write("Data/data.ini", "[s]\nk=found\n");
  const TIniFile ini(dir_.Path() + "\\DATA\\Data.INI");
  EXPECT_EQ(ini.FileName(), dir_.Path() + "\\DATA\\Data.INI");
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "found");
}

TEST_F(IniFileTest, TheFileIsReadAgainOnEveryCall) {
  const std::string name = Write("a.ini", "[s]\nk=old\n");
  const TIniFile ini(name);
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "old");
  Write("a.ini", "[s]\nk=new\n");
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "new");
}

TEST_F(IniFileTest, DirectoriesAndGarbageGiveDefaultsOrWhatTheLinesSay) {
  std::filesystem::create_directory(dir_.File("dir.ini"));
  EXPECT_EQ(TIniFile(dir_.File("dir.ini")).ReadString("s", "k", "-"), "-");

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  const std::string noise(std::string("\0[\x01=]\xFF=\r", 8));
  const TIniFile ini(Write("g.ini", garbage + noise + "\n[s]\nk=v\n" + garbage));
  EXPECT_EQ(ini.ReadString("s", "k", "-"), "v");
  EXPECT_EQ(TIniFile(Write("bom.ini", "\xFF\xFE" + garbage)).ReadString("s", "k", "-"), "-");
  EXPECT_EQ(TIniFile(Write("u8.ini", "\xEF\xBB\xBF" + garbage)).ReadString("s", "k", "-"), "-");
}

TEST_F(IniFileTest, FreeFunctionReadsLikeTheClass) {
  const std::string name = Write("a.ini", "[s]\nk=v\n");
  EXPECT_EQ(GetPrivateProfileStringA("S", "K", "-", name), "v");
  EXPECT_EQ(GetPrivateProfileStringA("S", "missing", "dflt", name), "dflt");
}

}  // namespace
}  // namespace katalog::platform
