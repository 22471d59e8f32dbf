// Message boxes: a text, a caption, an icon and an OK button, owned by a window. The flags are
// the icon values the program was written with. The default shows a Qt message box and waits
// for it; tests replace it to see the box without waiting for a user.
#pragma once

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace katalog {

inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

// Text and caption are Windows-1250.
using TMessageBox = std::function<void(QWidget* owner, const std::string& text,
                                       const std::string& caption, unsigned flags)>;

// Installs the box and returns the one it replaces; an empty function installs the default.
TMessageBox SetMessageBox(TMessageBox box);
void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                    unsigned flags);

// The standard error box of the application's exception handler: the error's text under the
// program's name, with the error icon.
void ShowErrorBox(std::exception_ptr error);

}  // namespace katalog
