// Sessions and databases: the session list, names and auto-names, starting and stopping, and
// the databases data sets open by name or by directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "engine/components/Database.h"
#include "engine/components/IsamTable.h"
#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"
#include "support/MemoryDataSet.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

template <class F>
std::string MessageOf(F&& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "(no error)";
}

class SessionTest : public ::testing::Test {
 protected:
  ~SessionTest() override {
    Sessions().DefaultSession().SetActive(false);
    Sessions().DefaultSession().SetKeepConnections(true);
  }
  TIsamSession& Default() { return Sessions().DefaultSession(); }

  // A table of one record whose Id is `id`, made at `path` (directories included).
  static void MakeTable(const std::string& path, std::int64_t id) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    TTableDefinition def;
    def.TableName = path;
    def.Fields = {{"Id", 6}};
    def.Indexes = {{"", {"Id"}, {}, true}};
    CreateTable(def);
    TDataFile file;
    file.SetExclusive(true);
    file.SetFileName(path);
    file.Open();
    std::vector<std::uint8_t> record(file.WorkingRecordSize());
    file.BlankRecord(record.data());
    file.WriteField(TFieldSet::Working, 1, id, record.data());
    file.Insert(record.data(), {});
    file.Close();
  }
};

// Works in another directory for a scope, so that relative names resolve there.
class TWorkingDirectory {
 public:
  explicit TWorkingDirectory(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~TWorkingDirectory() { std::filesystem::current_path(previous_); }
  TWorkingDirectory(const TWorkingDirectory&) = delete;
  TWorkingDirectory& operator=(const TWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

TEST_F(SessionTest, TheListFindsSessionsByNameIgnoringCase) {
  EXPECT_EQ(Default().SessionName(), "Default");
  EXPECT_EQ(Sessions().FindSession(""), &Default());
  EXPECT_EQ(Sessions().FindSession("DEFAULT"), &Default());
  EXPECT_EQ(MessageOf([] { Sessions().GetSession("Nope"); }), "Session name Nope is not valid.");

  TIsamSession other(nullptr);
  EXPECT_EQ(MessageOf([&] { other.SetSessionName("dEFAULT"); }),
            "Session name dEFAULT already exists.");
  EXPECT_EQ(MessageOf([&] { other.SetActive(true); }), "Session name is missing.");
  other.SetSessionName("Second");
  EXPECT_EQ(Sessions().FindSession("second"), &other);
  other.SetActive(true);
  EXPECT_TRUE(Default().Active());  // started first
  EXPECT_NE(other.FileSession(), Default().FileSession());
  EXPECT_EQ(MessageOf([&] { other.SetSessionName("Third"); }),
            "Cannot perform this operation on an active session.");
}

TEST_F(SessionTest, AutoNamesComeFromTheComponentName) {
  TComponent form(nullptr);
  auto* session = new TIsamSession(&form);
  session->SetName("Session1");
  auto* database = new TIsamDatabase(&form);
  session->SetAutoSessionName(true);
  EXPECT_EQ(session->SessionName(), "Session1_1");
  EXPECT_EQ(database->SessionName(), "Session1_1");
  EXPECT_EQ(MessageOf([&] { session->SetSessionName("x"); }),
            "Cannot perform this operation on the active auto-session.");
  EXPECT_EQ(MessageOf([&] { new TIsamSession(&form); }), "This auto-session already exists.");
  session->SetName("Renamed");
  EXPECT_EQ(session->SessionName(), "Renamed_1");
  auto* later = new TIsamDatabase(&form);
  EXPECT_EQ(later->SessionName(), "Renamed_1");
  EXPECT_EQ(later->Session(), session);
}

TEST_F(SessionTest, DataSetsGetTemporaryDatabasesByName) {
  TIsamDatabase& path = Default().OpenDatabase("/srv/catalogue/data/");
  EXPECT_TRUE(path.Temporary());
  EXPECT_TRUE(path.Connected());
  EXPECT_EQ(path.TableDirectory(), "/srv/catalogue/data/");
  TIsamDatabase& again = Default().OpenDatabase("/srv/catalogue/data/");
  EXPECT_EQ(&again, &path);
  EXPECT_EQ(path.UseCount(), 2);

  TIsamDatabase& plain = Default().OpenDatabase("tables");
  EXPECT_EQ(plain.TableDirectory(), "");

  // Kept while KeepConnections is on; freed at the last close once it is off.
  Default().CloseDatabase(path);
  Default().CloseDatabase(path);
  EXPECT_EQ(Default().FindDatabase("/srv/catalogue/data/"), &path);
  path.SetKeepConnection(false);  // unused: disconnects at once
  EXPECT_FALSE(path.Connected());
  Default().CloseDatabase(Default().OpenDatabase("/srv/catalogue/data/"));
  EXPECT_EQ(Default().FindDatabase("/srv/catalogue/data/"), nullptr);

  // Stopping the session frees its temporary databases.
  Default().SetActive(false);
  EXPECT_EQ(Default().FindDatabase("tables"), nullptr);
}

TEST_F(SessionTest, DatabaseComponentsCheckTheirNames) {
  TComponent form(nullptr);
  auto* database = new TIsamDatabase(&form);
  EXPECT_EQ(database->Session(), &Default());
  EXPECT_EQ(MessageOf([&] { database->SetConnected(true); }), "Database name is missing.");
  EXPECT_EQ(MessageOf([&] { database->SetDatabaseName("c:data"); }),
            "Database name c:data is not valid.");
  EXPECT_EQ(MessageOf([&] { database->SetDatabaseName("a/b"); }),
            "Database name a/b is not valid.");
  database->SetDatabaseName("Catalogue");
  database->SetDirectory("/srv/catalogue");
  auto* twin = new TIsamDatabase(&form);
  EXPECT_EQ(MessageOf([&] { twin->SetDatabaseName("CATALOGUE"); }),
            "Database name CATALOGUE already exists.");
  database->SetConnected(true);
  EXPECT_EQ(MessageOf([&] { database->SetDirectory("/elsewhere"); }),
            "Cannot perform this operation on an open database.");
  // A data set naming the component uses it, not a temporary one.
  TIsamDatabase& used = Default().OpenDatabase("catalogue");
  EXPECT_EQ(&used, database);
  EXPECT_EQ(used.TableDirectory(), "/srv/catalogue");

  // Disconnecting closes the data sets that use the database.
  TMemoryDataSet dataSet(nullptr, {{"X", ftInteger}});
  dataSet.Open();
  database->AddDataSet(&dataSet);
  database->SetConnected(false);
  EXPECT_FALSE(dataSet.Active());
  EXPECT_EQ(database->UseCount(), 0);
}

TEST_F(SessionTest, AnUnusedTemporaryDatabaseGivesWayToAComponent) {
  TIsamDatabase& temporary = Default().OpenDatabase("Shared");
  Default().CloseDatabase(temporary);
  TComponent form(nullptr);
  auto* component = new TIsamDatabase(&form);
  component->SetDatabaseName("shared");
  EXPECT_EQ(Default().FindDatabase("Shared"), component);
}

TEST_F(SessionTest, SessionLocksNestAndMakeTheirFileSessionCurrent) {
  TIsamSession other(nullptr);
  other.SetSessionName("Locked");
  {
    TSessionLock outer(other);
    EXPECT_TRUE(other.Active());
    EXPECT_EQ(&CurrentFileSession(), other.FileSession());
    TSessionLock inner(other);
    other.AddPassword("secret");
    EXPECT_TRUE(other.FileSession()->HasPassword("secret"));
  }
  other.RemoveAllPasswords();
  EXPECT_FALSE(other.FileSession()->HasPassword("secret"));
  other.SetActive(false);
  EXPECT_EQ(&CurrentFileSession(), DefaultFileSession());
}

// Disconnecting a database closes the tables that use it and leaves the database itself
// whole, also a temporary one whose session keeps no connections: the tables' release must not
// free it under its own disconnect. It is then reused, or freed at the next last close.
TEST_F(SessionTest, DisconnectingADatabaseClosesItsTablesAndOutlivesThem) {
  TempDir dir;
  Default().SetActive(true);
  MakeTable(dir.File("T"), 1);
  struct TCase {
    const char* What;
    bool Component;
    bool Keep;
    int Tables;
  };
  const TCase cases[] = {
      {"temporary, connections not kept, one table", false, false, 1},
      {"temporary, connections not kept, two tables", false, false, 2},
      {"temporary, connections kept", false, true, 2},
      {"component without KeepConnection, two tables", true, false, 2},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    Default().SetKeepConnections(c.Keep);
    TComponent form(nullptr);
    TIsamDatabase* component = nullptr;
    if (c.Component) {
      component = new TIsamDatabase(&form);
      component->SetDatabaseName("Shop");
      component->SetDirectory(dir.Path());
      component->SetKeepConnection(c.Keep);
    }
    std::vector<std::unique_ptr<TIsamTable>> tables;
    for (int i = 0; i < c.Tables; ++i) {
      auto table = std::make_unique<TIsamTable>(nullptr);
      table->SetDatabaseName(c.Component ? "Shop" : dir.Path() + "/");
      table->SetTableName("T");
      table->Open();
      tables.push_back(std::move(table));
    }
    TIsamDatabase* database = tables.front()->Database();
    ASSERT_NE(database, nullptr);
    EXPECT_EQ(database->UseCount(), c.Tables);

    database->SetConnected(false);
    for (const auto& table : tables) {
      EXPECT_FALSE(table->Active());
      EXPECT_EQ(table->Database(), nullptr);
    }
    EXPECT_FALSE(database->Connected());
    EXPECT_EQ(database->UseCount(), 0);
    EXPECT_TRUE(database->DataSets().empty());
    EXPECT_EQ(Default().FindDatabase(database->DatabaseName()), database);

    // Opened again, the table takes the same database; its last close lets a temporary one
    // without KeepConnection go.
    tables.front()->Open();
    EXPECT_EQ(tables.front()->Database(), database);
    EXPECT_EQ(tables.front()->FieldNamed("Id")->ValueInteger(), 1);
    const std::string name = database->DatabaseName();
    tables.front()->Close();
    EXPECT_EQ(Default().FindDatabase(name) != nullptr, c.Component || c.Keep);
  }
}

// A database name that is a directory path names that directory exactly: names of directories
// keep their letter case on this system, so "Sub/" and "sub/" are two temporary databases. Paths
// are taken relative to the current directory, with "./" and "../" as they come; a plain word
// names a database, whose tables lie in the current directory.
TEST_F(SessionTest, TablesFindTheirDirectoryByRelativePaths) {
  TempDir dir;
  Default().SetActive(true);
  MakeTable(dir.File("work/sub/T"), 1);
  MakeTable(dir.File("work/Sub/T"), 2);
  MakeTable(dir.File("other/T"), 3);
  MakeTable(dir.File("work/T"), 4);
  const TWorkingDirectory inWork(dir.File("work"));
  struct TCase {
    const char* DatabaseName;
    const char* TableName;
    std::int64_t Id;
  };
  const TCase cases[] = {
      {"sub/", "T", 1},      {"Sub/", "T", 2},
      {"./sub", "T", 1},     {"./Sub/", "T", 2},
      {"", "sub/T", 1},      {"", "./Sub/T", 2},
      {"../other/", "T", 3}, {"../work/sub", "T", 1},
      {"", "../other/T", 3}, {"sub/../Sub", "T", 2},
      {"./", "T", 4},        {"", "T", 4},
      {"sub", "T", 4},       {"..\\work\\Sub\\", "T", 2},
  };
  // All open at once, in one session: each finds its own files.
  std::vector<std::unique_ptr<TIsamTable>> tables;
  for (const TCase& c : cases) {
    auto table = std::make_unique<TIsamTable>(nullptr);
    table->SetDatabaseName(c.DatabaseName);
    table->SetTableName(c.TableName);
    table->Open();
    tables.push_back(std::move(table));
  }
  for (std::size_t i = 0; i < tables.size(); ++i) {
    EXPECT_EQ(tables[i]->FieldNamed("Id")->ValueInteger(), cases[i].Id)
        << "DatabaseName '" << cases[i].DatabaseName << "', TableName '" << cases[i].TableName
        << "'";
  }
  tables.clear();
}

}  // namespace
}  // namespace katalog::testing
