// The search: names, descriptions or both, case folding of the code page's letters, the message
// box when nothing matches and the reset, and the entry the filter expression always hides.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTranslator>
#include <memory>

#include "ViewerFixture.h"
#include "app/Application.h"
#include "app/Controls.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"

namespace katalog::testing {
namespace {

class SearchTest : public ViewerTest {
 protected:
  SearchTest() {
    MakeTable(SearchPlaces());
    WriteIni("[1]\nd_name=places\n");
    Show();
  }

  // Searches for the text with the boxes as given; returns the names shown, in list order.
  std::vector<std::string> Search(const std::string& text, bool names, bool descriptions) {
    form_->Edit1->setText(QString::fromUtf8(text));
    form_->CheckBox1->setChecked(names);
    form_->CheckBox2->setChecked(descriptions);
    form_->Button1Click();
    return Shown();
  }

  std::vector<std::string> Shown() {
    std::vector<std::string> names;
    TIsamTable& table = *form_->IsamTable1;
    for (table.First(); !table.Eof(); table.Next()) names.push_back(CurrentName());
    table.First();
    return names;
  }

  using Names = std::vector<std::string>;
};

TEST_F(SearchTest, NamesOnlyFoldsTheLettersOfTheCodePage) {
  EXPECT_EQ(Search("pizza", true, false), (Names{"PIZZA NAPOLI", "Pizza u mostu"}));
  EXPECT_EQ(form_->Label5->Caption(), "2");
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(form_->DataSource1->Enabled());
  EXPECT_EQ(form_->Label9->Caption(), "PIZZA NAPOLI");

  // Czech letters fold as ASCII ones do, in every mode.
  EXPECT_EQ(Search("čertovka", true, false), (Names{Cp("Čertovka")}));
  EXPECT_EQ(Search("ČERTOVKA", true, true), (Names{Cp("Čertovka")}));
  EXPECT_EQ(Search("TĚSTOVINY", false, true), (Names{"Pizza u mostu"}));
  EXPECT_EQ(Search("LÍPY", true, true), (Names{Cp("U Lípy")}));
  EXPECT_TRUE(boxes_.empty());

  // A word nothing holds: the message, then every entry again.
  EXPECT_EQ(Search("ř", true, false).size(), 6u);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].Text, Cp("hledané slovo nenalezeno v žádném záznamu"));
  EXPECT_EQ(boxes_[0].Caption, "Filtr");
  EXPECT_EQ(boxes_[0].Flags, 0x40u);
  EXPECT_EQ(form_->Label5->Caption(), "6");
  EXPECT_FALSE(form_->IsamTable1->Filtered());
  EXPECT_EQ(form_->IsamTable1->Filter(), "");
}

TEST_F(SearchTest, TheSearchBoxsMenuReadsCzech) {
  QTranslator translator;  // leaves the application with the object
  ASSERT_TRUE(InstallQtCzech(translator));
  const std::unique_ptr<QMenu> menu(form_->Edit1->createStandardContextMenu());
  QStringList texts;
  for (const QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text().section(QLatin1Char('\t'), 0, 0);
  }
  EXPECT_EQ(texts.join(QLatin1Char('|')).toStdString(),
            "&Zpět|&Znovu|&Vyjmout|&Kopírovat|&Vložit|Smazat|Vybrat vše");
}

TEST_F(SearchTest, DescriptionsOnlyAndBothFindWhatTheOtherMisses) {
  EXPECT_EQ(Search("PIZZA", false, true), (Names{Cp("U Lípy")}));
  EXPECT_EQ(Search("pizza", true, true), (Names{"PIZZA NAPOLI", "Pizza u mostu", Cp("U Lípy")}));
  EXPECT_EQ(Search("mostem", true, true), (Names{Cp("Čertovka")}));      // description only
  EXPECT_EQ(Search("rohu", true, true), (Names{"Restaurace Na Rohu"}));  // name only
  EXPECT_EQ(form_->Label5->Caption(), "1");  // each search starts from the whole table
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(SearchTest, WithBothBoxesClearedTheNamesAreSearched) {
  EXPECT_EQ(Search("rohu", false, false), (Names{"Restaurace Na Rohu"}));
  EXPECT_TRUE(form_->CheckBox1->isChecked());
  EXPECT_FALSE(form_->CheckBox2->isChecked());
}

TEST_F(SearchTest, AnEmptyTextFindsNothingAndShowsEverythingAfterTheMessage) {
  Search("pizza", true, true);
  EXPECT_EQ(Search("", true, true).size(), 6u);
  EXPECT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(form_->Label5->Caption(), "6");
  EXPECT_EQ(form_->Label9->Caption(), Cp("Čertovka"));  // the first entry again
}

TEST_F(SearchTest, TheHiddenEntryNeverShowsWhileSearching) {
  const Names found = Search("p", true, true);
  EXPECT_EQ(found.size(), 5u);
  EXPECT_EQ(std::count(found.begin(), found.end(), "PROFILTERIT"), 0);
  form_->Button3Click();
  EXPECT_EQ(Shown().size(), 6u);
  EXPECT_EQ(form_->Label5->Caption(), "6");
}

TEST_F(SearchTest, EnterSearchesWhateverTheShiftState) {
  form_->Edit1->setText(QStringLiteral("rohu"));
  QTest::keyClick(form_->Edit1, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(form_->Label5->Caption(), "1");
  form_->Edit1->setText(QStringLiteral("pizza"));
  QTest::keyClick(form_->Edit1, Qt::Key_Enter, Qt::ControlModifier);
  EXPECT_EQ(form_->Label5->Caption(), "3");
  QTest::keyClick(form_->Edit1, Qt::Key_A);  // other keys only type
  EXPECT_EQ(form_->Label5->Caption(), "3");
  EXPECT_EQ(form_->Edit1->text(), QStringLiteral("pizzaa"));
}

TEST_F(SearchTest, TheButtonsSearchAndReset) {
  form_->Edit1->setText(QStringLiteral("napoli"));
  QTest::mouseClick(form_->Button1, Qt::LeftButton);
  EXPECT_EQ(form_->Label5->Caption(), "1");
  QTest::mouseClick(form_->Button3, Qt::LeftButton);
  EXPECT_EQ(form_->Label5->Caption(), "6");
  EXPECT_FALSE(form_->IsamTable1->Filtered());
}

TEST_F(SearchTest, TextsBeyondTheBuffersAreCutNotOverrun) {
  // Descriptions are compared in their first 4095 bytes, search texts in their first 255.
  form_.reset();
  MakeTable({{"Dlouhý", std::string(4095, 'x') + "konec"}, {"Krátký", "konec"}});
  Show();
  EXPECT_EQ(Search("konec", false, true), (Names{Cp("Krátký")}));
  EXPECT_EQ(Search(std::string(255, 'x') + "zzz", false, true), (Names{Cp("Dlouhý")}));
}

}  // namespace
}  // namespace katalog::testing
