// TForm1: the main window. It lists the catalogue's entry names in a grid, shows the details and
// the description of the entry under the cursor, counts the entries, searches them for a word
// (Unit1Search.cpp), and opens the two information windows and the links (Unit1Links.cpp).
//
// The window owns its components: the data-aware ones and the table as TComponents (deleted by
// the form, last created first), the plain controls as Qt children. It reads data.ini from the
// catalogue directory when it is shown and holds that configuration until it is closed; it never
// writes the table or the configuration.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "app/WordSearch.h"
#include "platform/Component.h"
#include "platform/IniFile.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace katalog {

class TDataSet;
class TDataSource;
class TDBGrid;
class TDBMemo;
class TDBText;
class TForm2;
class TForm3;
class TImage;
class TIsamTable;
class TLabel;

// Where the program finds its catalogue and which configuration section it uses.
struct TStartup {
  std::string dataDirectory;  // the directory of the tables and data.ini, ending with '/'
  std::string section = "1";  // Windows-1250
};

class TForm1 : public QWidget, public TComponent {
 public:
  explicit TForm1(TStartup startup);
  ~TForm1() override;

  // The windows the logos open; they live as long as the program.
  void SetInformationWindows(TForm2* form2, TForm3* form3);

  // Components, in creation order (which is the stacking order, later ones on top).
  TImage* Image1;            // background picture
  TLabel* Label1;            // caption "adresa:"
  TDBText* DBText1;          // address, first line (DE_3)
  TDBText* DBText2;          // address, second line (DE_4)
  TDBText* DBText3;          // address, third line (DE_5)
  TLabel* Label2;            // caption "telefon:"
  TLabel* Label3;            // caption "fax:"
  TDBText* DBText4;          // telephone (DE_7)
  TDBText* DBText5;          // fax (DE_9)
  TImage* Image2;            // left logo: opens the information service's window (TForm2)
  TLabel* Label4;            // caption "počet záznamů:"
  TLabel* Label5;            // the number of entries shown
  TLabel* Label7;            // web link to the directory search
  TImage* Image3;            // note under the left logo, with its hint
  TLabel* Label8;            // invisible spot: a double-click mails the author
  TLabel* Label9;            // heading: the entry's name, cut when wider than 280 px
  TImage* Image4;            // right logo: opens the CD's window (TForm3)
  TImage* Image5;            // note under the right logo, with its hint
  TDBMemo* DBMemo1;          // description (DE_11)
  QPushButton* Button1;      // "najít": searches for the text in Edit1
  QLineEdit* Edit1;          // the word to search for
  QPushButton* Button3;      // "vše": shows every entry again
  QCheckBox* CheckBox1;      // search the names ("v seznamu")
  QCheckBox* CheckBox2;      // search the descriptions ("v popisu")
  TDBGrid* DBGrid1;          // the list of names (DE_1)
  TIsamTable* IsamTable1;    // the catalogue table, read-only and shared
  TDataSource* DataSource1;  // connects IsamTable1 to the data-aware controls

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void IsamTable1AfterScroll(TDataSet& dataSet);
  void Button1Click();
  void Button3Click();
  void Edit1KeyDown(int& key, Qt::KeyboardModifiers shift);
  void IsamTable1FilterRecord(TDataSet& dataSet, bool& accept);
  void Image2Click();
  void Image4Click();
  void Label7Click();
  void Label8DblClick();

  // The display lines of the memo's text after word wrap at its width, less a last empty one.
  int MemoLineCount() const;
  // A vertical scroll bar from 12 lines on, none below.
  void UpdateMemoScrollBar();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateDetails();
  void CreateSearch();
  void CreateList();

  TStartup startup_;
  std::unique_ptr<platform::TIniFile> iniFile_;
  // The search the filter handler applies, with the box's text and the two check boxes it was
  // made from: made again only when one of them changed, not for every record.
  struct TSearchInputs {
    QString Text;
    bool Names = false;
    bool Descriptions = false;
    bool operator==(const TSearchInputs&) const = default;
  };
  std::optional<TSearchInputs> searchInputs_;
  std::unique_ptr<TWordSearch> search_;
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
};

}  // namespace katalog
