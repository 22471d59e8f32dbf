// The isamtool commands. Each takes the arguments after its name, prints its help for
// "--help", writes results to standard output and diagnostics to standard error, and returns
// the exit status (0 success, 1 an engine or data error); a usage mistake raises TUsageError.
#pragma once

#include <string>
#include <vector>

namespace katalog::isamtool {

using TArgs = std::vector<std::string>;

int RunCreate(const TArgs& args);
int RunImport(const TArgs& args);
int RunExport(const TArgs& args);
int RunInfo(const TArgs& args);
int RunCount(const TArgs& args);
int RunDelete(const TArgs& args);
int RunVerify(const TArgs& args);
int RunRepair(const TArgs& args);

}  // namespace katalog::isamtool
