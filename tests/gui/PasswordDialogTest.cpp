// The password dialog on an enciphered table: the buttons follow the edit box, added passwords
// reach the session, and the engine asks again until the right one is there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "dataset/DatabaseError.h"
#include "dbcontrols/PasswordDialog.h"
#include "engine/components/IsamTable.h"
#include "engine/components/PasswordHook.h"
#include "engine/components/SessionList.h"
#include "engine/table/TableCreation.h"
#include "support/TempDir.h"

namespace katalog::testing {
namespace {

class PasswordDialogTest : public ::testing::Test {
 protected:
  PasswordDialogTest() {
    Sessions().DefaultSession().SetActive(true);
    TTableDefinition definition;
    definition.TableName = dir_.File("secret");
    definition.Fields = {{"Name", 1, 0, 20}};
    definition.Password = "Tajne";
    CreateTable(definition);
    previous_ = SetPasswordDialog([this](TIsamSession& session) {
      ++shown_;
      // The dialog is modal: the script runs from the event loop it starts.
      QTimer::singleShot(0, [this] {
        auto* dialog = dynamic_cast<TIsamPasswordDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        script_.at(static_cast<std::size_t>(shown_ - 1))(*dialog);
      });
      return ShowIsamPasswordDialog(session);
    });
  }
  ~PasswordDialogTest() override {
    SetPasswordDialog(previous_);
    Sessions().DefaultSession().RemoveAllPasswords();
    Sessions().DefaultSession().SetActive(false);
  }

  bool Open() {
    TIsamTable table(nullptr);
    table.SetDatabaseName(dir_.Path());
    table.SetTableName("secret");
    try {
      table.Open();
      return true;
    } catch (const EDatabaseError&) {
      return false;
    }
  }

  static void Type(TIsamPasswordDialog& dialog, const char* text) {
    dialog.Edit->clear();
    QTest::keyClicks(dialog.Edit, QString::fromLatin1(text));
  }

  TempDir dir_;
  TPasswordDialog previous_;
  int shown_ = 0;
  std::vector<std::function<void(TIsamPasswordDialog&)>> script_;
};

TEST_F(PasswordDialogTest, TheButtonsFollowTheEditBox) {
  script_.push_back([](TIsamPasswordDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Enter password"));
    EXPECT_EQ(dialog.Edit->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(dialog.AddButton->isEnabled());
    EXPECT_FALSE(dialog.RemoveButton->isEnabled());
    EXPECT_FALSE(dialog.OKButton->isEnabled());
    EXPECT_TRUE(dialog.RemoveAllButton->isEnabled());
    Type(dialog, "x");
    EXPECT_TRUE(dialog.AddButton->isEnabled());
    EXPECT_TRUE(dialog.OKButton->isEnabled());
    Type(dialog, "");
    EXPECT_FALSE(dialog.OKButton->isEnabled());
    dialog.CancelButton->click();
  });
  EXPECT_FALSE(Open());  // cancelled: insufficient rights
  EXPECT_EQ(shown_, 1);
}

TEST_F(PasswordDialogTest, TheEngineAsksAgainUntilTheRightPasswordIsAdded) {
  script_.push_back([](TIsamPasswordDialog& dialog) {
    Type(dialog, "tajne");  // the wrong case
    dialog.AddButton->click();
    EXPECT_TRUE(dialog.Edit->text().isEmpty());
    EXPECT_TRUE(dialog.OKButton->isEnabled());  // something was added
    dialog.OKButton->click();
  });
  script_.push_back([](TIsamPasswordDialog& dialog) {
    Type(dialog, "Tajne");
    dialog.OKButton->click();
  });
  EXPECT_TRUE(Open());
  EXPECT_EQ(shown_, 2);
  EXPECT_TRUE(Open());  // the session keeps the password: no dialog
  EXPECT_EQ(shown_, 2);
}

TEST_F(PasswordDialogTest, RemoveAllTakesThePasswordsBack) {
  script_.push_back([](TIsamPasswordDialog& dialog) {
    Type(dialog, "Tajne");
    dialog.AddButton->click();
    dialog.RemoveAllButton->click();
    dialog.OKButton->click();  // nothing in the edit box: adds nothing
  });
  script_.push_back([](TIsamPasswordDialog& dialog) { dialog.CancelButton->click(); });
  EXPECT_FALSE(Open());
  EXPECT_EQ(shown_, 2);
}

}  // namespace
}  // namespace katalog::testing
