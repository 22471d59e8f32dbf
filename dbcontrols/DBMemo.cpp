#include "dbcontrols/DBMemo.h"

#include <QKeyEvent>
#include <stdexcept>

#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/QtText.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

namespace {

// Every line break (CR, LF or CR LF) as the box's own.
QString WithLineBreaks(const QString& text) {
  QString out = text;
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

}  // namespace

TDBMemo::TDBMemo(TComponent* owner, QWidget* parent)
    : QPlainTextEdit(parent), TComponent(owner), link_(this) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setReadOnly(true);
  link_.SetOnDataChange([this] { Refresh(); });
  link_.SetOnEditingChange([this] { UpdateReadOnly(); });
  link_.SetOnUpdateData([this] { WriteBack(); });
}

TDBMemo::~TDBMemo() {
  Destroying();
  link_.SetDataSource(nullptr);
}

void TDBMemo::SetDataSource(TDataSource* source) {
  if (DataSource()) RemoveFreeNotification(DataSource());
  link_.SetDataSource(source);
  if (source) FreeNotification(source);
}

void TDBMemo::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == DataSource()) link_.SetDataSource(nullptr);
}

void TDBMemo::SetAutoDisplay(bool value) {
  if (autoDisplay_ == value) return;
  autoDisplay_ = value;
  if (value && link_.Field() && link_.Field()->IsBlobField()) LoadMemo();
}

void TDBMemo::SetReadOnly(bool value) {
  link_.SetReadOnly(value);
  UpdateReadOnly();
}

void TDBMemo::Refresh() {
  TField* field = link_.Field();
  if (!field) {
    setPlainText(QString());
    loaded_ = false;
  } else if (!field->IsBlobField()) {
    const bool editText = hasFocus() && link_.CanModify();
    setPlainText(QtText(editText ? field->EditString() : field->DisplayString()));
    loaded_ = true;
  } else if (autoDisplay_ || (link_.Editing() && loaded_)) {
    loaded_ = false;
    LoadMemo();
  } else {
    setPlainText(QtText("(" + field->DisplayName() + ")"));
    loaded_ = false;
  }
  UpdateReadOnly();
  viewport()->update();
}

void TDBMemo::LoadMemo() {
  TField* field = link_.Field();
  if (loaded_ || !field || !field->IsBlobField()) return;
  try {
    const QString text = WithLineBreaks(QtText(field->ValueString()));
    if (maxLength_ > 0 && text.size() > maxLength_) {
      throw std::length_error("Text exceeds memo capacity");
    }
    if (text != toPlainText()) setPlainText(text);
    loaded_ = true;
  } catch (const std::logic_error& e) {
    // The invalid operations of loading show in the box instead of the text.
    setPlainText(QtText(std::string("(") + e.what() + ")"));
  }
  UpdateReadOnly();
}

void TDBMemo::UpdateReadOnly() {
  setReadOnly(!(link_.Editing() && loaded_));
}

void TDBMemo::WriteBack() {
  if (TField* field = link_.Field()) field->SetValueString(BytesOf(toPlainText()));
}

void TDBMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!loaded_) {
    platform::RunReported([this] { LoadMemo(); });
  }
  QPlainTextEdit::mouseDoubleClickEvent(event);
}

void TDBMemo::keyPressEvent(QKeyEvent* event) {
  if (!loaded_ && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    platform::RunReported([this] { LoadMemo(); });
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void TDBMemo::focusOutEvent(QFocusEvent* event) {
  platform::RunReported([this] { link_.UpdateRecord(); });
  QPlainTextEdit::focusOutEvent(event);
}

}  // namespace katalog
