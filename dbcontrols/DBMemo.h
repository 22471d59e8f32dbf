// TDBMemo: a word-wrapping text box that shows one field of the current record, a memo as its
// text. With AutoDisplay off a memo field shows its name in parentheses until the box is
// double-clicked or Enter is pressed in it. It edits only when its link edits and the text is
// loaded; ReadOnly (as in the main window) keeps it from ever editing.
#pragma once

#include <QPlainTextEdit>
#include <string>

#include "dataset/FieldDataLink.h"
#include "platform/Component.h"

namespace katalog {

class TDataSource;

class TDBMemo : public QPlainTextEdit, public TComponent {
 public:
  TDBMemo(TComponent* owner, QWidget* parent);
  ~TDBMemo() override;

  const std::string& DataField() const { return link_.FieldName(); }
  void SetDataField(std::string name) { link_.SetFieldName(std::move(name)); }
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  bool AutoDisplay() const { return autoDisplay_; }
  void SetAutoDisplay(bool value);
  bool ReadOnly() const { return link_.ReadOnly(); }
  void SetReadOnly(bool value);
  // At most this many characters (0: no limit); longer contents show "(Text exceeds memo
  // capacity)".
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int value) { maxLength_ = value; }
  bool Loaded() const { return loaded_; }
  // Reads the field's whole contents into the box (a blob field not loaded yet).
  void LoadMemo();

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Refresh();
  void UpdateReadOnly();
  void WriteBack();

  TFieldDataLink link_;
  bool autoDisplay_ = true;
  bool loaded_ = false;
  int maxLength_ = 0;
};

}  // namespace katalog
