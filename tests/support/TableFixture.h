// Tables for tests, made through the engine's own table creation.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/table/TableCreation.h"
#include "support/EngineFixture.h"
#include "support/TempDir.h"

namespace katalog::testing {

// One field of every type the engine stores, in type-code order.
inline std::vector<TFieldDefinition> EveryFieldType() {
  return {
      {"Name", 1, 0, 20}, {"Born", 2},   {"Notes", 3, 22}, {"Active", 4},         {"Small", 5},
      {"Counter", 6, 29}, {"Amount", 7}, {"Price", 7, 21}, {"Exact", 8, 0, 0, 2}, {"Raw", 9, 0, 6},
      {"Clock", 10},      {"Stamp", 11}, {"Word", 12},     {"Long", 13},          {"Ten", 14},
      {"Var", 15, 0, 12}, {"Whole", 6},
  };
}

class TableTest : public EngineTest {
 protected:
  std::string TablePath(const std::string& name = "T") const { return dir_.File(name); }
  std::string DataPath(const std::string& name = "T") const { return dir_.File(name + ".DAT"); }

  std::vector<std::uint8_t> ReadBytes(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  katalog::testing::TempDir dir_;
};

}  // namespace katalog::testing
