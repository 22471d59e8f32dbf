// UTF-8, the encoding of JSON, of terminals and of most files on Linux, to and from UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace katalog::platform {

// False (leaving `text` alone) when the bytes are not valid UTF-8.
bool TryUtf8ToUtf16(std::string_view bytes, std::u16string& text);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace katalog::platform
