#include "tools/isamtool/Csv.h"

#include <algorithm>
#include <iterator>

namespace katalog::isamtool {

TCsvReader::TCsvReader(std::FILE* file, char delimiter) : input_(file), delimiter_(delimiter) {}

char TCsvReader::DetectDelimiter() {
  static constexpr char kCandidates[] = {',', ';', '\t'};
  std::size_t counts[std::size(kCandidates)] = {};
  bool inQuotes = false;
  // The line as far as the first buffer fill holds it.
  for (const char c : input_.Ahead()) {
    if (c == '"') inQuotes = !inQuotes;
    if (!inQuotes && (c == '\n' || c == '\r')) break;
    for (std::size_t k = 0; k < std::size(kCandidates); ++k) {
      if (!inQuotes && c == kCandidates[k]) ++counts[k];
    }
  }
  std::size_t best = 0;
  for (std::size_t k = 1; k < std::size(kCandidates); ++k) {
    if (counts[k] > counts[best]) best = k;
  }
  return delimiter_ = kCandidates[best];
}

// The bytes up to the next one that means something (a quote; outside quotes also the delimiter
// and line endings), as far as the buffer holds them, in one piece rather than byte by byte.
void TCsvReader::TakeRun(std::string& field, bool quoted) {
  const std::string_view ahead = input_.Ahead();
  std::size_t n = 0;
  if (quoted) {
    n = std::min(ahead.find('"'), ahead.size());
  } else {
    while (n < ahead.size() && ahead[n] != delimiter_ && ahead[n] != '"' && ahead[n] != '\n' &&
           ahead[n] != '\r') {
      ++n;
    }
  }
  field.append(ahead.data(), n);
  input_.Skip(n);
}

bool TCsvReader::Next(std::vector<std::string>& fields, std::vector<bool>* quotedFields) {
  fields.clear();
  if (quotedFields) quotedFields->clear();
  if (input_.Peek() == EOF) return false;
  recordLine_ = input_.Line();
  std::string field;
  bool quoted = false;  // within the current field's quotes
  bool wasQuoted = false;
  for (;;) {
    TakeRun(field, quoted);
    int c = input_.Get();
    if (quoted) {
      if (c == EOF) {
        throw TInputError("line " + std::to_string(recordLine_) +
                          ": a quoted field is not closed before the end of the input");
      }
      if (c != '"') {
        field += static_cast<char>(c);
        continue;
      }
      if (input_.Peek() == '"') {
        input_.Get();
        field += '"';
        continue;
      }
      quoted = false;
      c = input_.Get();
      if (c != delimiter_ && c != '\n' && c != '\r' && c != EOF) {
        throw TInputError("line " + std::to_string(input_.Line()) +
                          ": a quoted field must be followed by the delimiter or the end of the "
                          "line");
      }
    } else if (c == '"') {
      if (!field.empty()) {
        throw TInputError("line " + std::to_string(input_.Line()) +
                          ": a quote inside a field that is not quoted");
      }
      quoted = wasQuoted = true;
      continue;
    } else if (c != delimiter_ && c != '\n' && c != '\r' && c != EOF) {
      field += static_cast<char>(c);
      continue;
    }
    // c ends the field: the delimiter, a line ending or the end of the input.
    fields.push_back(std::move(field));
    field.clear();
    if (quotedFields) quotedFields->push_back(wasQuoted);
    wasQuoted = false;
    if (c == delimiter_) continue;
    if (c == '\r' && input_.Peek() == '\n') input_.Get();
    return true;
  }
}

bool IsCsvNullToken(std::string_view token) {
  return token.find_first_of(",;\t\"\r\n") == std::string_view::npos;
}

void AppendCsvField(std::string& out, std::string_view field, char delimiter, bool quote) {
  // Every delimiter a reader might take is quoted, not only this one, so that a file of one
  // column reads back whatever delimiter the header line suggests.
  const char special[] = {delimiter, ',', ';', '\t', '"', '\r', '\n', '\0'};
  if (!quote && field.find_first_of(special) == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace katalog::isamtool
