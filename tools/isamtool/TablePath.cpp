#include "tools/isamtool/TablePath.h"

#include "engine/components/IsamTable.h"
#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "platform/AsciiText.h"
#include "tools/isamtool/Password.h"

namespace katalog::isamtool {

TTablePath SplitTablePath(const std::string& table) {
  std::string path = table;
  if (path.size() > 4) {
    if (platform::EqualsIgnoringAsciiCase(path.substr(path.size() - 4), ".DAT")) {
      path.resize(path.size() - 4);
    }
  }
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

void UseDefaultSession(const TPasswordOptions& options) {
  const std::string password = GivenPassword(options);
  TIsamSession& session = Sessions().DefaultSession();
  session.SetActive(true);
  if (!password.empty()) session.AddPassword(password);
}

void OpenTable(TIsamTable& table, const TTableOptions& options, bool readOnly) {
  UseDefaultSession(options.Password);
  const TTablePath path = SplitTablePath(options.Table);
  table.SetDatabaseName(path.DatabaseName());
  table.SetTableName(path.Name);
  table.SetReadOnly(readOnly);
  table.Open();
}

}  // namespace katalog::isamtool
