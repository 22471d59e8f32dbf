#include "app/Controls.h"

#include <QMouseEvent>
#include <QPixmap>

#include "dbcontrols/QtText.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

TLabel::TLabel(QWidget* parent, const char* name, QRect bounds) : QLabel(parent) {
  setObjectName(QString::fromLatin1(name));
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setGeometry(bounds);
}

std::string TLabel::Caption() const {
  return BytesOf(text());
}

void TLabel::SetCaption(std::string_view text) {
  setText(QtText(text));
  AdjustToText();
}

void TLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  AdjustToText();
}

void TLabel::AdjustToText() {
  if (!autoSize_) return;
  const QFontMetrics metrics = fontMetrics();
  resize(metrics.horizontalAdvance(text()), metrics.height());
}

void TLabel::SetHint(std::string hint) {
  hint_ = std::move(hint);
  UpdateToolTip();
}

void TLabel::SetShowHint(bool value) {
  showHint_ = value;
  UpdateToolTip();
}

void TLabel::UpdateToolTip() {
  setToolTip(showHint_ ? QtText(hint_) : QString());
}

void TLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

// A click is a left press and release over the label.
void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click && onClick_) platform::RunReported(onClick_);
}

void TLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onDblClick_) platform::RunReported(onDblClick_);
}

void TImage::SetPicture(const QImage& picture, bool stretch) {
  if (stretch) {
    setScaledContents(true);
  } else {
    resize(picture.size());
  }
  setPixmap(QPixmap::fromImage(picture));
}

}  // namespace katalog
