// isamtool verify: checks every file of a table against the others without changing any of
// them, and prints one line per problem, or "OK".
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "engine/storage/DataFileHeader.h"
#include "engine/storage/FileHandler.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableVerifier.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

// When a data file does not open, its length against its header often tells why; read raw.
std::string LengthNote(const std::string& table) {
  try {
    TFileHandler file;
    file.SetReadOnly(true);
    file.SetFileName(DataFileNameOf(table));
    file.Open();
    std::uint8_t bytes[kDataFileHeaderSize];
    file.Seek(0, 0);
    if (file.Read(bytes, kDataFileHeaderSize, true) < kDataFileHeaderSize) return "";
    const TDataFileHeader header = DecodeDataFileHeader(bytes);
    const std::int64_t slotBytes = file.GetSize() - header.DataStart();
    if (header.RecordSize == 0 || slotBytes < 0) return "";
    const std::int64_t slots = slotBytes / header.RecordSize;
    if (slotBytes % header.RecordSize == 0 && slots + 1 == header.NextRecordNumber) return "";
    return " (the data file holds " + std::to_string(slotBytes) + " bytes of " +
           std::to_string(header.RecordSize) + "-byte record slots, its header counts " +
           std::to_string(header.NextRecordNumber - 1) + " slots)";
  } catch (const std::exception&) {
    return "";
  }
}

std::vector<std::string> Verify(const TTablePath& path, std::vector<std::string>& notes) {
  TDataFile table;
  table.SetReadOnly(true);
  table.SetFileName(path.Path());
  try {
    table.Open();
  } catch (const std::exception& e) {
    return {std::string("the table does not open: ") + e.what() + LengthNote(path.Path())};
  }
  std::vector<std::string> problems = VerifyTable(table, &notes);
  try {
    table.Close();
  } catch (const std::exception& e) {
    problems.push_back(std::string("closing the table: ") + e.what());
  }
  return problems;
}

}  // namespace

int RunVerify(const TTableOptions& options) {
  const TTablePath path = SplitTablePath(options.Table);
  UseDefaultSession(options.Password);
  std::vector<std::string> notes;
  const std::vector<std::string> problems = Verify(path, notes);
  // Field and index names are the table's text: printed in UTF-8 like the other commands'.
  for (const std::string& line : problems) std::cout << Printable(line) << "\n";
  for (const std::string& line : notes) std::cout << "note: " << Printable(line) << "\n";
  if (problems.empty()) std::cout << "OK\n";
  return problems.empty() ? 0 : 1;
}

}  // namespace katalog::isamtool
