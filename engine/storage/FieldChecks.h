// Whether a default, minimum or maximum text suits a field's type, read with the table locale's
// format settings: smallint -32768..32767, word 0..65535, integer any 32-bit integer, float a
// number, BCD a decimal whose value at the field's scale fits the stored 64-bit amount, boolean
// "TRUE" or "FALSE" in any letter case, date "DATE" or a date, time "TIME" or a time, date-time
// "NOW", "DATE", "TIME", a date, a date-time or a time; other types take any text.
#pragma once

#include <string_view>

#include "engine/storage/FieldDescriptor.h"
#include "platform/FormatSettings.h"

namespace katalog {

bool IsAcceptableCheckText(const TFieldDescriptor& field, std::string_view text,
                           const platform::TFormatSettings& settings);

// The format settings of a table locale (the fixed defaults for none).
const platform::TFormatSettings& TableFormatSettings(std::uint32_t localeId);

}  // namespace katalog
