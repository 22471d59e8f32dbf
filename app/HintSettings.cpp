#include "app/HintSettings.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>
#include <QWidget>

namespace katalog {
namespace {

class THintStyle : public QProxyStyle {
 public:
  explicit THintStyle(int pauseMs)
      : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), pauseMs_(pauseMs) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_ToolTip_WakeUpDelay) return pauseMs_;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

 private:
  int pauseMs_;
};

}  // namespace

THintSettings::THintSettings(int hidePauseMs) : hidePauseMs_(hidePauseMs) {}

void THintSettings::Install(QColor color, int pauseMs, int hidePauseMs) {
  static QPointer<THintSettings> installed;
  delete installed.data();
  installed = new THintSettings(hidePauseMs);
  installed->setParent(qApp);
  qApp->installEventFilter(installed);

  QPalette palette = QToolTip::palette();
  palette.setColor(QPalette::ToolTipBase, color);
  palette.setColor(QPalette::ToolTipText, Qt::black);
  QToolTip::setPalette(palette);
  // The application takes ownership of the style; the styles of all windows are the same
  // everywhere (Fusion), whatever the desktop's theme.
  QApplication::setStyle(new THintStyle(pauseMs));
}

bool THintSettings::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->toolTip().isEmpty()) return false;
  const auto* help = static_cast<QHelpEvent*>(event);
  QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), hidePauseMs_);
  return true;
}

}  // namespace katalog
