#include "dbcontrols/DBText.h"

#include <QResizeEvent>

#include "dataset/DataSource.h"
#include "dataset/Field.h"
#include "dbcontrols/QtText.h"

namespace katalog {

TDBText::TDBText(TComponent* owner, QWidget* parent)
    : QLabel(parent), TComponent(owner), link_(this) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  link_.SetOnDataChange([this] { Refresh(); });
}

TDBText::~TDBText() {
  Destroying();
  link_.SetDataSource(nullptr);
}

void TDBText::SetDataSource(TDataSource* source) {
  if (DataSource()) RemoveFreeNotification(DataSource());
  link_.SetDataSource(source);
  if (source) FreeNotification(source);
}

void TDBText::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == DataSource()) link_.SetDataSource(nullptr);
}

void TDBText::SetAutoSize(bool value) {
  autoSize_ = value;
  if (autoSize_) adjustSize();
}

void TDBText::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

void TDBText::Refresh() {
  setText(link_.Field() ? QtText(link_.Field()->DisplayString()) : QString());
  if (autoSize_) adjustSize();
  UpdateToolTip();
}

void TDBText::UpdateToolTip() {
  const bool cut = fontMetrics().horizontalAdvance(text()) > contentsRect().width();
  setToolTip(cut ? text() : QString());
}

}  // namespace katalog
