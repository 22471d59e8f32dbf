// Fuzz target: isamtool's row readers (CSV with the delimiter found in the header line, and
// JSON objects) and the text conversions an import applies to each value.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/isamtool/Csv.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/JsonRows.h"

namespace {

using namespace katalog::isamtool;

// What an import does to one value's text; a conversion may refuse it.
void Convert(const std::string& text) {
  static const TTextCodec fromUtf8(1250, TEncoding::Utf8);
  static const TTextCodec fromCp1250(1250, TEncoding::Cp1250);
  for (const TTextCodec* codec : {&fromUtf8, &fromCp1250}) {
    try {
      // What reaches the table comes back the same.
      if (codec->FromTable(codec->ToTable(text)) != text) __builtin_trap();
    } catch (const TEncodingError&) {
    }
  }
  for (auto* decode : {&BytesOfHex, &BytesOfBase64}) {
    try {
      static_cast<void>(decode(text));
    } catch (const TEncodingError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  try {
    TCsvReader reader(file, '\0');
    reader.SkipByteOrderMark();
    const char delimiter = reader.DetectDelimiter();
    std::vector<std::string> fields;
    std::vector<bool> quoted;
    while (reader.Next(fields, &quoted)) {
      if (quoted.size() != fields.size()) __builtin_trap();
      for (const std::string& field : fields) {
        std::string out;
        AppendCsvField(out, field, delimiter);
        Convert(field);
      }
    }
  } catch (const TInputError&) {
  }
  std::rewind(file);
  try {
    TJsonRowReader reader(file);
    TJsonMembers members;
    while (reader.Next(members)) {
      for (const auto& [key, text] : members) {
        Convert(key);
        if (text) Convert(*text);
      }
    }
  } catch (const TInputError&) {
  }
  std::fclose(file);
  return 0;
}
