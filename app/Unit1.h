// TForm1: the main window. It lists the catalogue's entry names in a grid, shows the details and
// the description of the entry under the cursor, counts the entries, searches them for a word
// (Unit1Search.cpp), and opens the two information windows and the links (Unit1Links.cpp).
//
// The window owns its components: the data-aware ones and the table as TComponents (deleted by
// the form, last created first), the plain controls as Qt children. It reads data.ini from the
// catalogue directory when it is shown and holds that configuration until it is closed; it never
// writes the table or the configuration.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

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
  TImage* Image1;
  TLabel* Label1;
  TDBText* DBText1;
  TDBText* DBText2;
  TDBText* DBText3;
  TLabel* Label2;
  TLabel* Label3;
  TDBText* DBText4;
  TDBText* DBText5;
  TImage* Image2;
  TLabel* Label4;
  TLabel* Label5;
  TLabel* Label7;
  TImage* Image3;
  TLabel* Label8;
  TLabel* Label9;
  TImage* Image4;
  TImage* Image5;
  TDBMemo* DBMemo1;
  QPushButton* Button1;
  QLineEdit* Edit1;
  QPushButton* Button3;
  QCheckBox* CheckBox1;
  QCheckBox* CheckBox2;
  TDBGrid* DBGrid1;
  TIsamTable* IsamTable1;
  TDataSource* DataSource1;

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
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
};

}  // namespace katalog
