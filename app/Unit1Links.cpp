// The main window's links: the logos open the information windows modally, the link label opens
// the on-line directory search whatever its configured text, and the invisible spot starts an
// e-mail to the program's author.
#include "app/Addresses.h"
#include "app/DesktopShell.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"

namespace katalog {

void TForm1::Image2Click() {
  if (form2_) form2_->exec();
}

void TForm1::Image4Click() {
  if (form3_) form3_->exec();
}

void TForm1::Label7Click() {
  ShellOpen(addresses::kDirectorySearch);
}

void TForm1::Label8DblClick() {
  ShellOpen(std::string("mailto:") + addresses::kAuthorMail);
}

}  // namespace katalog
