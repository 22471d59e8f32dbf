#include "sqlite/SqlTable.h"

#include <stdexcept>

#include "engine/components/Session.h"
#include "engine/components/SessionList.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "platform/AsciiText.h"
#include "platform/ScopeGuard.h"
#include "sqlite/QueryPlan.h"

namespace katalog::sqlite {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// An argument as SQLite hands it over: 'text' and "text" with their quotes doubled inside, or a
// bare word.
std::string Unquoted(std::string_view text) {
  text = Trimmed(text);
  if (text.size() < 2 || (text.front() != '\'' && text.front() != '"') ||
      text.back() != text.front()) {
    return std::string(text);
  }
  const char quote = text.front();
  std::string value;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    value += text[i];
    if (text[i] == quote && text[i + 1] == quote) ++i;
  }
  return value;
}

struct TArguments {
  std::string Path;  // without ".DAT"
  std::string Password;
};

constexpr const char* kUsage = "katalog('/path/to/TABLE', password='...')";

TArguments ReadArguments(int argc, const char* const* argv) {
  TArguments arguments;
  bool pathGiven = false;
  for (int i = 3; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const std::size_t equals = argument.find('=');
    const bool quoted = !Trimmed(argument).empty() &&
                        (Trimmed(argument).front() == '\'' || Trimmed(argument).front() == '"');
    if (equals == std::string_view::npos || quoted) {
      if (pathGiven) {
        throw std::runtime_error("one table per virtual table: " + std::string(kUsage));
      }
      arguments.Path = Unquoted(argument);
      pathGiven = true;
      continue;
    }
    const std::string_view name = Trimmed(argument.substr(0, equals));
    if (!platform::EqualsIgnoringAsciiCase(name, "password")) {
      throw std::runtime_error("unknown argument \"" + std::string(name) + "\": " + kUsage);
    }
    arguments.Password = Unquoted(argument.substr(equals + 1));
  }
  if (arguments.Path.empty()) {
    throw std::runtime_error("the table's path is missing: " + std::string(kUsage));
  }
  std::string& path = arguments.Path;
  if (path.size() > 4 && platform::EqualsIgnoringAsciiCase(path.substr(path.size() - 4), ".DAT")) {
    path.resize(path.size() - 4);
  }
  return arguments;
}

}  // namespace

TSqlTable::TSqlTable(int argc, const char* const* argv) : sqlite3_vtab{} {
  const TArguments arguments = ReadArguments(argc, argv);
  Sessions().DefaultSession().SetActive(true);
  // The password is known to the engine only while the table opens; the open table keeps what
  // it needs to read itself.
  TFileSession& session = CurrentFileSession();
  const bool known = arguments.Password.empty() || session.HasPassword(arguments.Password);
  if (!known) session.AddPassword(arguments.Password);
  const platform::TScopeExit forget([&] {
    if (!known) session.RemovePassword(arguments.Password);
  });
  file_ = std::make_unique<TDataFile>();
  file_->SetFileName(arguments.Path);
  file_->SetReadOnly(true);
  file_->Open();
  codec_.emplace(isamtool::TableCodePage(file_->LocaleId()), isamtool::TEncoding::Utf8);
  columns_ = ColumnsOf(*file_, *codec_);
  if (columns_.empty()) throw std::runtime_error("the table has no field SQLite can read");
}

TSqlTable::~TSqlTable() = default;

void TSqlTable::BestIndex(sqlite3_index_info& info) {
  ChoosePlan(info, *file_, columns_, *codec_);
}

TDataFile& TSqlTable::Lend(std::unique_ptr<TDataFile>& own) {
  if (!lent_) {
    lent_ = true;
    return *file_;
  }
  own = file_->Clone();
  return *own;
}

void TSqlTable::Release(const TDataFile& file) {
  if (&file == file_.get()) lent_ = false;
}

}  // namespace katalog::sqlite
