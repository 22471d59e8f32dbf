// Text across the Qt boundary: the program's texts are Windows-1250 bytes below it, QString
// above it.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace katalog {

QString QtText(std::string_view bytes);
// Characters code page 1250 cannot hold become '?'.
std::string BytesOf(const QString& text);
// A UTF-8 literal of the source code as Windows-1250 bytes.
std::string Windows1250(std::string_view utf8);

}  // namespace katalog
