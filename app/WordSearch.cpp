#include "app/WordSearch.h"

#include <string.h>

#include <algorithm>

#include "dataset/DataSet.h"
#include "dataset/Field.h"

namespace katalog {
namespace {

// The sizes of the working buffers.
constexpr std::size_t kSearchBuffer = 256;
constexpr std::size_t kDescriptionBuffer = 4096;
constexpr std::size_t kNameBuffer = 256;

// Cuts the text to what a zero-terminated buffer of the given size holds of it: it ends at a
// zero byte and keeps at most size - 1 bytes.
std::string& CutToBuffer(std::string& text, std::size_t bufferSize) {
  const std::size_t end = std::min(text.find('\0'), bufferSize - 1);
  if (end < text.size()) text.resize(end);
  return text;
}

// Branch-free, so that the compiler runs it over many bytes at once: a description is read for
// every record of a search.
std::string& AsciiUpper(std::string& text) {
  for (char& c : text) c = static_cast<char>(c - (static_cast<unsigned char>(c - 'a') < 26) * 32);
  return text;
}

std::string& AsciiLower(std::string& text) {
  for (char& c : text) c = static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26) * 32);
  return text;
}

bool Occurs(const std::string& text, const std::string& in) {
  return !text.empty() && memmem(in.data(), in.size(), text.data(), text.size()) != nullptr;
}

std::string Folded(std::string text, bool upper, std::size_t bufferSize) {
  return upper ? AsciiUpper(text) : AsciiLower(CutToBuffer(text, bufferSize));
}

}  // namespace

TWordSearch::TWordSearch(const std::string& text, bool names, bool descriptions)
    : names_(names),
      descriptions_(descriptions),
      text_(Folded(text, names && !descriptions, kSearchBuffer)) {}

bool TWordSearch::Accepts(TDataSet& dataSet) const {
  TField& name = *dataSet.FieldNamed("DE_1");
  if (!descriptions_) return Occurs(text_, Folded(name.ValueString(), true, 0));
  const TField& description = *dataSet.FieldNamed("DE_11");
  if (Occurs(text_, Folded(description.ValueString(), false, kDescriptionBuffer))) return true;
  return names_ && Occurs(text_, Folded(name.ValueString(), false, kNameBuffer));
}

}  // namespace katalog
