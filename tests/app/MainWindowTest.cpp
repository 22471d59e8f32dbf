// The main window: start-up from data.ini, the details of the current entry, the heading and
// the memo's scroll bar, and what a missing table or field leaves on the screen.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <cstdlib>
#include <initializer_list>

#include "ViewerFixture.h"
#include "app/Controls.h"
#include "app/Fonts.h"
#include "dataset/DataSource.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/DBText.h"
#include "dbcontrols/QtText.h"
#include "engine/components/IsamTable.h"

namespace katalog::testing {
namespace {

class MainWindowTest : public ViewerTest {};

TEST_F(MainWindowTest, TheChosenSectionNamesTheTableAndTheTextsWithDefaultsForMissingKeys) {
  MakeTable({{"Bistro", "Krátký popis."}, {"Hospoda", ""}});
  WriteIni(
      "[1]\nd_name=nothing\n"
      "[2]\nD_NAME=places\nd_caption=Ubytování\nd_left=vlevo\nd_right=vpravo\n");
  TForm1& form = Show("2");
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Ubytování"));
  EXPECT_EQ(form.Label7->Caption(), "on-line i na internetu");  // the section has no d_inet
  EXPECT_EQ(form.Image3->Hint(), "vlevo");
  EXPECT_EQ(form.Image5->Hint(), "vpravo");
  EXPECT_EQ(form.Label5->Caption(), "2");
  EXPECT_EQ(form.Label9->Caption(), "Bistro");
  EXPECT_EQ(form.DBText1->text(), QString::fromUtf8("Dlouhá 0"));
  EXPECT_EQ(form.DBText4->DataField(), "DE_7");
  EXPECT_EQ(form.DBMemo1->toPlainText(), QString::fromUtf8("Krátký popis."));
  EXPECT_TRUE(form.IsamTable1->ReadOnly());
  EXPECT_FALSE(form.IsamTable1->Exclusive());

  form.IsamTable1->Next();
  EXPECT_EQ(form.Label9->Caption(), "Hospoda");
  EXPECT_EQ(form.DBMemo1->toPlainText(), QString());
}

TEST_F(MainWindowTest, ADarkThemeLeavesEveryTextReadable) {
  const QPalette theme = QApplication::palette();
  QPalette dark = theme;
  for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
    dark.setColor(role, QColor(0x20, 0x20, 0x20));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    dark.setColor(role, QColor(0xF0, 0xF0, 0xF0));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0xC0, 0xC0, 0xC0));
  QApplication::setPalette(dark);
  MakeTable({{"Bistro", "Popis."}});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  QApplication::setPalette(theme);

  // Text and what lies under it differ by at least 100 of the 255 grey levels, enabled or not.
  const auto readable = [](const QWidget* widget, QPalette::ColorRole text,
                           QPalette::ColorRole under) {
    for (const auto group : {QPalette::Active, QPalette::Disabled}) {
      const int contrast = std::abs(qGray(widget->palette().color(group, text).rgb()) -
                                    qGray(widget->palette().color(group, under).rgb()));
      if (contrast < 100) return false;
    }
    return true;
  };
  for (const QWidget* field :
       std::initializer_list<const QWidget*>{form.DBGrid1, form.DBMemo1, form.Edit1}) {
    EXPECT_TRUE(readable(field, QPalette::Text, QPalette::Base))
        << field->objectName().toStdString();
  }
  for (const QWidget* label : std::initializer_list<const QWidget*>{
           form.DBText1, form.DBText4, form.DBText5, form.Label5, form.Label9, form.CheckBox1}) {
    EXPECT_TRUE(readable(label, QPalette::WindowText, QPalette::Window))
        << label->objectName().toStdString();
  }
  EXPECT_TRUE(readable(form.Button1, QPalette::ButtonText, QPalette::Button));
  // The check boxes are white as the panel they stand on, their box included.
  EXPECT_EQ(form.CheckBox2->palette().color(QPalette::Button), clWhite);
  EXPECT_EQ(form.CheckBox2->palette().color(QPalette::Window), clWhite);
}

TEST_F(MainWindowTest, TheLayoutPlacesStacksAndOrdersTheControls) {
  MakeTable({{"Bistro", ""}});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  EXPECT_EQ(form.size(), QSize(640, 455));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.DBGrid1->geometry(), QRect(24, 24, 260, 225));
  EXPECT_EQ(form.DBMemo1->geometry(), QRect(24, 284, 450, 145));
  EXPECT_EQ(form.Edit1->geometry(), QRect(400, 60, 129, 19));
  EXPECT_EQ(form.Image1->size(), QSize(640, 480));
  EXPECT_EQ(form.Image2->size(), QSize(95, 62));
  EXPECT_EQ(form.Image3->size(), QSize(39, 9));

  // Creation order is stacking order: the background first, the list last.
  const QObjectList& children = form.children();
  EXPECT_EQ(children.indexOf(form.Image1), 0);
  EXPECT_LT(children.indexOf(form.DBMemo1), children.indexOf(form.DBGrid1));
  EXPECT_LT(children.indexOf(form.Label9), children.indexOf(form.Image4));

  // Tab order: the list, the search text, the boxes, the buttons; the memo is not a stop.
  std::vector<QWidget*> order;
  for (QWidget* w = form.DBGrid1->nextInFocusChain(); w != form.DBGrid1; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->parentWidget() == &form) order.push_back(w);
  EXPECT_EQ(order, (std::vector<QWidget*>{form.Edit1, form.CheckBox1, form.CheckBox2, form.Button1,
                                          form.Button3}));
  EXPECT_EQ(form.DBMemo1->focusPolicy(), Qt::ClickFocus);

  // Hints: white, at once, for 15 seconds; the links show the hand.
  EXPECT_EQ(QToolTip::palette().color(QPalette::ToolTipBase), QColor(Qt::white));
  EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 0);
  EXPECT_EQ(form.Image2->cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(form.Button1->cursor().shape(), Qt::BitmapCursor);
  EXPECT_EQ(form.Label7->toolTip(),
            QStringLiteral("http://www.velmar.example/c/adresar/search.php3"));
}

TEST_F(MainWindowTest, WithoutDataIniEveryKeyHasItsDefault) {
  TForm1& form = Show();
  ASSERT_EQ(errors_.size(), 1u);  // no table name: opening fails
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Katalog"));
  EXPECT_EQ(form.Label7->Caption(), Cp("on-line i na internetu"));
  EXPECT_EQ(form.Label9->Caption(), "Nadpis");
  EXPECT_EQ(form.IsamTable1->TableName(), "");
}

TEST_F(MainWindowTest, ALongTableNameIsCutTo2047Characters) {
  WriteIni("[1]\nd_name=" + std::string(3000, 'n') + "\n");
  TForm1& form = Show();
  EXPECT_EQ(form.IsamTable1->TableName(), std::string(2047, 'n'));
  EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(MainWindowTest, AMissingTableShowsTheEngineErrorAndTheLayoutTexts) {
  WriteIni("[1]\nd_name=missing\nd_caption=Jiný titul\nd_inet=jinde\n");
  TForm1& form = Show();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("ISAM Engine Error # "), std::string::npos) << errors_[0];
  EXPECT_NE(errors_[0].find("missing"), std::string::npos) << errors_[0];
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Katalog"));
  EXPECT_EQ(form.Label7->Caption(), Cp("on-line i na internetu"));
  EXPECT_EQ(form.Label5->Caption(), "");
  EXPECT_EQ(form.Image5->Hint(),
            Cp("Pozn.: Poslední aktualizace dat 2/2000. Možné změny údajů vyhrazeny."));
  EXPECT_EQ(form.DBText1->DataField(), "");
  EXPECT_FALSE(form.IsamTable1->Active());
}

TEST_F(MainWindowTest, ATableWithoutTheTelephoneStopsBindingAtTheFourthLabel) {
  MakeTable({{"Bistro", ""}}, "DE_7");
  WriteIni("[1]\nd_name=places\nd_caption=Titul\n");
  TForm1& form = Show();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "DBText4: Field 'DE_7' not found");
  EXPECT_EQ(form.DBText3->DataField(), "DE_5");
  EXPECT_EQ(form.DBText5->DataField(), "");
  EXPECT_EQ(form.Label5->Caption(), "");
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Katalog"));
  EXPECT_EQ(form.Label9->Caption(), "Bistro");  // the table is open
}

TEST_F(MainWindowTest, AnEmptyTableKeepsTheDesignHeadingAndCountsZero) {
  MakeTable({});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(form.Label9->Caption(), "Nadpis");
  EXPECT_EQ(form.Label5->Caption(), "0");
}

TEST_F(MainWindowTest, AHeadingWiderThan280PixelsIsCutAndHinted) {
  const std::string wider = NameOfWidth(281);  // "Restaurace aaa…"
  const std::string wide(24, 'W');             // wide characters, fewer than 35
  MakeTable({{wider, ""}, {wide, ""}, {"Zahrada", ""}});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  TLabel& heading = *form.Label9;
  ASSERT_GT(heading.fontMetrics().horizontalAdvance(QtText(wide)), 280);

  EXPECT_EQ(heading.Caption(), wider.substr(0, 35) + "...");
  EXPECT_EQ(heading.width(), 280);
  EXPECT_TRUE(heading.ShowHint());
  EXPECT_EQ(heading.Hint(), wider);
  EXPECT_EQ(heading.toolTip(), QtText(wider));

  form.IsamTable1->Next();  // "..." after the whole name
  EXPECT_EQ(heading.Caption(), wide + "...");
  EXPECT_EQ(heading.width(), 280);

  form.IsamTable1->Next();  // back to a short name: natural width, no hint
  EXPECT_EQ(heading.Caption(), "Zahrada");
  EXPECT_EQ(heading.width(), heading.fontMetrics().horizontalAdvance(QStringLiteral("Zahrada")));
  EXPECT_FALSE(heading.ShowHint());
  EXPECT_TRUE(heading.toolTip().isEmpty());
}

TEST_F(MainWindowTest, AHeadingOfExactly280PixelsShowsWhole) {
  const std::string exact = NameOfWidth(280);
  MakeTable({{exact, ""}});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  EXPECT_EQ(form.Label9->Caption(), exact);
  EXPECT_EQ(form.Label9->width(), 280);
  EXPECT_FALSE(form.Label9->ShowHint());
}

// Every telephone and fax of the bundled catalogue shows whole in its label, in the font the
// program draws it with.
TEST_F(MainWindowTest, EveryBundledTelephoneAndFaxFitsItsLabel) {
  for (const auto& [section, entries] : {std::pair{"1", 330}, std::pair{"2", 42}}) {
    form_ = std::make_unique<TForm1>(TStartup{KATALOG_BUNDLED_CATALOGUE "/", section});
    TForm1& form = *form_;
    form.show();
    ASSERT_TRUE(form.IsamTable1->Active()) << section;
    int walked = 0;
    for (form.IsamTable1->First(); !form.IsamTable1->Eof(); form.IsamTable1->Next(), ++walked) {
      for (const TDBText* number : {form.DBText4, form.DBText5}) {
        EXPECT_LE(number->fontMetrics().horizontalAdvance(number->text()),
                  number->contentsRect().width())
            << number->text().toStdString() << " in section " << section;
      }
    }
    EXPECT_EQ(walked, entries);
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(MainWindowTest, TheMemoScrollsFromTwelveLines) {
  std::string eleven, twelve;
  for (int i = 1; i <= 11; ++i) eleven += "řádek " + std::to_string(i) + (i < 11 ? "\r\n" : "");
  twelve = eleven + "\r\nřádek 12";
  MakeTable({{"A jedenáct", eleven},
             {"B dvanáct", twelve},
             {"C jedenáct a prázdný", eleven + "\r\n"},
             {"D zalomený", std::string(12 * 90, 'x')}});
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  EXPECT_EQ(form.MemoLineCount(), 11);
  EXPECT_EQ(form.DBMemo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  form.IsamTable1->Next();
  EXPECT_EQ(form.MemoLineCount(), 12);
  EXPECT_EQ(form.DBMemo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  form.IsamTable1->Next();  // a last empty line does not count
  EXPECT_EQ(form.MemoLineCount(), 11);
  EXPECT_EQ(form.DBMemo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  form.IsamTable1->Next();  // one paragraph wrapped at the memo's width
  EXPECT_GE(form.MemoLineCount(), 12);
  EXPECT_EQ(form.DBMemo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  // A search shows its first match with the scroll bar its text needs.
  form.Edit1->setText(QString::fromUtf8("dvanáct"));
  form.Button1Click();
  EXPECT_EQ(form.Label5->Caption(), "1");
  EXPECT_EQ(form.DBMemo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(MainWindowTest, TheListShowsFourteenRowsAndFollowsTheKeys) {
  std::vector<TPlace> places;
  for (int i = 1; i <= 40; ++i)
    places.push_back({"Místo " + std::string(i < 10 ? "0" : "") + std::to_string(i), ""});
  MakeTable(places);
  WriteIni("[1]\nd_name=places\n");
  TForm1& form = Show();
  TDBGrid& grid = *form.DBGrid1;
  EXPECT_EQ(grid.VisibleRows(), 14);
  EXPECT_EQ(form.IsamTable1->BufferCount(), 14);
  EXPECT_TRUE(grid.hasFocus());
  QScrollBar* bar = grid.verticalScrollBar();
  EXPECT_EQ(bar->value(), 1);
  EXPECT_EQ(bar->maximum(), 40);

  QTest::keyClick(&grid, Qt::Key_PageDown);  // a page: the 14 rows
  EXPECT_EQ(CurrentName(), Cp("Místo 15"));
  EXPECT_EQ(form.Label9->Caption(), Cp("Místo 15"));
  EXPECT_EQ(bar->value(), 15);
  QTest::keyClick(&grid, Qt::Key_End);
  EXPECT_EQ(CurrentName(), Cp("Místo 40"));
  EXPECT_EQ(bar->value(), 40);
  QTest::keyClick(&grid, Qt::Key_Home);
  EXPECT_EQ(CurrentName(), Cp("Místo 01"));
  EXPECT_EQ(bar->value(), 1);

  // Filtered, the data set is not sequenced: three positions, first, middle and last.
  form.Edit1->setText(QStringLiteral("o 1"));
  form.Button1Click();
  EXPECT_EQ(form.Label5->Caption(), "10");  // 10-19
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 4);
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(&grid, Qt::Key_Down);
  EXPECT_EQ(bar->value(), 2);
  QTest::keyClick(&grid, Qt::Key_End);
  EXPECT_EQ(CurrentName(), Cp("Místo 19"));
  EXPECT_EQ(bar->value(), 4);
}

}  // namespace
}  // namespace katalog::testing
