// The SQLite interface as a loadable extension sees it: every sqlite3_* name is a call through
// the routines the loading program hands to the entry point (Extension.cpp keeps them).
#pragma once

#include <sqlite3ext.h>

SQLITE_EXTENSION_INIT3
