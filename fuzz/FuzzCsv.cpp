// Fuzz target: isamtool's CSV reader and the text conversions an import applies to each field.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/isamtool/Csv.h"
#include "tools/isamtool/Encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace katalog::isamtool;
  static const TTextCodec fromUtf8(1250, TEncoding::Utf8);
  static const TTextCodec fromCp1250(1250, TEncoding::Cp1250);
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  try {
    TCsvReader reader(file);
    reader.SkipByteOrderMark();
    std::vector<std::string> fields;
    while (reader.Next(fields)) {
      for (const std::string& field : fields) {
        std::string out;
        AppendCsvField(out, field);
        for (const TTextCodec* codec : {&fromUtf8, &fromCp1250}) {
          try {
            (void)codec->FromTable(codec->ToTable(field));
          } catch (const TEncodingError&) {
          }
        }
        try {
          (void)BytesOfHex(field);
        } catch (const TEncodingError&) {
        }
      }
    }
  } catch (const TCsvError&) {
  }
  std::fclose(file);
  return 0;
}
