// TDBText: a label that shows one field of the current record, through a field link. Accelerator
// characters are off (an ampersand shows as itself); with AutoSize off (the default) it keeps its
// size and clips, and a text it cuts is its tool tip whole (a text that fits has none).
#pragma once

#include <QLabel>
#include <string>

#include "dataset/FieldDataLink.h"
#include "platform/Component.h"

namespace katalog {

class TDataSource;

class TDBText : public QLabel, public TComponent {
 public:
  TDBText(TComponent* owner, QWidget* parent);
  ~TDBText() override;

  const std::string& DataField() const { return link_.FieldName(); }
  // "Field '%s' not found" attributed to this label when the data set has no such field.
  void SetDataField(std::string name) { link_.SetFieldName(std::move(name)); }
  TDataSource* DataSource() const { return link_.DataSource(); }
  void SetDataSource(TDataSource* source);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TField* Field() const { return link_.Field(); }

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Refresh();
  void UpdateToolTip();

  TFieldDataLink link_;
  bool autoSize_ = false;
};

}  // namespace katalog
