// The main window's search: a filter expression that lets through every name but the word
// "profilterit", and the record-filter handler that looks for the search text in the names, the
// descriptions or both. Letters outside ASCII keep their case: "č" does not find "Č".
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/Controls.h"
#include "app/MessageBox.h"
#include "app/Unit1.h"
#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/QtText.h"
#include "engine/components/IsamTable.h"
#include "platform/ExceptionReporter.h"

namespace katalog {
namespace {

// The sizes of the handler's zero-terminated working buffers.
constexpr std::size_t kSearchBuffer = 256;
constexpr std::size_t kDescriptionBuffer = 4096;
constexpr std::size_t kNameBuffer = 256;

// What a zero-terminated buffer of the given size holds of the text: it ends at a zero byte and
// keeps at most size - 1 bytes.
std::string BufferCopy(const std::string& text, std::size_t bufferSize) {
  const std::size_t end = std::min(text.find('\0'), bufferSize - 1);
  return text.substr(0, end);
}

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// An empty text occurs nowhere.
bool Occurs(const std::string& text, const std::string& in) {
  return !text.empty() && in.find(text) != std::string::npos;
}

}  // namespace

// The controls let go of the data while the filter changes. They get it back even when the
// search fails, so that an error does not leave the window blank. The after-scroll handler saw
// an empty memo meanwhile, so the memo's scroll bar is set again for the text it shows now.
void TForm1::Button1Click() {
  DataSource1->SetEnabled(false);
  try {
    IsamTable1->SetFiltered(false);
    IsamTable1->SetFilterText("DE_1 <> 'profilterit'");
    IsamTable1->SetFilterOptions(foCaseInsensitive);
    IsamTable1->SetFiltered(true);
    const int count = IsamTable1->RecordCount();
    Label5->SetCaption(std::to_string(count));
    if (count == 0) {
      ShowMessageBox(this, Windows1250("hledané slovo nenalezeno v žádném záznamu"), "Filtr",
                     kMbIconInformation);
      Button3Click();
    }
  } catch (...) {
    DataSource1->SetEnabled(true);
    throw;
  }
  DataSource1->SetEnabled(true);
  UpdateMemoScrollBar();
}

void TForm1::Button3Click() {
  IsamTable1->SetFilterText("");
  IsamTable1->SetFilterOptions(foCaseInsensitive);
  IsamTable1->SetFiltered(false);
  IsamTable1->Close();
  IsamTable1->Open();
  Label5->SetCaption(std::to_string(IsamTable1->RecordCount()));
}

void TForm1::Edit1KeyDown(int& key, Qt::KeyboardModifiers) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) Button1Click();
}

void TForm1::IsamTable1FilterRecord(TDataSet& dataSet, bool& accept) {
  if (!CheckBox1->isChecked() && !CheckBox2->isChecked()) CheckBox1->setChecked(true);
  const bool names = CheckBox1->isChecked();
  const bool descriptions = CheckBox2->isChecked();
  const std::string search = BytesOf(Edit1->text());
  if (names && !descriptions) {
    accept = Occurs(AsciiUpper(search), AsciiUpper(dataSet.FieldNamed("DE_1")->ValueString()));
    return;
  }
  const std::string text = AsciiLower(BufferCopy(search, kSearchBuffer));
  const std::string description =
      AsciiLower(BufferCopy(dataSet.FieldNamed("DE_11")->ValueString(), kDescriptionBuffer));
  if (!names) {
    accept = Occurs(text, description);
    return;
  }
  const std::string name =
      AsciiLower(BufferCopy(dataSet.FieldNamed("DE_1")->ValueString(), kNameBuffer));
  accept = Occurs(text, description) || Occurs(text, name);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Edit1 && event->type() == QEvent::KeyPress) {
    int key = static_cast<QKeyEvent*>(event)->key();
    const Qt::KeyboardModifiers shift = static_cast<QKeyEvent*>(event)->modifiers();
    platform::RunReported([&] { Edit1KeyDown(key, shift); });
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace katalog
