#include "tools/isamtool/FilterOption.h"

#include <optional>
#include <string>

#include "dataset/DatabaseError.h"
#include "engine/components/FilterError.h"
#include "engine/components/IsamTable.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Encoding.h"

namespace katalog::isamtool {

namespace {

bool IsNameCharacter(char16_t c) {
  return c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         c >= 0xC0;
}

// The run of name characters around `at`, and with a blank before it the word before that too:
// what the user meant as one field name.
std::u16string NameAround(const std::u16string& text, std::size_t at) {
  std::size_t begin = at, end = at;
  while (begin > 0 && IsNameCharacter(text[begin - 1])) --begin;
  while (end < text.size() && IsNameCharacter(text[end])) ++end;
  if (begin == at && begin >= 2 && text[begin - 1] == ' ' && IsNameCharacter(text[begin - 2])) {
    for (--begin; begin > 0 && IsNameCharacter(text[begin - 1]);) --begin;
  }
  return text.substr(begin, end - begin);
}

// One line of advice for the usual mistakes, or nothing.
std::string Advice(const std::u16string& text, std::size_t at, const std::string& message) {
  if (message.find(" is not a valid date") != std::string::npos ||
      message.find(" is not a valid time") != std::string::npos ||
      message.find(" is not a valid floating point value") != std::string::npos) {
    return "isamtool reads quoted constants in its own forms: dates 2000-01-31, times "
           "13:45:00[.250], date-times 2000-01-31 13:45:00, numbers 50.5";
  }
  if (at >= text.size()) return "";
  const char16_t c = text[at];
  if (c == '"') return "constants go in single quotes: 'text'";
  if (c == '=' && at > 0 && text[at - 1] == '=') return "= compares for equality; there is no ==";
  if (c == '!' && at + 1 < text.size() && text[at + 1] == '=') return "write <> for 'not equal'";
  if (IsNameCharacter(c) && (c >= 0x80 || (at > 0 && text[at - 1] == ' '))) {
    return "a field name with a blank or an accented letter goes in brackets: [" +
           platform::Utf16ToUtf8(NameAround(text, at)) + "]";
  }
  return "";
}

}  // namespace

void ApplyFilter(TIsamTable& table, const TFilterChoice& options) {
  if (!options.Expression) return;
  const std::string& typed = *options.Expression;
  // Typed in UTF-8; the table compares text in its code page.
  const TTextCodec codec(TableCodePage(table), TEncoding::Utf8);
  std::string text;
  try {
    text = codec.ToTable(typed);
  } catch (const TEncodingError& e) {
    throw TUsageError(std::string("--filter: ") + e.what());
  }
  table.SetFilterConstantForms(TConstantForms::Iso);
  table.SetFilterOptions((options.IgnoreCase ? foCaseInsensitive : 0u) |
                         (options.NoPartial ? foNoPartialCompare : 0u));
  try {
    table.SetFilterText(text);
    table.SetFiltered(true);
  } catch (const std::exception& e) {
    const std::optional<std::size_t> at = FilterErrorPosition(e);
    if (!at && !dynamic_cast<const EDatabaseError*>(&e) && !dynamic_cast<const EConvertError*>(&e))
      throw;
    const std::string message = Printable(e.what());
    std::string report = "--filter: " + message;
    if (at) {
      // The caret's column: the characters before the fault, whatever the code page's bytes.
      std::u16string before, whole;
      platform::TryUtf8ToUtf16(codec.FromTable(std::string_view(text).substr(0, *at)), before);
      platform::TryUtf8ToUtf16(typed, whole);
      report += "\n  " + typed + "\n  " + std::string(before.size(), ' ') + "^";
      const std::string advice = Advice(whole, before.size(), message);
      if (!advice.empty()) report += "\n" + advice;
    }
    throw TUsageError(report);
  }
}

}  // namespace katalog::isamtool
