#include "dbcontrols/QtText.h"

#include "platform/CodePage.h"

namespace katalog {

namespace {
const platform::TCodePage& Page() {
  return platform::CodePage(1250);
}
}  // namespace

QString QtText(std::string_view bytes) {
  const std::u16string units = Page().ToUtf16(bytes);
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

std::string BytesOf(const QString& text) {
  return Page().FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<std::size_t>(text.size())));
}

std::string Windows1250(std::string_view utf8) {
  return BytesOf(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

}  // namespace katalog
