// Input masks: showing a field's value through its EditMask, single-byte text.
//
// An edit mask has up to three sections separated by ';':
//   1. the mask; a ';' escaped by '\' belongs to it
//   2. "0" when the value holds only the characters typed into the placeholders, anything else
//      (normally "1", also when the section is empty or absent) when it holds the literals too
//   3. the blank, shown for a placeholder the value leaves empty: the section's first character,
//      '_' when the section is empty or absent
//
// In the mask:
//   L l      a letter, required / optional
//   A a      a letter or digit, required / optional
//   C c      any character, required / optional
//   0 9      a digit, required / optional
//   #        a digit, '+' or '-', optional
//   >        upper-cases the placed characters that follow, until '<' or the end
//   <        lower-cases them; "<>" turns case changes off
//   !        anywhere in the mask: a short value fills the last placeholders, blanks leading
//   \        the next character is a literal (a '\' at the very end is dropped)
// Every other character is a literal and is shown as written: ':' and '/' are not replaced by a
// locale's time and date separators here.
#pragma once

#include <string>
#include <string_view>

namespace katalog {

// Formats value for display through editMask:
// - a mask without positions (empty, or modifiers only) gives the value unchanged, and an empty
//   value the empty string;
// - the placeholders take the value's characters in order; a character that does not belong to
//   its placeholder's class is shown all the same, since display must not hide data;
// - when the value holds the literals, a value character equal to the literal at its position
//   is taken by that literal (one that differs is left for the next placeholder);
// - case modifiers change only the placed ASCII letters, never literals or blanks;
// - a value too short for the mask leaves blanks at the end, or, with '!', at the start (the
//   mask is then filled from its last position backwards); characters of a value longer than
//   the mask are dropped from its end.
std::string FormatMaskText(std::string_view editMask, std::string_view value);

}  // namespace katalog
