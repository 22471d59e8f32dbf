#include "tools/isamtool/InputBuffer.h"

namespace katalog::isamtool {

bool TInputBuffer::Fill() {
  filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  position_ = 0;
  if (filled_ == 0 && std::ferror(file_)) throw TInputError("the input cannot be read");
  return filled_ != 0;
}

void TInputBuffer::SkipPrefix(std::string_view bytes) {
  if (consumed_ == 0 && Ahead().substr(0, bytes.size()) == bytes) Skip(bytes.size());
}

}  // namespace katalog::isamtool
