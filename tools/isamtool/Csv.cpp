#include "tools/isamtool/Csv.h"

namespace katalog::isamtool {

TCsvReader::TCsvReader(std::FILE* file) : file_(file), buffer_(1 << 16) {}

int TCsvReader::Peek() {
  if (position_ == filled_) {
    filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    position_ = 0;
    if (filled_ == 0) {
      if (std::ferror(file_)) throw TCsvError("the input cannot be read");
      return EOF;
    }
  }
  return static_cast<unsigned char>(buffer_[position_]);
}

int TCsvReader::Get() {
  const int c = Peek();
  if (c != EOF) {
    ++position_;
    ++consumed_;
    if (c == '\n') ++line_;
  }
  return c;
}

void TCsvReader::SkipByteOrderMark() {
  if (consumed_ != 0 || Peek() != 0xEF) return;
  // Three bytes that fit the first buffer fill, unless the file is shorter.
  if (filled_ - position_ >= 3 && static_cast<unsigned char>(buffer_[position_ + 1]) == 0xBB &&
      static_cast<unsigned char>(buffer_[position_ + 2]) == 0xBF) {
    position_ += 3;
    consumed_ += 3;
  }
}

bool TCsvReader::Next(std::vector<std::string>& fields) {
  fields.clear();
  if (Peek() == EOF) return false;
  recordLine_ = line_;
  std::string field;
  bool quoted = false;  // the current field began with a quote
  for (;;) {
    int c = Get();
    if (quoted) {
      if (c == EOF) {
        throw TCsvError("line " + std::to_string(recordLine_) +
                        ": a quoted field is not closed before the end of the input");
      }
      if (c != '"') {
        field += static_cast<char>(c);
        continue;
      }
      if (Peek() == '"') {
        Get();
        field += '"';
        continue;
      }
      quoted = false;
      c = Get();
      if (c != ',' && c != '\n' && c != '\r' && c != EOF) {
        throw TCsvError("line " + std::to_string(line_) +
                        ": a quoted field must be followed by a comma or the end of the line");
      }
    } else if (c == '"') {
      if (!field.empty()) {
        throw TCsvError("line " + std::to_string(line_) +
                        ": a quote inside a field that is not quoted");
      }
      quoted = true;
      continue;
    } else if (c != ',' && c != '\n' && c != '\r' && c != EOF) {
      field += static_cast<char>(c);
      continue;
    }
    // c ends the field: a comma, a line ending or the end of the input.
    fields.push_back(std::move(field));
    field.clear();
    if (c == ',') continue;
    if (c == '\r' && Peek() == '\n') Get();
    return true;
  }
}

bool CsvNeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void AppendCsvField(std::string& out, std::string_view field, bool quote) {
  if (!quote && !CsvNeedsQuotes(field)) {
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
