// The constants of a filter condition read as the compared field's type: text in the
// expression's constant forms (an unquoted number with '.' as its decimal point whatever the
// forms), and Locate's values of any type. A text that does not read raises EConvertError
// "'%s' is not a valid ..."; a value the type cannot hold EDatabaseError "Constant out of
// range"; a constant with a source position raises them as EFilterConvertError and
// EFilterError at that position.
#pragma once

#include <cstdint>
#include <string>

#include "dataset/FieldType.h"
#include "engine/components/FilterExpr.h"
#include "platform/DateTime.h"

namespace katalog {

// An integer within low..high; text reads as a 32-bit integer.
std::int64_t IntegerOf(const TExprNode& constant, std::int64_t low, std::int64_t high);
double FloatOf(const TExprNode& constant, TConstantForms forms);
// A BCD amount in units of 1/10 000, rounded half away from zero to `decimals`.
std::int64_t AmountOf(const TExprNode& constant, int decimals, TConstantForms forms);
// Integers (zero is false), True/False, and the texts "TRUE"/"FALSE" in any letter case.
bool BooleanOf(const TExprNode& constant);
// Dates, times and date-times: text in the locale's short formats or the ISO forms, numbers as
// day-based floating values.
platform::TTimeStamp StampOf(const TExprNode& constant, TFieldType type, TConstantForms forms);
// The text a string field is compared with.
std::string TextOf(const TExprNode& constant);

}  // namespace katalog
