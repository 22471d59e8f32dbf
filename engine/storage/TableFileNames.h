// The names of a table's three files. A table name is blank-trimmed, an extension (a '.' after
// the last '\' or '/') is cut off and ".DAT" appended; the index and blob files take the data
// file's full name with its extension replaced by ".IDX" and ".BLB".
#pragma once

#include <string>
#include <string_view>

namespace katalog {

std::string DataFileNameOf(std::string_view tableName);
std::string WithExtension(std::string_view fileName, std::string_view extension);

}  // namespace katalog
