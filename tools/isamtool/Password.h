// The password of an enciphered table: from --password, --password-file or KATALOG_PASSWORD,
// else asked on the terminal without echo when a table needs one.
#pragma once

#include <string>

#include "tools/isamtool/Commands.h"

namespace katalog::isamtool {

// The password the options give, else (with `environment`) KATALOG_PASSWORD; empty when none
// does. An unreadable password file is a TUsageError.
std::string GivenPassword(const TPasswordOptions& options, bool environment = true);

// Lets an enciphered table whose password is not known ask for it on the controlling terminal,
// with echo off, up to three times, when standard input is that terminal; otherwise the table
// does not open.
void InstallPasswordPrompt();

}  // namespace katalog::isamtool
