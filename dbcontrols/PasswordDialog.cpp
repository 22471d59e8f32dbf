#include "dbcontrols/PasswordDialog.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "dbcontrols/QtText.h"
#include "engine/components/Session.h"
#include "platform/ExceptionReporter.h"

namespace katalog {
namespace {

QPushButton* Button(QWidget* parent, const char* caption, QRect bounds) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setGeometry(bounds);
  button->setAutoDefault(false);
  return button;
}

template <class Handler>
void OnClick(QPushButton* button, TIsamPasswordDialog* dialog, Handler handler) {
  QObject::connect(button, &QPushButton::clicked, dialog,
                   [dialog, handler] { platform::RunReported([&] { (dialog->*handler)(); }); });
}

}  // namespace

TIsamPasswordDialog::TIsamPasswordDialog(TIsamSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setWindowTitle(QStringLiteral("Enter password"));
  setFixedSize(273, 132);
  GroupBox1 = new QGroupBox(QStringLiteral("Password"), this);
  GroupBox1->setGeometry(8, 8, 257, 81);
  Edit = new QLineEdit(GroupBox1);
  Edit->setGeometry(16, 18, 225, 21);
  Edit->setEchoMode(QLineEdit::Password);
  AddButton = Button(GroupBox1, "&Add", QRect(16, 46, 65, 25));
  RemoveButton = Button(GroupBox1, "&Remove", QRect(88, 46, 65, 25));
  RemoveAllButton = Button(GroupBox1, "Re&move all", QRect(160, 46, 81, 25));
  OKButton = Button(this, "&OK", QRect(109, 98, 75, 25));
  OKButton->setDefault(true);
  CancelButton = Button(this, "Cancel", QRect(190, 98, 75, 25));
  AddButton->setEnabled(false);
  RemoveButton->setEnabled(false);
  OKButton->setEnabled(false);

  connect(Edit, &QLineEdit::textChanged, this,
          [this] { platform::RunReported([this] { EditChange(); }); });
  OnClick(AddButton, this, &TIsamPasswordDialog::AddButtonClick);
  OnClick(RemoveButton, this, &TIsamPasswordDialog::RemoveButtonClick);
  OnClick(RemoveAllButton, this, &TIsamPasswordDialog::RemoveAllButtonClick);
  OnClick(OKButton, this, &TIsamPasswordDialog::OKButtonClick);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  Edit->setFocus();
}

void TIsamPasswordDialog::EditChange() {
  const bool text = !Edit->text().isEmpty();
  AddButton->setEnabled(text);
  RemoveButton->setEnabled(text);
  OKButton->setEnabled(text || added_);
}

void TIsamPasswordDialog::AddButtonClick() {
  session_.AddPassword(BytesOf(Edit->text()));
  added_ = true;
  Edit->clear();
  Edit->setFocus();
}

void TIsamPasswordDialog::RemoveButtonClick() {
  session_.RemovePassword(BytesOf(Edit->text()));
  Edit->clear();
  Edit->setFocus();
}

void TIsamPasswordDialog::RemoveAllButtonClick() {
  session_.RemoveAllPasswords();
  Edit->setFocus();
}

void TIsamPasswordDialog::OKButtonClick() {
  if (!Edit->text().isEmpty()) session_.AddPassword(BytesOf(Edit->text()));
  accept();
}

bool ShowIsamPasswordDialog(TIsamSession& session) {
  TIsamPasswordDialog dialog(session);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace katalog
