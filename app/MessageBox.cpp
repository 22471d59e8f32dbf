#include "app/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <utility>

#include "app/Replaceable.h"
#include "dataset/DatabaseError.h"
#include "dbcontrols/QtText.h"

namespace katalog {
namespace {

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & 0xF0) {
    case kMbIconError:
      return QMessageBox::Critical;
    case kMbIconQuestion:
      return QMessageBox::Question;
    case kMbIconWarning:
      return QMessageBox::Warning;
    case kMbIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

void ShowQtMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                      unsigned flags) {
  QMessageBox box(IconOf(flags), QtText(caption), QtText(text), QMessageBox::Ok, owner);
  box.exec();
}

TReplaceable<TMessageBox>& Box() {
  static TReplaceable<TMessageBox> box(ShowQtMessageBox);
  return box;
}

}  // namespace

TMessageBox SetMessageBox(TMessageBox box) {
  return Box().Set(std::move(box));
}

void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                    unsigned flags) {
  (*Box())(owner, text, caption, flags);
}

void ShowErrorBox(std::exception_ptr error) {
  if (!error) return;
  std::string text = "Unknown exception";
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return;  // the silent exception: it stops a handler without telling the user
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
  }
  ShowMessageBox(QApplication::activeWindow(), text, "Katalog", kMbIconError);
}

}  // namespace katalog
