// The isamtool commands and their options. The command line (CommandLine.cpp) declares every
// option once and fills these structures; each command then runs on its structure, writes
// results to standard output and diagnostics to standard error, and returns the exit status
// (0 success, 1 a table or data error). A usage mistake found while running raises TUsageError
// (exit status 2).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/isamtool/Encoding.h"

namespace katalog::isamtool {

class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the password of an enciphered table comes from, first given first: --password,
// --password-file, the environment's KATALOG_PASSWORD, else a prompt on the terminal when the
// table asks for one.
struct TPasswordOptions {
  std::string Password;
  std::string File;
};

// The table a command works on and its password.
struct TTableOptions {
  std::string Table;  // the table's path with or without ".DAT"
  TPasswordOptions Password;
};

// A filter expression and how it compares.
struct TFilterChoice {
  std::optional<std::string> Expression;  // UTF-8, constants in the tool's forms
  bool IgnoreCase = false;
  bool NoPartial = false;
};

// How CSV is read and written. The delimiter is ',', ';' or '\t'; 0 means "find it in the
// header line".
struct TCsvOptions {
  char Delimiter = ',';
  std::optional<std::string> Null;  // the text of a null value, in UTF-8
};

struct TCreateOptions {
  TTableOptions Table;
  std::string Schema;
  bool Replace = false;
  bool Quiet = false;
};

struct TImportOptions {
  TTableOptions Table;
  std::string File;
  std::string Format = "csv";  // csv or json
  TEncoding Encoding = TEncoding::Utf8;
  TCsvOptions Csv;
  bool KeepIds = false;
  std::int64_t Skip = 0;
  bool Quiet = false;
};

struct TExportOptions {
  TTableOptions Table;
  std::string Format = "csv";  // csv, json or sql
  std::string Index;
  TFilterChoice Filter;
  TEncoding Encoding = TEncoding::Utf8;
  TCsvOptions Csv;
  bool NoHeader = false;
  std::vector<std::string> Fields;
  std::optional<std::int64_t> Limit;
  bool Quiet = false;
};

struct TInfoOptions {
  TTableOptions Table;
  bool Json = false;
};

struct TCountOptions {
  TTableOptions Table;
  TFilterChoice Filter;
};

struct TDeleteOptions {
  TTableOptions Table;
  TFilterChoice Filter;
  bool All = false;
  bool Quiet = false;
};

int RunCreate(const TCreateOptions& options);
int RunImport(const TImportOptions& options);
int RunExport(const TExportOptions& options);
int RunInfo(const TInfoOptions& options);
int RunCount(const TCountOptions& options);
int RunDelete(const TDeleteOptions& options);
int RunVerify(const TTableOptions& options);
int RunRepair(const TTableOptions& options);

}  // namespace katalog::isamtool
