// isamtool create: a new empty table from a JSON schema.
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FieldChecks.h"
#include "engine/storage/TableFileNames.h"
#include "engine/table/TableCreation.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Password.h"
#include "tools/isamtool/SchemaText.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

using nlohmann::json;

// Keys that info --json writes to describe a table, which a schema may hold and create leaves
// aside, so that the description of a table is a schema for another like it.
constexpr std::initializer_list<const char*> kDescriptionKeys = {
    "table", "localeName", "codePage", "enciphered", "records", "recordSize", "lastId", "files"};

// Reads a schema, naming the key at fault in every error.
class TSchemaReader {
 public:
  explicit TSchemaReader(const json& root) : root_(root) {}

  TTableDefinition Read(const std::string& tablePath) {
    Expect(root_.is_object(), "the schema", "must be an object");
    Keys(root_, "the schema",
         {"locale", "blobBlockSize", "password", "fields", "primaryIndex", "indexes"},
         kDescriptionKeys);
    TTableDefinition def;
    def.TableName = tablePath;
    def.LocaleId = static_cast<std::uint32_t>(Number(root_, "locale", "locale", 0, 0, 0xFFFFFFFF));
    if (def.LocaleId != 0 && !platform::IsValidLocale(def.LocaleId)) {
      throw TUsageError("schema: locale: " + std::to_string(def.LocaleId) + " is not a locale");
    }
    codePage_ = &platform::CodePage(def.LocaleId ? platform::AnsiCodePageOf(def.LocaleId) : 1250);
    settings_ = &TableFormatSettings(def.LocaleId);
    def.BlobBlockSize =
        static_cast<std::uint32_t>(Number(root_, "blobBlockSize", "blobBlockSize", 0, 0, 32768));
    def.Password = Text(root_, "password", "password", "");
    Expect(root_.contains("fields") && root_["fields"].is_array() && !root_["fields"].empty(),
           "fields", "must be an array of at least one field");
    for (std::size_t i = 0; i < root_["fields"].size(); ++i) {
      def.Fields.push_back(Field(root_["fields"][i], "fields[" + std::to_string(i) + "]"));
    }
    if (root_.contains("primaryIndex")) {
      TIndexDefinition primary = Index(root_["primaryIndex"], "primaryIndex", true);
      primary.Primary = true;
      primary.Unique = true;
      def.Indexes.push_back(primary);
    }
    if (root_.contains("indexes")) {
      Expect(root_["indexes"].is_array(), "indexes", "must be an array");
      for (std::size_t i = 0; i < root_["indexes"].size(); ++i) {
        def.Indexes.push_back(
            Index(root_["indexes"][i], "indexes[" + std::to_string(i) + "]", false));
      }
    }
    return def;
  }

 private:
  static void Expect(bool condition, const std::string& key, const std::string& what) {
    if (!condition) throw TUsageError("schema: " + key + " " + what);
  }
  static void Keys(const json& object, const std::string& where,
                   std::initializer_list<const char*> allowed,
                   std::initializer_list<const char*> described = {}) {
    for (const auto& [key, value] : object.items()) {
      bool known = false;
      for (const char* name : allowed) known = known || key == name;
      for (const char* name : described) known = known || key == name;
      if (!known) throw TUsageError("schema: " + where + ": unknown key \"" + key + "\"");
    }
  }
  static double Number(const json& object, const char* key, const std::string& path,
                       double fallback, double low, double high) {
    if (!object.contains(key)) return fallback;
    const json& value = object[key];
    Expect(value.is_number_integer() && value.get<double>() >= low && value.get<double>() <= high,
           path,
           "must be a whole number from " + std::to_string(static_cast<long long>(low)) + " to " +
               std::to_string(static_cast<long long>(high)));
    return value.get<double>();
  }
  static bool Flag(const json& object, const char* key, const std::string& path) {
    if (!object.contains(key)) return false;
    Expect(object[key].is_boolean(), path, "must be true or false");
    return object[key].get<bool>();
  }
  static std::string Text(const json& object, const char* key, const std::string& path,
                          const std::string& fallback) {
    if (!object.contains(key)) return fallback;
    Expect(object[key].is_string(), path, "must be a string");
    return object[key].get<std::string>();
  }
  // A UTF-8 text in the table's code page; a character it cannot hold is refused.
  std::string Encoded(const std::string& text, const std::string& path) const {
    std::u16string units;
    Expect(platform::TryUtf8ToUtf16(text, units), path, "is not valid UTF-8");
    for (char16_t c : units) {
      Expect(codePage_->CanHold(c), path, "holds a character the table's code page cannot hold");
    }
    return codePage_->FromUtf16(units);
  }
  // A min, max or default value from the tool's forms into the table locale's.
  std::string CheckText(const json& object, const char* key, const std::string& path,
                        std::uint8_t code) const {
    std::string text = Encoded(Text(object, key, path, ""), path);
    Expect(CheckValueToTable(text, code, *settings_), path, CheckValueForm(code));
    return text;
  }

  TFieldDefinition Field(const json& object, const std::string& path) {
    Expect(object.is_object(), path, "must be an object");
    Keys(object, path, {"name", "type", "size", "scale", "required", "min", "max", "default"});
    TFieldDefinition field;
    Expect(object.contains("name"), path + ".name", "is missing");
    field.Name = Encoded(Text(object, "name", path + ".name", ""), path + ".name");
    Expect(object.contains("type"), path + ".type", "is missing");
    const std::string type = Text(object, "type", path + ".type", "");
    const TTypeName* found = TypeNamed(type);
    Expect(found != nullptr, path + ".type", "\"" + type + "\" is not a type");
    field.TypeCode = found->Code;
    field.SubType = found->SubType;
    const bool sized = type == "string" || type == "bytes" || type == "varbytes";
    Expect(sized || !object.contains("size"), path + ".size",
           "belongs to string, bytes and varbytes");
    if (sized) {
      Expect(object.contains("size"), path + ".size", "is missing");
      field.Size = static_cast<std::uint8_t>(Number(object, "size", path + ".size", 0, 1, 250));
    }
    Expect(type == "bcd" || !object.contains("scale"), path + ".scale", "belongs to bcd");
    field.Scale = static_cast<std::uint8_t>(Number(object, "scale", path + ".scale", 0, 0, 18));
    field.Required = Flag(object, "required", path + ".required");
    field.MinValue = CheckText(object, "min", path + ".min", field.TypeCode);
    field.MaxValue = CheckText(object, "max", path + ".max", field.TypeCode);
    field.DefaultValue = CheckText(object, "default", path + ".default", field.TypeCode);
    return field;
  }

  TIndexDefinition Index(const json& object, const std::string& path, bool primary) {
    Expect(object.is_object(), path, "must be an object");
    if (primary) {
      Keys(object, path,
           {"fields", "caseInsensitive", "descending", "descendingFields", "compression"},
           {"keyLength"});
    } else {
      Keys(object, path,
           {"name", "fields", "unique", "caseInsensitive", "descending", "descendingFields",
            "compression"},
           {"keyLength"});
    }
    TIndexDefinition index;
    if (!primary) {
      Expect(object.contains("name"), path + ".name", "is missing");
      index.Name = Encoded(Text(object, "name", path + ".name", ""), path + ".name");
      index.Unique = Flag(object, "unique", path + ".unique");
    }
    Expect(object.contains("fields") && object["fields"].is_array() && !object["fields"].empty(),
           path + ".fields", "must be a non-empty array of field names");
    for (const json& name : object["fields"]) {
      Expect(name.is_string(), path + ".fields", "must hold field names");
      index.Fields.push_back(Encoded(name.get<std::string>(), path + ".fields"));
    }
    index.CaseInsensitive = Flag(object, "caseInsensitive", path + ".caseInsensitive");
    index.Descending = Flag(object, "descending", path + ".descending");
    if (object.contains("descendingFields")) {
      Expect(object["descendingFields"].is_array(), path + ".descendingFields",
             "must be an array of field names");
      index.DescendingFields.assign(index.Fields.size(), false);
      for (const json& name : object["descendingFields"]) {
        Expect(name.is_string(), path + ".descendingFields", "must hold field names");
        const std::string encoded = Encoded(name.get<std::string>(), path + ".descendingFields");
        bool known = false;
        for (std::size_t i = 0; i < index.Fields.size(); ++i) {
          if (index.Fields[i] == encoded) index.DescendingFields[i] = known = true;
        }
        Expect(known, path + ".descendingFields", "names a field the index does not have");
      }
    }
    const std::string compression = Text(object, "compression", path + ".compression", "none");
    static const std::map<std::string, TKeyCompression> kCompressions = {
        {"none", kcNone}, {"leading", kcLeading}, {"trailing", kcTrailing}, {"full", kcFull}};
    const auto it = kCompressions.find(compression);
    Expect(it != kCompressions.end(), path + ".compression",
           "must be none, leading, trailing or full");
    index.Compression = it->second;
    return index;
  }

  const json& root_;
  const platform::TCodePage* codePage_ = nullptr;
  const platform::TFormatSettings* settings_ = nullptr;
};

}  // namespace

int RunCreate(const TCreateOptions& options) {
  std::ifstream file(options.Schema);
  if (!file) throw TUsageError("cannot read the schema " + options.Schema);
  json root;
  try {
    root = json::parse(file);
  } catch (const json::parse_error& e) {
    throw TUsageError("the schema is not JSON: " + std::string(e.what()));
  }
  const TTablePath path = SplitTablePath(options.Table.Table);
  TTableDefinition def = TSchemaReader(root).Read(path.Path());
  // Only a password asked for enciphers a new table: not one the environment holds for opening.
  if (def.Password.empty()) def.Password = GivenPassword(options.Table.Password, false);
  if (def.Password.empty() && root.value("enciphered", false)) {
    throw TUsageError(
        "the schema describes an enciphered table: give its password "
        "(--password-file FILE or --password P) or leave \"enciphered\" out");
  }
  const bool exists = platform::FileExists(platform::ResolveFileName(DataFileNameOf(path.Path())));
  if (exists && !options.Replace) {
    throw std::runtime_error(options.Table.Table +
                             " exists already; nothing was changed (--replace replaces it, "
                             "and its records are lost)");
  }
  Sessions().DefaultSession().SetActive(true);
  CreateTable(def);
  if (!options.Quiet) {
    std::size_t indexes = def.Indexes.size();
    std::cerr << "isamtool create: " << (exists ? "replaced " : "created ") << options.Table.Table
              << " with " << def.Fields.size() << (def.Fields.size() == 1 ? " field" : " fields")
              << " and " << indexes << (indexes == 1 ? " index" : " indexes")
              << (def.Password.empty() ? "" : ", enciphered") << "\n";
  }
  return 0;
}

}  // namespace katalog::isamtool
