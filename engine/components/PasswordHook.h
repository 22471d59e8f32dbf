// The password dialog the table data set shows when an enciphered table needs a password and
// its session has no OnPassword handler. The viewer installs its dialog; the default shows
// nothing and gives up. The hook adds the password it got to the session and answers whether
// to try opening again.
#pragma once

#include <functional>

namespace katalog {

class TIsamSession;

using TPasswordDialog = std::function<bool(TIsamSession& session)>;

// Installs the dialog and returns the one it replaces; an empty function installs the default.
TPasswordDialog SetPasswordDialog(TPasswordDialog dialog);
// Shows the installed dialog for the session.
bool ShowPasswordDialog(TIsamSession& session);

}  // namespace katalog
