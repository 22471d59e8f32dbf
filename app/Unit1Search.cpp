// The main window's search: a filter expression that lets through every name but the word
// "profilterit", and the record-filter handler that looks for the search text in the names, the
// descriptions or both (WordSearch.h).
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>

#include "app/Controls.h"
#include "app/MessageBox.h"
#include "app/Unit1.h"
#include "app/WordSearch.h"
#include "dataset/DataSource.h"
#include "dbcontrols/QtText.h"
#include "engine/components/IsamTable.h"
#include "platform/ExceptionReporter.h"
#include "platform/ScopeGuard.h"

namespace katalog {
// The controls let go of the data while the filter changes. They get it back even when the
// search fails, so that an error does not leave the window blank. The after-scroll handler saw
// an empty memo meanwhile, so the memo's scroll bar is set again for the text it shows now.
void TForm1::Button1Click() {
  DataSource1->SetEnabled(false);
  {
    const platform::TScopeExit enable([&] { DataSource1->SetEnabled(true); });
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
  }
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
  const TSearchInputs inputs{Edit1->text(), CheckBox1->isChecked(), CheckBox2->isChecked()};
  if (!search_ || searchInputs_ != inputs) {
    search_ =
        std::make_unique<TWordSearch>(BytesOf(inputs.Text), inputs.Names, inputs.Descriptions);
    searchInputs_ = inputs;
  }
  accept = search_->Accepts(dataSet);
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
