#include "app/Unit3.h"

#include <string>

#include "app/Addresses.h"
#include "app/Fonts.h"

namespace katalog {

using namespace addresses;

TForm3::TForm3() : TInformationWindow("Form3", kCdName) {
  AddLabel("Label1", QRect(8, 8, 57, 16), kCdName, 13, fsBold);
  Image1 = AddLogo("Image1", QRect(120, 80, 80, 47), "logo-cd.jpg");
  AddLabel("Label2", QRect(8, 176, 30, 13), "e-mail:");
  AddLabel("Label3", QRect(8, 192, 27, 13), "www:");
  Label4 = AddLink("Label4", QRect(64, 176, 83, 13), kPublisherMail, true);
  Label5 = AddLink("Label5", QRect(64, 192, 98, 13), kPublisherWeb, false);
  AddLabel("Label6", QRect(8, 24, 163, 13), "elektronická příloha časopisu Quonda");
  AddLabel("Label7", QRect(8, 48, 174, 13), kPublisher);
  AddLabel("Label8", QRect(8, 80, 71, 13), kPublisherStreet);
  AddLabel("Label9", QRect(8, 96, 54, 13), kPublisherBox);
  AddLabel("Label10", QRect(8, 112, 79, 13), kPublisherCity);
  AddLabel("Label11", QRect(8, 136, 91, 13), (std::string("tel.: ") + kPublisherPhone).c_str());
  AddLabel("Label12", QRect(8, 152, 91, 13), (std::string("fax: ") + kPublisherFax).c_str());
}

}  // namespace katalog
