#include "app/WordSearch.h"

#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/Field.h"

namespace katalog {
namespace {

// The sizes of the working buffers.
constexpr std::size_t kSearchBuffer = 256;
constexpr std::size_t kDescriptionBuffer = 4096;
constexpr std::size_t kNameBuffer = 256;

// What a zero-terminated buffer of the given size holds of the text: it ends at a zero byte and
// keeps at most size - 1 bytes.
std::string BufferCopy(const std::string& text, std::size_t bufferSize) {
  const std::size_t end = std::min(text.find('\0'), bufferSize - 1);
  return text.substr(0, end);
}

std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool Occurs(const std::string& text, const std::string& in) {
  return !text.empty() && in.find(text) != std::string::npos;
}

}  // namespace

TWordSearch::TWordSearch(const std::string& text, bool names, bool descriptions)
    : names_(names),
      descriptions_(descriptions),
      text_(names && !descriptions ? AsciiUpper(text)
                                   : AsciiLower(BufferCopy(text, kSearchBuffer))) {}

bool TWordSearch::Accepts(TDataSet& dataSet) const {
  if (!descriptions_) return Occurs(text_, AsciiUpper(dataSet.FieldNamed("DE_1")->ValueString()));
  const std::string description =
      AsciiLower(BufferCopy(dataSet.FieldNamed("DE_11")->ValueString(), kDescriptionBuffer));
  if (Occurs(text_, description)) return true;
  if (!names_) return false;
  return Occurs(text_,
                AsciiLower(BufferCopy(dataSet.FieldNamed("DE_1")->ValueString(), kNameBuffer)));
}

}  // namespace katalog
