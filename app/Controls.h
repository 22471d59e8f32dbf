// The plain controls of the window layouts that Qt has no exact match for: TLabel, a transparent
// text label with click events, a hint and optional sizing to its text, and TImage, a label that
// shows a picture. Texts are Windows-1250 below the Qt boundary, as everywhere.
#pragma once

#include <QLabel>
#include <functional>
#include <string>

namespace katalog {

class TLabel : public QLabel {
 public:
  using TNotifyEvent = std::function<void()>;

  // Placed at (left, top) with the given size. AutoSize is on, as for every label that is not
  // of a fixed size; turned off, the label keeps its size.
  TLabel(QWidget* parent, const char* name, QRect bounds);

  std::string Caption() const;
  // With AutoSize on the label takes the width and height of its text in its own font.
  void SetCaption(std::string_view text);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  // The hint shows only while ShowHint is on.
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);
  void SetOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }
  void SetOnDblClick(TNotifyEvent handler) { onDblClick_ = std::move(handler); }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void AdjustToText();
  void UpdateToolTip();

  bool autoSize_ = true;
  bool pressed_ = false;
  std::string hint_;
  bool showHint_ = false;
  TNotifyEvent onClick_;
  TNotifyEvent onDblClick_;
};

class TImage : public TLabel {
 public:
  TImage(QWidget* parent, const char* name, QRect bounds) : TLabel(parent, name, bounds) {}

  // Stretch off (AutoSize) sizes the image to the picture; Stretch on scales the picture to the
  // image's size.
  void SetPicture(const QImage& picture, bool stretch);
};

}  // namespace katalog
