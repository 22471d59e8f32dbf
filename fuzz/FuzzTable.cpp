// Fuzz target: a table of three files made from the input, then probed (TableProbe.h).
//
// Input: u32 length of the data file, u32 length of the index file (little-endian), then the
// data file, the index file, and the rest as the blob file. Lengths beyond the input are cut.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/storage/FileSession.h"
#include "fuzz/TableProbe.h"
#include "platform/ByteOrder.h"

namespace {

// One directory per process, on a memory file system when there is one.
const std::string& Directory() {
  static const std::string directory = [] {
    std::string pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/katalog-fuzz-XXXXXX" : "/tmp/katalog-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    katalog::StartEngine();
    return pattern;
  }();
  return directory;
}

void Write(const std::string& name, const std::uint8_t* data, std::size_t size) {
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  const std::string base = Directory() + "/T";
  std::size_t dat = katalog::LoadU32(data);
  std::size_t idx = katalog::LoadU32(data + 4);
  data += 8;
  size -= 8;
  dat = std::min(dat, size);
  idx = std::min(idx, size - dat);
  Write(base + ".DAT", data, dat);
  Write(base + ".IDX", data + dat, idx);
  Write(base + ".BLB", data + dat + idx, size - dat - idx);
  katalog::ProbeTable(base);
  return 0;
}
