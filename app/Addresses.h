// The contact details the windows show and the fixed addresses their links open: the
// information service that supplies the data, the CD's publisher and the program's author. All
// of them are fictional (the ".example" domains cannot exist). UTF-8; the windows convert them.
#pragma once

namespace katalog::addresses {

// The information service (the main window's left logo, Form2).
inline constexpr const char* kServiceName = "Velmar informace";
inline constexpr const char* kServiceSlogan = "vše o vašem městě";
inline constexpr const char* kServiceStreet = "Korunní 1204/36";
inline constexpr const char* kServiceCity = "120 00 Praha 2";
inline constexpr const char* kServicePhones = "02/2425 1180-2";
inline constexpr const char* kServiceMail = "info@velmar.example";
inline constexpr const char* kServiceWeb = "www.velmar.example";
// The on-line directory search that the main window's link label opens, whatever its text.
inline constexpr const char* kDirectorySearch = "http://www.velmar.example/c/adresar/search.php3";

// The CD and its publisher (the main window's right logo, Form3).
inline constexpr const char* kCdName = "Quonda CD";
inline constexpr const char* kPublisher = "Vydavatelství Quonda s.r.o.";
inline constexpr const char* kPublisherStreet = "Na Poříčí 12";
inline constexpr const char* kPublisherBox = "P. O. Box 45";
inline constexpr const char* kPublisherCity = "110 00 Praha 1";
inline constexpr const char* kPublisherPhone = "02/2481 5670";
inline constexpr const char* kPublisherFax = "02/2481 5679";
inline constexpr const char* kPublisherMail = "redakce@quonda.example";
inline constexpr const char* kPublisherWeb = "www.quonda.example";

// The program's author, behind the main window's invisible double-click spot.
inline constexpr const char* kAuthorMail = "autor@katalog.example";

}  // namespace katalog::addresses
