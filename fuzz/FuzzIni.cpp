// Fuzz target: the profile (INI) reader on any bytes: the viewer's keys and a key named by the
// input itself, in a section named by it too.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = [] {
    std::string pattern = "/tmp/katalog-fuzz-ini-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/data.ini";
  }();
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  const katalog::platform::TIniFile ini(file);
  for (const char* key : {"d_name", "d_inet", "d_caption", "d_left", "d_right"}) {
    if (ini.ReadString("1", key, "default").size() > katalog::platform::kMaxProfileValueLength)
      std::abort();
  }
  const std::size_t cut = size / 2;
  (void)ini.ReadString(bytes.substr(0, cut), bytes.substr(cut), "");
  return 0;
}
