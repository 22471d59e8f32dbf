// What schemas (create --schema) and info --json share: the names of the field types, and the
// min, max and default values written in the tool's forms (dates YYYY-MM-DD, times HH:MM:SS,
// numbers with '.', booleans true/false, DATE, TIME and NOW) while a table keeps them in its
// locale's forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace katalog::platform {
struct TFormatSettings;
}

namespace katalog::isamtool {

struct TTypeName {
  const char* Name;
  std::uint8_t Code;
  std::uint8_t SubType;
};

// The type a schema names, or nullptr.
const TTypeName* TypeNamed(std::string_view name);
// A stored field's type name: one a schema takes, else "longword" or "unknown".
std::string TypeNameOf(std::uint8_t code, std::uint8_t subType);

// A check value in the tool's forms into the table's; false when it does not read as the type.
bool CheckValueToTable(std::string& text, std::uint8_t code,
                       const platform::TFormatSettings& table);
// What a check value of the type must look like, for the message when it does not read.
const char* CheckValueForm(std::uint8_t code);
// A check value the table keeps, in the tool's forms; left as it is when it does not read.
std::string CheckValueToTool(const std::string& text, std::uint8_t code,
                             const platform::TFormatSettings& table);

}  // namespace katalog::isamtool
