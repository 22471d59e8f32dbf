// TIsamPasswordDialog: the dialog in which the user gives the passwords of enciphered tables to a
// session. Add and Remove change the session's password list at once; OK adds the text in the
// edit box too and closes the dialog with OK, which tells the engine to try opening again.
// The dialog holds a reference to its session, which outlives it.
#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace katalog {

class TIsamSession;

class TIsamPasswordDialog : public QDialog {
 public:
  explicit TIsamPasswordDialog(TIsamSession& session, QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QLineEdit* Edit;
  QPushButton* AddButton;
  QPushButton* RemoveButton;
  QPushButton* RemoveAllButton;
  QPushButton* OKButton;
  QPushButton* CancelButton;

  void EditChange();
  void AddButtonClick();
  void RemoveButtonClick();
  void RemoveAllButtonClick();
  void OKButtonClick();

 private:
  TIsamSession& session_;
  bool added_ = false;
};

// Shows the dialog modally for the session; true when it was closed with OK.
bool ShowIsamPasswordDialog(TIsamSession& session);

}  // namespace katalog
