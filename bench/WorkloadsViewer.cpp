// The viewer on a catalogue of N entries, as data/generate.py writes it and the build makes the
// bundled one: the program's start to its first paint, and the word search on that catalogue.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/Measure.h"
#include "bench/Workloads.h"
#include "dataset/BlobFields.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"

namespace katalog::bench {
namespace {

std::string ViewerDirectory(const TCatalogue& c) {
  return c.Directory + "/viewer";
}

// The catalogue's first section, open read-only as the viewer opens it.
void OpenSection(TIsamTable& table, const TCatalogue& c) {
  table.SetDatabaseName(ViewerDirectory(c));
  table.SetTableName("restaurace");
  table.SetReadOnly(true);
  table.Open();
}

// A text as the search compares it with an ASCII search text: cut to its buffer, ASCII letters
// in lower case.
std::string Folded(std::string_view text, std::size_t limit) {
  std::string folded(text.substr(0, std::min(text.find('\0'), limit)));
  for (char& ch : folded)
    ch = static_cast<char>(ch + (static_cast<unsigned char>(ch - 'A') < 26) * 32);
  return folded;
}

}  // namespace

void MakeViewerCatalogue(const TCatalogue& c) {
  const std::string directory = ViewerDirectory(c);
  if (std::filesystem::exists(directory + "/restaurace.DAT")) return;
  std::filesystem::remove_all(directory);
  RunCommand("python3 " + Quoted(KATALOG_GENERATOR) + " --count " + std::to_string(c.Count) +
             " --out " + Quoted(directory) + " >/dev/null");
  for (const char* section : {"restaurace", "ubytovani"}) {
    const std::string table = Quoted(directory + "/" + section);
    RunCommand(Quoted(KATALOG_ISAMTOOL) + " create " + table + " --schema " +
               Quoted(KATALOG_CATALOGUE_SCHEMA) + " --quiet");
    RunCommand(Quoted(KATALOG_ISAMTOOL) + " import " + table + " " +
               Quoted(directory + "/" + section + ".csv") + " --quiet");
    RunCommand("chmod a-w " + table + ".DAT " + table + ".IDX " + table + ".BLB");
  }
}

TViewerExpected ViewerExpectedOf(const TCatalogue& c, const std::string& word) {
  TViewerExpected e;
  TIsamTable table(nullptr);
  OpenSection(table, c);
  TField* name = table.FieldNamed("DE_1");
  const auto* description = dynamic_cast<const TBlobField*>(table.FieldNamed("DE_11"));
  Expect(description != nullptr, "the catalogue's description is a memo");
  for (table.First(); !table.Eof(); table.Next()) {
    description->WithContents([&](std::string_view text) {
      e.Texts.push_back(Folded(text, 4095) + '\n' + Folded(name->ValueString(), 255));
    });
    e.Matches += e.Texts.back().find(word) != std::string::npos;
  }
  e.Entries = table.RecordCount();
  Expect(e.Entries == c.Count && e.Matches > 0, "the viewer's catalogue");
  return e;
}

double ViewerFirstPaint(const TCatalogue& c) {
  const std::string png = ViewerDirectory(c) + "/../first-paint.png";
  std::filesystem::remove(png);
  const TClock::time_point start = TClock::now();
  RunCommand("QT_QPA_PLATFORM=offscreen " + Quoted(KATALOG_VIEWER) + " --screenshot " +
             Quoted(png) + " --data " + Quoted(ViewerDirectory(c)) + " 1");
  const double seconds = SecondsSince(start);
  Expect(std::filesystem::file_size(png) > 0, "the viewer's first paint");
  return seconds;
}

double ViewerSearch(const TCatalogue& c, const TViewerExpected& e, const std::string& word) {
  TIsamTable table(nullptr);
  OpenSection(table, c);
  return TimeViewerSearch(table, word, e.Matches);
}

double ViewerSearchMemory(const TViewerExpected& e, const std::string& word) {
  std::int64_t count = 0;
  const TClock::time_point start = TClock::now();
  for (const std::string& text : e.Texts) {
    count += memmem(text.data(), text.size(), word.data(), word.size()) != nullptr;
  }
  const double seconds = SecondsSince(start);
  Expect(count == e.Matches, "memmem count over the viewer's catalogue");
  return seconds;
}

}  // namespace katalog::bench
