// The desktop shell: hands a web address or a "mailto:" address to the user's browser or mail
// program. The address is Windows-1250 text as the labels show it. The default goes through Qt's
// desktop services (xdg-open on Linux); tests replace it to see what would be opened. A failure
// shows nothing, so the function reports nothing.
#pragma once

#include <functional>
#include <string>

namespace katalog {

using TDesktopShell = std::function<void(const std::string& address)>;

// Installs the shell and returns the one it replaces; an empty function installs the default.
TDesktopShell SetDesktopShell(TDesktopShell shell);
void ShellOpen(const std::string& address);

}  // namespace katalog
