#include "dataset/EditMask.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <vector>

namespace katalog {

namespace {

enum class TCaseChange { None, Upper, Lower };

// One position of the mask as shown: a placeholder, or a literal with its character.
struct TMaskItem {
  bool Placeholder;
  char Literal;
  TCaseChange Case;
};

struct TParsedMask {
  std::vector<TMaskItem> Items;
  bool SaveLiterals = true;
  char Blank = '_';
  bool BlanksLead = false;
};

bool IsPlaceholder(char c) {
  switch (c) {
    case 'L':
    case 'l':
    case 'A':
    case 'a':
    case 'C':
    case 'c':
    case '0':
    case '9':
    case '#':
      return true;
    default:
      return false;
  }
}

// The end of the mask section: the first ';' not escaped by '\'.
std::size_t MaskSectionEnd(std::string_view editMask) {
  for (std::size_t i = 0; i < editMask.size(); ++i) {
    if (editMask[i] == '\\') {
      ++i;
    } else if (editMask[i] == ';') {
      return i;
    }
  }
  return editMask.size();
}

TParsedMask ParseMask(std::string_view editMask) {
  TParsedMask parsed;
  const std::size_t maskEnd = MaskSectionEnd(editMask);
  const std::string_view mask = editMask.substr(0, maskEnd);

  if (maskEnd < editMask.size()) {
    std::string_view rest = editMask.substr(maskEnd + 1);
    const std::size_t next = rest.find(';');
    const std::string_view saveSection = rest.substr(0, next);
    parsed.SaveLiterals = saveSection.empty() || saveSection[0] != '0';
    if (next != std::string_view::npos && next + 1 < rest.size()) parsed.Blank = rest[next + 1];
  }

  TCaseChange caseChange = TCaseChange::None;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char c = mask[i];
    if (c == '>') {
      caseChange = TCaseChange::Upper;
    } else if (c == '<') {
      if (i + 1 < mask.size() && mask[i + 1] == '>') {
        caseChange = TCaseChange::None;
        ++i;
      } else {
        caseChange = TCaseChange::Lower;
      }
    } else if (c == '!') {
      parsed.BlanksLead = true;
    } else if (c == '\\') {
      if (++i < mask.size()) parsed.Items.push_back({false, mask[i], caseChange});
    } else if (IsPlaceholder(c)) {
      parsed.Items.push_back({true, '\0', caseChange});
    } else {
      parsed.Items.push_back({false, c, caseChange});
    }
  }
  return parsed;
}

// Only ASCII letters change case: letters of the code page are left as they are.
char ApplyCase(char c, TCaseChange caseChange) {
  if (caseChange == TCaseChange::Upper) return platform::AsciiUpper(c);
  if (caseChange == TCaseChange::Lower) return platform::AsciiLower(c);
  return c;
}

// Walks the items in the order given, taking value characters in the same order. Returns whether
// every placeholder got a character.
bool FillItems(const TParsedMask& parsed, const std::vector<TMaskItem>& items,
               std::string_view value, std::string& out) {
  std::size_t next = 0;
  bool filled = true;
  out.clear();
  for (const TMaskItem& item : items) {
    if (!item.Placeholder) {
      if (parsed.SaveLiterals && next < value.size() && value[next] == item.Literal) ++next;
      out += item.Literal;
    } else if (next < value.size()) {
      out += ApplyCase(value[next++], item.Case);
    } else {
      out += parsed.Blank;
      filled = false;
    }
  }
  return filled;
}

}  // namespace

std::string FormatMaskText(std::string_view editMask, std::string_view value) {
  const TParsedMask parsed = ParseMask(editMask);
  if (parsed.Items.empty()) return std::string(value);
  if (value.empty()) return {};

  std::string text;
  if (FillItems(parsed, parsed.Items, value, text) || !parsed.BlanksLead) return text;

  // A short value with '!': the same walk from the last position and the value's last
  // character backwards, so that the blanks gather at the start.
  const std::vector<TMaskItem> reversedItems(parsed.Items.rbegin(), parsed.Items.rend());
  const std::string reversedValue(value.rbegin(), value.rend());
  FillItems(parsed, reversedItems, reversedValue, text);
  std::reverse(text.begin(), text.end());
  return text;
}

}  // namespace katalog
