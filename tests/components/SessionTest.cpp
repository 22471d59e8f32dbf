// Sessions and databases: the session list, names and auto-names, starting and stopping, and
// the databases data sets open by name or by directory.
#include <gtest/gtest.h>

#include "dataset/DatabaseError.h"
#include "engine/components/Database.h"
#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "support/MemoryDataSet.h"

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
  ~SessionTest() override { Sessions().DefaultSession().SetActive(false); }
  TIsamSession& Default() { return Sessions().DefaultSession(); }
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

}  // namespace
}  // namespace katalog::testing
