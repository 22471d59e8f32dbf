// Small helpers the field classes share for turning values into text and back.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/FormatSettings.h"

namespace katalog {

// The settings fields format and read text with: the user-default locale's.
const platform::TFormatSettings& UserSettings();

// Raises EConvertError with the pattern's "%s" replaced by the text.
[[noreturn]] void ConvertError(std::string_view pattern, std::string_view text);

// Replaces each "%s" and "%d" of a message pattern in turn with the arguments.
std::string FormatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace katalog
