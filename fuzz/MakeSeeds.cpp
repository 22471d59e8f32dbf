// Writes the seed corpora of the fuzz targets into DIR/table, DIR/filter, DIR/ini and DIR/csv:
// small tables made through the engine's own table creation and packed as FuzzTable.cpp reads
// them, and a few expressions, profiles and CSV texts. The committed corpora in fuzz/corpus were
// made by `make_fuzz_seeds fuzz/corpus`.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/storage/FileSession.h"
#include "fuzz/SampleTable.h"
#include "platform/ByteOrder.h"

namespace {

using namespace katalog;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The three files after two lengths, as FuzzTable.cpp takes them apart.
std::string Pack(const std::string& base) {
  const Bytes dat = ReadFile(base + ".DAT"), idx = ReadFile(base + ".IDX");
  const Bytes blb = ReadFile(base + ".BLB");
  std::string packed(8, '\0');
  StoreU32(reinterpret_cast<std::uint8_t*>(packed.data()), static_cast<std::uint32_t>(dat.size()));
  StoreU32(reinterpret_cast<std::uint8_t*>(packed.data()) + 4,
           static_cast<std::uint32_t>(idx.size()));
  for (const Bytes* part : {&dat, &idx, &blb}) packed.append(part->begin(), part->end());
  return packed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const fs::path root = argv[1];
  for (const char* target : {"table", "filter", "ini", "csv"})
    fs::create_directories(root / target);
  StartEngine();
  const fs::path scratch =
      fs::temp_directory_path() / ("katalog-seeds-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  MakeSampleTable((scratch / "czech").string(), true, 0x405, 40);
  WriteFile(root / "table" / "czech-primary", Pack((scratch / "czech").string()));
  MakeSampleTable((scratch / "plain").string(), false, 0, 12);
  WriteFile(root / "table" / "no-primary", Pack((scratch / "plain").string()));
  fs::remove_all(scratch);
  StopEngine();

  const std::vector<std::string> filters = {
      "DE_1 <> 'profilterit'",
      "Name = 'a*' and not (Count > 3)",
      "(Amount >= 2.5) or Born < '1.1.2000' or Stamp = '1.2.2000 10:00'",
      "Active and Notes <> NULL",
      "upper(Name) = 'X' or lower(Name) = 'y' or trim(Name) = ''",
      "Count in (1, 2, 3) and Amount between 1 and 2",
      "Name + 'x' = Name || 'x'"};
  for (std::size_t i = 0; i < filters.size(); ++i) {
    WriteFile(root / "filter" / ("expression-" + std::to_string(i)),
              std::string(1, static_cast<char>(i % 2)) + filters[i]);
  }
  WriteFile(root / "ini" / "data.ini",
            "; the viewer's configuration\r\n[1]\r\nd_name=restaurace\r\nd_caption=Restaurace\r\n"
            "[2]\r\nD_NAME = ubytovani\r\nd_inet=www.example\r\n");
  WriteFile(root / "ini" / "bom.ini", "\xEF\xBB\xBF[1]\nd_name=x\n");
  WriteFile(root / "csv" / "places.csv",
            "ID,DE_1,DE_11\r\n1,\"Bistro, U Rohu\",\"Řádek\r\n\"\"druhý\"\"\"\r\n2,Hospoda,\r\n");
  WriteFile(root / "csv" / "hex.csv", "a,b\n0A1b,zz\n\"unterminated\n");
  return 0;
}
