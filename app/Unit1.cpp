#include "app/Unit1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <limits>

#include "app/Addresses.h"
#include "app/Controls.h"
#include "app/Fonts.h"
#include "app/HintSettings.h"
#include "app/Pictures.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/DBText.h"
#include "dbcontrols/QtText.h"
#include "engine/components/IsamTable.h"
#include "platform/ExceptionReporter.h"

namespace katalog {
namespace {

constexpr int kHeadingWidth = 280;        // wider headings are cut
constexpr std::size_t kHeadingKept = 35;  // characters of a cut heading
constexpr int kMemoScrollLines = 12;      // from this many lines the memo scrolls

void SetBackground(QWidget* widget, const QColor& color, QPalette::ColorRole role) {
  QPalette palette = widget->palette();
  palette.setColor(role, color);
  widget->setPalette(palette);
}

TLabel* NavyLabel(QWidget* parent, const char* name, QRect bounds, const char* utf8) {
  auto* label = new TLabel(parent, name, bounds);
  label->setFont(LayoutFont(12, fsBold));
  SetBackground(label, clNavy, QPalette::WindowText);
  label->SetCaption(Windows1250(utf8));
  return label;
}

TDBText* DetailText(TComponent* owner, QWidget* parent, const char* name, QRect bounds) {
  auto* text = new TDBText(owner, parent);
  text->SetName(name);
  text->setObjectName(QString::fromLatin1(name));
  text->setGeometry(bounds);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return text;
}

TImage* LinkImage(QWidget* parent, const char* name, QRect bounds, const char* picture,
                  bool stretch) {
  auto* image = new TImage(parent, name, bounds);
  image->SetPicture(LayoutPicture(picture), stretch);
  image->SetShowHint(true);
  return image;
}

QPushButton* HandButton(QWidget* parent, const char* name, QRect bounds, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(bounds);
  return button;
}

QCheckBox* WhiteCheckBox(QWidget* parent, const char* name, QRect bounds, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(bounds);
  box->setChecked(true);
  box->setAutoFillBackground(true);
  SetBackground(box, clWhite, QPalette::Window);
  SetBackground(box, clWhite, QPalette::Button);  // the box itself, white as the panel
  return box;
}

}  // namespace

TForm1::TForm1(TStartup startup) : TComponent(nullptr), startup_(std::move(startup)) {
  SetName("Form1");
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Katalog"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(640, 455);
  setFont(LayoutFont(11));
  setPalette(LayoutPalette(palette()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  Image1 = new TImage(this, "Image1", QRect(0, 0, 640, 480));
  Image1->SetPicture(LayoutPicture("background.jpg"), false);
  CreateDetails();
  CreateSearch();
  CreateList();

  IsamTable1 = new TIsamTable(this);
  IsamTable1->SetName("IsamTable1");
  IsamTable1->SetLockRetryCount(15);
  IsamTable1->SetLockWaitTime(100);
  IsamTable1->SetForceBufferFlush(false);
  IsamTable1->SetAfterScroll([this](TDataSet& dataSet) { IsamTable1AfterScroll(dataSet); });
  IsamTable1->SetOnFilterRecord(
      [this](TDataSet& dataSet, bool& accept) { IsamTable1FilterRecord(dataSet, accept); });
  DataSource1 = new TDataSource(this);
  DataSource1->SetName("DataSource1");
  DataSource1->SetDataSet(IsamTable1);
  for (TDBText* text : {DBText1, DBText2, DBText3, DBText4, DBText5})
    text->SetDataSource(DataSource1);
  DBMemo1->SetDataSource(DataSource1);
  DBGrid1->SetDataSource(DataSource1);

  FormCreate();
}

// The address block, the logos, the count and the heading.
void TForm1::CreateDetails() {
  Label1 = NavyLabel(this, "Label1", QRect(328, 176, 43, 13), "adresa:");
  DBText1 = DetailText(this, this, "DBText1", QRect(392, 176, 201, 13));
  DBText2 = DetailText(this, this, "DBText2", QRect(392, 192, 65, 13));
  DBText2->SetAutoSize(true);
  DBText3 = DetailText(this, this, "DBText3", QRect(392, 208, 65, 13));
  DBText3->SetAutoSize(true);
  Label2 = NavyLabel(this, "Label2", QRect(328, 232, 44, 13), "telefon:");
  Label3 = NavyLabel(this, "Label3", QRect(512, 232, 22, 13), "fax:");
  DBText4 = DetailText(this, this, "DBText4", QRect(392, 232, 113, 13));
  DBText5 = DetailText(this, this, "DBText5", QRect(544, 232, 73, 13));
  Image2 = LinkImage(this, "Image2", QRect(516, 291, 95, 62), "logo-service.jpg", false);
  Image2->SetHint(Windows1250(addresses::kServiceName));
  Image2->SetOnClick([this] { Image2Click(); });
  Label4 = NavyLabel(this, "Label4", QRect(400, 88, 90, 13), "počet záznamů:");
  Label5 = new TLabel(this, "Label5", QRect(509, 88, 6, 13));
  Label7 = new TLabel(this, "Label7", QRect(328, 30, 140, 16));
  Label7->setFont(LayoutFont(13, fsBold | fsUnderline));
  SetBackground(Label7, clNavy, QPalette::WindowText);
  Label7->SetCaption(Windows1250("on-line i na internetu"));
  Label7->SetHint(addresses::kDirectorySearch);
  Label7->SetShowHint(true);
  Label7->SetOnClick([this] { Label7Click(); });
  Image3 = LinkImage(this, "Image3", QRect(16, 439, 39, 9), "note.bmp", true);
  Image3->SetHint(
      Windows1250("Pozn.: ACR - aktivní cestovní ruch (cizinci u nás), PCR - pasivní cestovní ruch "
                  "(našinec v cizině), DCR - domácí cestovní ruch"));
  Label8 = new TLabel(this, "Label8", QRect(288, 264, 33, 21));
  Label8->SetAutoSize(false);
  Label8->SetOnDblClick([this] { Label8DblClick(); });
  Label9 = new TLabel(this, "Label9", QRect(328, 148, 50, 16));
  Label9->setFont(LayoutFont(13, fsBold));
  SetBackground(Label9, clNavy, QPalette::WindowText);
  Label9->SetCaption("Nadpis");
  Image4 = LinkImage(this, "Image4", QRect(525, 370, 80, 47), "logo-cd.jpg", false);
  Image4->SetHint(addresses::kCdName);
  Image4->SetOnClick([this] { Image4Click(); });
  Image5 = LinkImage(this, "Image5", QRect(504, 439, 39, 9), "note.bmp", true);
  Image5->SetHint(
      Windows1250("Pozn.: Poslední aktualizace dat 2/2000. Možné změny údajů vyhrazeny."));

  DBMemo1 = new TDBMemo(this, this);
  DBMemo1->SetName("DBMemo1");
  DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
  DBMemo1->setGeometry(24, 284, 450, 145);
  DBMemo1->setFrameStyle(QFrame::NoFrame);
  DBMemo1->document()->setDocumentMargin(2);
  SetBackground(DBMemo1, clWhite, QPalette::Base);
  DBMemo1->SetReadOnly(true);
  DBMemo1->setFocusPolicy(Qt::ClickFocus);
  DBMemo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DBMemo1->SetDataField("DE_11");
}

void TForm1::CreateSearch() {
  Button1 = HandButton(this, "Button1", QRect(328, 60, 65, 17), "najít");
  connect(Button1, &QPushButton::clicked, this,
          [this] { platform::RunReported([this] { Button1Click(); }); });
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(400, 60, 129, 19);
  Edit1->setMaxLength(std::numeric_limits<int>::max());
  SetBackground(Edit1, clWhite, QPalette::Base);
  Edit1->installEventFilter(this);
  Button3 = HandButton(this, "Button3", QRect(328, 86, 65, 17), "vše");
  connect(Button3, &QPushButton::clicked, this,
          [this] { platform::RunReported([this] { Button3Click(); }); });
  CheckBox1 = WhiteCheckBox(this, "CheckBox1", QRect(536, 60, 81, 17), "v seznamu");
  CheckBox2 = WhiteCheckBox(this, "CheckBox2", QRect(536, 86, 73, 17), "v popisu");
}

void TForm1::CreateList() {
  DBGrid1 = new TDBGrid(this, this);
  DBGrid1->SetName("DBGrid1");
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setGeometry(24, 24, 260, 225);
  DBGrid1->setFrameStyle(QFrame::NoFrame);
  DBGrid1->setFont(LayoutFont(11, fsBold));
  SetBackground(DBGrid1, clWhite, QPalette::Base);
  DBGrid1->SetOptions(dgConfirmDelete | dgCancelOnExit);
  DBGrid1->SetColumns({TColumn{"DE_1", 242}});

  setTabOrder(DBGrid1, Edit1);
  setTabOrder(Edit1, CheckBox1);
  setTabOrder(CheckBox1, CheckBox2);
  setTabOrder(CheckBox2, Button1);
  setTabOrder(Button1, Button3);
  DBGrid1->setFocus();
}

TForm1::~TForm1() {
  Destroying();
}

void TForm1::SetInformationWindows(TForm2* form2, TForm3* form3) {
  form2_ = form2;
  form3_ = form3;
}

void TForm1::FormCreate() {
  const QCursor hand = HandCursor();
  for (QWidget* control :
       std::initializer_list<QWidget*>{Image2, Label7, Image3, Image4, Image5, Button1, Button3})
    control->setCursor(hand);
  THintSettings::Install(clWhite, 0, 15000);
}

void TForm1::FormShow() {
  iniFile_ = std::make_unique<platform::TIniFile>(startup_.dataDirectory + "data.ini");
  IsamTable1->SetDatabaseName(startup_.dataDirectory);
  const std::string& section = startup_.section;
  IsamTable1->SetTableName(iniFile_->ReadString(section, "d_name", ""));
  IsamTable1->SetExclusive(false);
  IsamTable1->SetReadOnly(true);
  IsamTable1->Open();
  DBText1->SetDataField("DE_3");
  DBText2->SetDataField("DE_4");
  DBText3->SetDataField("DE_5");
  DBText4->SetDataField("DE_7");
  DBText5->SetDataField("DE_9");
  Label5->SetCaption(std::to_string(IsamTable1->RecordCount()));
  Label7->SetCaption(
      iniFile_->ReadString(section, "d_inet", Windows1250("on-line i na internetu")));
  setWindowTitle(QtText(iniFile_->ReadString(section, "d_caption", Windows1250("Databáze"))));
  Image3->SetHint(iniFile_->ReadString(section, "d_left", "Aktualizace 2000"));
  Image5->SetHint(iniFile_->ReadString(section, "d_right", Windows1250("Změna vyhrazena")));
  DBGrid1->SetSelectedIndex(0);
}

void TForm1::FormClose() {
  iniFile_.reset();
}

void TForm1::IsamTable1AfterScroll(TDataSet& dataSet) {
  DBMemo1->setVerticalScrollBarPolicy(MemoLineCount() < kMemoScrollLines ? Qt::ScrollBarAlwaysOff
                                                                         : Qt::ScrollBarAlwaysOn);
  const std::string name = dataSet.FieldNamed("DE_1")->ValueString();
  Label9->SetCaption(name);
  if (Label9->width() > kHeadingWidth) {
    Label9->SetCaption(name.substr(0, kHeadingKept) + "...");
    Label9->resize(kHeadingWidth, Label9->height());
    Label9->SetHint(name);
    Label9->SetShowHint(true);
  } else {
    Label9->SetShowHint(false);
  }
}

void TForm1::UpdateMemoScrollBar() {
  DBMemo1->setVerticalScrollBarPolicy(MemoLineCount() < kMemoScrollLines ? Qt::ScrollBarAlwaysOff
                                                                         : Qt::ScrollBarAlwaysOn);
}

int TForm1::MemoLineCount() const {
  const QTextDocument* document = DBMemo1->document();
  const qreal width = DBMemo1->width() - 2 * document->documentMargin();
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  int lines = 0;
  bool lastEmpty = false;
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    QTextLayout layout(block.text(), DBMemo1->font());
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
      QTextLine line = layout.createLine();
      if (!line.isValid()) break;
      line.setLineWidth(width);
      ++lines;
    }
    layout.endLayout();
    lastEmpty = block.text().isEmpty();
  }
  return lastEmpty && lines > 0 ? lines - 1 : lines;
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) platform::RunReported([this] { FormShow(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  platform::RunReported([this] { FormClose(); });
  event->accept();
}

}  // namespace katalog
