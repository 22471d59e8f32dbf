// The bundled sample catalogue as the build generates it: both tables open read-only through
// TIsamTable, list their entries in Czech alphabetical order, hold the entries the viewer's
// behaviour is shown with, are write-protected like files on a CD, and are named by data.ini.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "platform/Locale.h"

namespace katalog::testing {
namespace {

constexpr const char* kCatalogueDir = CATALOGUE_DIR;

struct TEntry {
  std::string Name;         // DE_1, in code page 1250
  std::string Description;  // DE_11
};

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() { Sessions().DefaultSession().SetActive(true); }
  ~CatalogueTest() override { Sessions().DefaultSession().SetActive(false); }

  // Every record of the table in the order of its primary index.
  static std::vector<TEntry> Entries(const std::string& tableName) {
    TIsamTable table(nullptr);
    table.SetName("IsamTable1");
    table.SetDatabaseName(kCatalogueDir);
    table.SetTableName(tableName);
    table.SetReadOnly(true);
    table.Open();
    std::vector<TEntry> entries;
    for (table.First(); !table.Eof(); table.Next()) {
      entries.push_back(
          {table.FieldNamed("DE_1")->ValueString(), table.FieldNamed("DE_11")->ValueString()});
    }
    EXPECT_EQ(static_cast<std::size_t>(table.RecordCount()), entries.size());
    table.Close();
    return entries;
  }

  static void ExpectSorted(const std::vector<TEntry>& entries) {
    const platform::TLocale& czech = platform::UserDefaultLocale();
    for (std::size_t i = 1; i < entries.size(); ++i) {
      EXPECT_LE(czech.Compare(platform::kSortStringSort, entries[i - 1].Name, entries[i].Name), 0)
          << "entry " << i;
    }
  }

  static std::string Cp1250(const std::u16string& text) {
    return platform::CodePage(1250).FromUtf16(text);
  }

  static std::string AsciiLower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
  }
};

TEST_F(CatalogueTest, RestaurantsAreListedInCzechOrder) {
  const std::vector<TEntry> entries = Entries("restaurace");
  EXPECT_GE(entries.size(), 300u);
  ExpectSorted(entries);
  // Names with "Č" sort after "C", not after "Z" as their bytes would: not byte order.
  bool czechLetters = false;
  bool byteOrder = true;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].Name;
    czechLetters = czechLetters || name.find(Cp1250(u"Č")) != std::string::npos ||
                   name.find(Cp1250(u"č")) != std::string::npos;
    byteOrder = byteOrder && (i == 0 || entries[i - 1].Name <= name);
  }
  EXPECT_TRUE(czechLetters);
  EXPECT_FALSE(byteOrder);
}

TEST_F(CatalogueTest, RestaurantsHoldTheEntriesTheViewerIsShownWith) {
  const std::vector<TEntry> entries = Entries("restaurace");
  int profilterit = 0;
  int pizza = 0;
  std::size_t longestName = 0;
  int longDescriptions = 0;
  for (const TEntry& entry : entries) {
    profilterit += entry.Name == "PROFILTERIT";
    pizza += AsciiLower(entry.Name).find("pizza") != std::string::npos;
    longestName = std::max(longestName, entry.Name.size());
    longDescriptions += entry.Description.size() > 4095;
  }
  EXPECT_EQ(profilterit, 1);
  EXPECT_GE(pizza, 3);
  EXPECT_GE(longestName, 55u);
  EXPECT_GE(longDescriptions, 2);
}

TEST_F(CatalogueTest, AccommodationIsASecondSortedTable) {
  const std::vector<TEntry> entries = Entries("ubytovani");
  EXPECT_GE(entries.size(), 30u);
  ExpectSorted(entries);
}

TEST_F(CatalogueTest, TableFilesHaveNoWritePermission) {
  for (const char* table : {"restaurace", "ubytovani"}) {
    for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
      const std::string path = std::string(kCatalogueDir) + "/" + table + extension;
      struct stat info {};
      ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
      EXPECT_EQ(info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH), 0u) << path;
    }
  }
}

TEST_F(CatalogueTest, DataIniNamesBothTables) {
  const platform::TIniFile ini(std::string(kCatalogueDir) + "/data.ini");
  EXPECT_EQ(ini.ReadString("1", "d_name", ""), "restaurace");
  EXPECT_EQ(ini.ReadString("2", "d_name", ""), "ubytovani");
  EXPECT_EQ(ini.ReadString("1", "d_caption", ""), "Restaurace a hospody");
  EXPECT_EQ(ini.ReadString("1", "d_right", ""), Cp1250(u"Změna vyhrazena"));
  for (const char* section : {"1", "2"}) {
    EXPECT_FALSE(ini.ReadString(section, "d_inet", "").empty()) << section;
    EXPECT_FALSE(ini.ReadString(section, "d_left", "").empty()) << section;
  }
}

}  // namespace
}  // namespace katalog::testing
