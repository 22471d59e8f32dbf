#include "app/Unit2.h"

#include <QKeyEvent>

#include "app/Addresses.h"
#include "app/Fonts.h"
#include "platform/ExceptionReporter.h"

namespace katalog {

using namespace addresses;

TForm2::TForm2() : TInformationWindow("Form2", "Velmar") {
  Label1 = AddLink("Label1", QRect(56, 192, 125, 13), kServiceWeb, false);
  Image1 = AddLogo("Image1", QRect(112, 72, 95, 62), "logo-service.jpg");
  AddLabel("Label2", QRect(8, 8, 181, 16), kServiceName, 15, fsBold);
  AddLabel("Label3", QRect(16, 128, 84, 13), kServiceStreet);
  AddLabel("Label4", QRect(16, 144, 73, 13), kServiceCity);
  AddLabel("Label5", QRect(16, 88, 66, 13), kServicePhones);
  AddLabel("Label6", QRect(8, 72, 60, 13), "- telefonicky:");
  Label7 = AddLink("Label7", QRect(56, 176, 73, 13), kServiceMail, true);
  AddLabel("Label8", QRect(8, 176, 30, 13), "e-mail:");
  AddLabel("Label9", QRect(8, 192, 27, 13), "www:");
  AddLabel("Label10", QRect(8, 24, 93, 13), kServiceSlogan);
  AddLabel("Label11", QRect(8, 48, 105, 13), "všeobecné informace:");
  AddLabel("Label12", QRect(8, 112, 49, 13), "- písemně:");
  // Key preview: the window sees every key of its controls first.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void TForm2::FormKeyDown(int& key, Qt::KeyboardModifiers) {
  if (key == Qt::Key_Escape) close();
}

void TForm2::keyPressEvent(QKeyEvent* event) {
  int key = event->key();
  platform::RunReported([&] { FormKeyDown(key, event->modifiers()); });
  if (key != Qt::Key_Escape) QDialog::keyPressEvent(event);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    int key = keyEvent->key();
    platform::RunReported([&] { FormKeyDown(key, keyEvent->modifiers()); });
    if (key == Qt::Key_Escape) return true;
  }
  return TInformationWindow::eventFilter(watched, event);
}

}  // namespace katalog
