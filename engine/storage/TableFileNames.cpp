#include "engine/storage/TableFileNames.h"

#include "engine/storage/ShortString.h"

namespace katalog {

std::string WithExtension(std::string_view fileName, std::string_view extension) {
  const std::size_t separator = fileName.find_last_of("\\/");
  const std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator)) {
    fileName = fileName.substr(0, dot);
  }
  return std::string(fileName) + std::string(extension);
}

std::string DataFileNameOf(std::string_view tableName) {
  return WithExtension(TrimBlanks(tableName), ".DAT");
}

}  // namespace katalog
