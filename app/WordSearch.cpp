#include "app/WordSearch.h"

#include <string.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "dataset/BlobFields.h"
#include "dataset/DataSet.h"
#include "dataset/Field.h"
#include "platform/Locale.h"

namespace katalog {
namespace {

// The sizes of the working buffers.
constexpr std::size_t kSearchBuffer = 256;
constexpr std::size_t kDescriptionBuffer = 4096;
constexpr std::size_t kNameBuffer = 256;

// What a zero-terminated buffer of the given size holds of the text: it ends at a zero byte and
// keeps at most size - 1 bytes.
std::string_view CutToBuffer(std::string_view text, std::size_t bufferSize) {
  return text.substr(0, std::min(text.find('\0'), bufferSize - 1));
}

// The case mapping of every byte of the code page, made once from the locale's: "č" and "Č",
// "ž" and "Ž" fold as "c" and "C" do. A byte stays as it is where the locale maps it to more
// than one byte or across the ASCII half: folding never turns a letter of the code page into
// an ASCII byte or back.
struct TCaseTables {
  std::array<char, 256> Upper;
  std::array<char, 256> Lower;

  TCaseTables() {
    const platform::TLocale& locale = platform::UserDefaultLocale();
    const auto mapped = [&](std::uint32_t flags, char c) {
      const std::string m = locale.Map(flags, std::string(1, c));
      const bool sameHalf = m.size() == 1 && ((m[0] ^ c) & 0x80) == 0;
      return sameHalf ? m[0] : c;
    };
    for (std::size_t i = 0; i < 256; ++i) {
      Upper[i] = mapped(platform::kMapUpperCase, static_cast<char>(i));
      Lower[i] = mapped(platform::kMapLowerCase, static_cast<char>(i));
    }
  }
};

const TCaseTables& CaseTables() {
  static const TCaseTables tables;
  return tables;
}

// Branch-free, so that the compiler runs it over many bytes at once: a description is read for
// every record of a search.
void AsciiUpper(std::string& text) {
  for (char& c : text) c = static_cast<char>(c - (static_cast<unsigned char>(c - 'a') < 26) * 32);
}

void AsciiLower(std::string& text) {
  for (char& c : text) c = static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26) * 32);
}

void Fold(std::string& text, const std::array<char, 256>& table) {
  for (char& c : text) c = table[static_cast<unsigned char>(c)];
}

bool Occurs(const std::string& text, std::string_view in) {
  return !text.empty() && memmem(in.data(), in.size(), text.data(), text.size()) != nullptr;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

}  // namespace

// An ASCII search text can only match ASCII bytes, and folding keeps each byte in its half: such
// a search folds the records' texts with the ASCII letters alone, many bytes at a time, and finds
// exactly what the whole table would.
const std::string& TWordSearch::Folded(std::string_view text, bool upper, std::size_t bufferSize,
                                       std::string& into) const {
  into.assign(upper ? text : CutToBuffer(text, bufferSize));
  if (asciiOnly_) {
    upper ? AsciiUpper(into) : AsciiLower(into);
  } else {
    Fold(into, upper ? CaseTables().Upper : CaseTables().Lower);
  }
  return into;
}

TWordSearch::TWordSearch(const std::string& text, bool names, bool descriptions)
    : names_(names), descriptions_(descriptions), asciiOnly_(IsAscii(text)) {
  Folded(text, names && !descriptions, kSearchBuffer, text_);
}

// The description is folded in place of the data set's own bytes where it can hand them out, so
// that a search copies each description once and allocates nothing per record.
bool TWordSearch::Accepts(TDataSet& dataSet) const {
  TField& name = *dataSet.FieldNamed("DE_1");
  if (!descriptions_) return Occurs(text_, Folded(name.ValueString(), true, 0, folded_));
  const TField& description = *dataSet.FieldNamed("DE_11");
  bool found = false;
  const auto search = [&](std::string_view text) {
    found = Occurs(text_, Folded(text, false, kDescriptionBuffer, folded_));
  };
  if (const auto* blob = dynamic_cast<const TBlobField*>(&description)) {
    blob->WithContents(search);
  } else {
    search(description.ValueString());
  }
  if (found) return true;
  return names_ && Occurs(text_, Folded(name.ValueString(), false, kNameBuffer, folded_));
}

}  // namespace katalog
