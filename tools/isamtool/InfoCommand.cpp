// isamtool info: what a table is made of.
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "engine/components/IsamTable.h"
#include "engine/table/DataFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Options.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

using nlohmann::ordered_json;

const char* TypeName(const TFieldDescriptor& d) {
  switch (d.FieldTypeCode) {
    case 1:
      return "string";
    case 2:
      return "date";
    case 3:
      switch (d.SubTypeCode) {
        case 22:
          return "memo";
        case 24:
          return "fmtmemo";
        case 26:
          return "graphic";
        case 28:
          return "typedbinary";
        default:
          return "blob";
      }
    case 4:
      return "boolean";
    case 5:
      return "smallint";
    case 6:
      return d.IsAutoIncrement() ? "autoinc" : "integer";
    case 7:
      return d.SubTypeCode == 21 ? "currency" : "float";
    case 8:
      return "bcd";
    case 9:
      return "bytes";
    case 10:
      return "time";
    case 11:
      return "datetime";
    case 12:
      return "word";
    case 13:
      return "longword";
    case 15:
      return "varbytes";
    default:
      return "unknown";
  }
}

// Everything info tells, as JSON; text output is made from it.
ordered_json Describe(TDataFile& file, const TTablePath& path) {
  const std::uint32_t locale = file.LocaleId();
  const platform::TCodePage& page =
      platform::CodePage(locale ? platform::AnsiCodePageOf(locale) : 1250);
  auto text = [&](const std::string& bytes) { return platform::Utf16ToUtf8(page.ToUtf16(bytes)); };
  ordered_json info;
  info["table"] = path.Path();
  info["locale"] = locale;
  if (const platform::TLocale* found = locale ? platform::FindLocale(locale) : nullptr) {
    info["localeName"] = found->IcuName();
  }
  info["codePage"] = locale ? platform::AnsiCodePageOf(locale) : 1250;
  info["enciphered"] = file.Header().Encrypted != 0;
  info["records"] = file.RecordCount();
  info["recordSize"] = file.Header().RecordSize;
  info["blobBlockSize"] = file.Header().BlobBlockSize;
  ordered_json fields = ordered_json::array();
  for (const TFieldDescriptor& d : file.PhysicalFields()) {
    ordered_json field;
    field["name"] = text(d.Name);
    field["type"] = TypeName(d);
    field["size"] = d.DeclaredSize;
    field["scale"] = d.DeclaredScale;
    field["required"] = d.RequiredFlag != 0;
    field["min"] = text(d.MinValue);
    field["max"] = text(d.MaxValue);
    field["default"] = text(d.DefaultValue);
    fields.push_back(field);
  }
  info["fields"] = fields;
  ordered_json indexes = ordered_json::array();
  const TIndexFile& index = file.IndexFile();
  for (int slot = 0; slot <= index.SecondaryCount(); ++slot) {
    const TIndexDescriptor& d = index.Descriptor(slot);
    if (d.FieldCount == 0) continue;
    ordered_json entry;
    entry["name"] = slot == 0 ? "(primary)" : text(d.Name);
    ordered_json names = ordered_json::array();
    for (int i = 0; i < d.FieldCount; ++i) {
      const int number = d.FieldNumbers[static_cast<std::size_t>(i)];
      if (number >= 1 && number <= static_cast<int>(file.PhysicalFields().size())) {
        names.push_back(text(file.PhysicalFields()[static_cast<std::size_t>(number - 1)].Name));
      }
    }
    entry["fields"] = names;
    ordered_json options = ordered_json::array();
    if (slot == 0) options.push_back("primary");
    if (d.Unique) options.push_back("unique");
    if (d.CaseInsensitive) options.push_back("caseInsensitive");
    if (d.Descending) options.push_back("descending");
    entry["options"] = options;
    entry["keyLength"] = d.KeyLength;
    indexes.push_back(entry);
  }
  info["indexes"] = indexes;
  ordered_json files;
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    std::error_code error;
    // The files as the engine found them: a name is looked up without regard to case when
    // it does not exist as written.
    const auto size =
        std::filesystem::file_size(platform::ResolveFileName(path.Path() + extension), error);
    if (!error) files[path.Name + extension] = size;
  }
  info["files"] = files;
  return info;
}

void PrintText(const ordered_json& info) {
  std::cout << "table        " << info["table"].get<std::string>() << "\n";
  std::cout << "locale       " << info["locale"].get<std::uint32_t>();
  if (info.contains("localeName"))
    std::cout << " (" << info["localeName"].get<std::string>() << ")";
  std::cout << ", code page " << info["codePage"].get<int>() << "\n";
  std::cout << "enciphered   " << (info["enciphered"].get<bool>() ? "yes" : "no") << "\n";
  std::cout << "records      " << info["records"].get<int>() << "\n";
  std::cout << "record size  " << info["recordSize"].get<int>() << " bytes\n";
  for (const auto& [name, size] : info["files"].items()) {
    std::cout << "file         " << name << " " << size.get<std::uint64_t>() << " bytes\n";
  }
  std::cout << "fields\n";
  for (const auto& f : info["fields"]) {
    std::cout << "  " << f["name"].get<std::string>() << " " << f["type"].get<std::string>();
    if (f["size"].get<int>()) std::cout << " size " << f["size"].get<int>();
    if (f["scale"].get<int>()) std::cout << " scale " << f["scale"].get<int>();
    if (f["required"].get<bool>()) std::cout << " required";
    for (const char* key : {"min", "max", "default"}) {
      if (!f[key].get<std::string>().empty())
        std::cout << " " << key << " " << f[key].get<std::string>();
    }
    std::cout << "\n";
  }
  std::cout << "indexes\n";
  for (const auto& i : info["indexes"]) {
    std::cout << "  " << i["name"].get<std::string>() << " (";
    std::string separator;
    for (const auto& f : i["fields"])
      std::cout << std::exchange(separator, ", ") << f.get<std::string>();
    std::cout << ")";
    for (const auto& o : i["options"]) std::cout << " " << o.get<std::string>();
    std::cout << " key " << i["keyLength"].get<int>() << " bytes\n";
  }
}

}  // namespace

int RunInfo(const TArgs& args) {
  const TOptions options(args, {{"--json"}, {"--password"}});
  if (options.Help()) {
    std::cout
        << "usage: isamtool info TABLE [--json] [--password P]\n\n"
           "Shows the table's locale, record count and size, its fields (name, type, size,\n"
           "scale, required, min, max, default), its indexes (fields, options, key length) and\n"
           "the sizes of its files; --json writes the same as one JSON object.\n";
    return 0;
  }
  const TTablePath path = SplitTablePath(options.Args()[0]);
  TIsamTable table(nullptr);
  OpenTable(table, path, options.Value("--password"), true);
  const ordered_json info = Describe(*table.Engine(), path);
  if (options.Flag("--json")) {
    std::cout << info.dump(2) << "\n";
  } else {
    PrintText(info);
  }
  return 0;
}

}  // namespace katalog::isamtool
