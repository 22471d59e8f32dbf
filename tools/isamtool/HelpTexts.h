// The prose of isamtool's help: what follows each command's list of options. The man page is
// made from the same help.
#pragma once

namespace katalog::isamtool {

extern const char* const kExitStatusHelp;
extern const char* const kFilterHelp;
extern const char* const kSchemaHelp;
extern const char* const kImportHelp;
extern const char* const kExportHelp;
extern const char* const kInfoHelp;
extern const char* const kDeleteHelp;
extern const char* const kVerifyHelp;
extern const char* const kRepairHelp;

}  // namespace katalog::isamtool
