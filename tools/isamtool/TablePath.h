// Naming and opening the table a command works on: TABLE is the table's path with or without
// ".DAT" (any letter case).
#pragma once

#include <string>

#include "tools/isamtool/Commands.h"

namespace katalog {
class TIsamTable;
}

namespace katalog::isamtool {

struct TTablePath {
  std::string Directory;  // "." when the path has none
  std::string Name;       // without ".DAT"
  std::string Path() const { return Directory + "/" + Name; }
  // The directory as the table component's DatabaseName: ending in '/', so that it always
  // reads as a path. A plain word ("sub" of "sub/places") would name a database alias, whose
  // tables lie in the current directory instead.
  std::string DatabaseName() const {
    return !Directory.empty() && Directory.back() == '/' ? Directory : Directory + "/";
  }
};

TTablePath SplitTablePath(const std::string& table);

// Makes the default session active, with the password (when one is given) known to it.
void UseDefaultSession(const TPasswordOptions& password);

// Opens the named table through the default session, with the password (when one is given)
// known to it.
void OpenTable(TIsamTable& table, const TTableOptions& options, bool readOnly);

}  // namespace katalog::isamtool
