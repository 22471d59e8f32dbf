// The --filter option on an open table: the expression, typed in UTF-8 with constants in the
// tool's forms, set on the table. An expression that does not read is a TUsageError that shows
// it with a caret under the fault and, for the usual mistakes, a line of advice.
#pragma once

#include "tools/isamtool/Commands.h"

namespace katalog {
class TIsamTable;
}

namespace katalog::isamtool {

// Sets and turns on the filter when one is given; nothing otherwise.
void ApplyFilter(TIsamTable& table, const TFilterChoice& options);

}  // namespace katalog::isamtool
