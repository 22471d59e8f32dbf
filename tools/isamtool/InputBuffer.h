// The bytes of an import's input, read through one 64 KiB buffer and counted in lines, for the
// CSV and JSON row readers. A read error is a TInputError.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace katalog::isamtool {

// Malformed input, CSV or JSON; the message names the line.
class TInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TInputBuffer {
 public:
  // Reads `file` (not owned) from its current position.
  explicit TInputBuffer(std::FILE* file) : file_(file), buffer_(1 << 16) {}

  // The next byte, or EOF, without taking it.
  int Peek() {
    if (position_ == filled_ && !Fill()) return EOF;
    return static_cast<unsigned char>(buffer_[position_]);
  }
  // The next byte, or EOF, taken.
  int Get() {
    const int c = Peek();
    if (c != EOF) {
      ++position_;
      ++consumed_;
      if (c == '\n') ++line_;
    }
    return c;
  }
  // The bytes the buffer holds from the next one on (at least one unless at the end).
  std::string_view Ahead() {
    Peek();
    return {buffer_.data() + position_, filled_ - position_};
  }
  // Takes the first n bytes of Ahead().
  void Skip(std::size_t n) {
    const char* from = buffer_.data() + position_;
    line_ += std::count(from, from + n, '\n');
    position_ += n;
    consumed_ += n;
  }
  // Takes `bytes` when the input starts with them (its very start, within the first fill).
  void SkipPrefix(std::string_view bytes);
  // The line (1-based) the next byte is on.
  std::int64_t Line() const { return line_; }
  std::uint64_t Consumed() const { return consumed_; }

 private:
  // False at the end of the input.
  bool Fill();

  std::FILE* file_;
  std::vector<char> buffer_;
  std::size_t position_ = 0;
  std::size_t filled_ = 0;
  std::uint64_t consumed_ = 0;
  std::int64_t line_ = 1;
};

}  // namespace katalog::isamtool
