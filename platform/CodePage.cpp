#include "platform/CodePage.h"
#include "platform/ByteOrder.h"
#include "platform/ScopeGuard.h"
#include "platform/Utf8.h"

#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

namespace katalog::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Opens a converter that stops at the first byte or character it cannot convert, so that the
// callers decide what an unconvertible piece becomes.
Converter OpenStrict(const std::string& name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter c(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  return U_SUCCESS(status) ? std::move(c) : nullptr;
}

std::string FindConverterName(int number) {
  for (const std::string& name :
       {"windows-" + std::to_string(number), "cp" + std::to_string(number)}) {
    if (OpenStrict(name)) return name;
  }
  throw std::invalid_argument("unknown code page " + std::to_string(number));
}

}  // namespace

TCodePage::TCodePage(int number) : number_(number), converterName_(FindConverterName(number)) {
  lowFromUnicode_.fill(-1);
  Converter c = OpenStrict(converterName_);
  singleByte_ = ucnv_getMaxCharSize(c.get()) == 1;
  if (!singleByte_) return;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    UChar out[4];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(c.get());
    const int32_t n = ucnv_toUChars(c.get(), out, 4, &byte, 1, &status);
    // Undefined bytes stand for the C1 control of the same value, keeping the page one-to-one.
    toUnicode_[b] = (U_SUCCESS(status) && n == 1) ? out[0] : static_cast<char16_t>(b);
  }
  for (int b = 0; b < 256; ++b) {
    const std::uint32_t u = toUnicode_[b];
    utf8_[b] = u < 0x80    ? u | 1u << 24
               : u < 0x800 ? (0xC0 | u >> 6) | (0x80 | (u & 0x3F)) << 8 | 2u << 24
                           : (0xE0 | u >> 12) | (0x80 | (u >> 6 & 0x3F)) << 8 |
                                 (0x80 | (u & 0x3F)) << 16 | 3u << 24;
  }
  for (int b = 255; b >= 0; --b) {
    fromUnicode_[toUnicode_[b]] = static_cast<std::uint8_t>(b);
    if (toUnicode_[b] < lowFromUnicode_.size()) lowFromUnicode_[toUnicode_[b]] = b;
  }
}

int TCodePage::HighByteOf(char16_t c) const {
  const auto it = fromUnicode_.find(c);
  return it == fromUnicode_.end() ? -1 : it->second;
}

TCodePage::~TCodePage() = default;

std::size_t TCodePage::ToUtf8(std::string_view bytes, std::string& buffer) const {
  if (!singleByte_) {
    const std::string text = Utf16ToUtf8(ToUtf16(bytes));
    if (buffer.size() < text.size()) buffer.resize(text.size());
    text.copy(buffer.data(), text.size());
    return text.size();
  }
  // Each byte's entry is stored whole (four bytes, little-endian) and the end moves by its
  // count: no branch per character; the last entry needs room for its unused bytes.
  if (buffer.size() < bytes.size() * 3 + 1) buffer.resize(bytes.size() * 3 + 1);
  char* const start = buffer.data();
  char* end = start;
  const std::size_t size = bytes.size();
  for (std::size_t i = 0; i < size;) {
    // Eight ASCII bytes at once: most of a text in a Latin page is ASCII.
    std::uint64_t word = 0;
    if (i + 8 <= size) std::memcpy(&word, bytes.data() + i, 8);
    if (i + 8 <= size && (word & 0x8080808080808080u) == 0) {
      std::memcpy(end, &word, 8);
      end += 8, i += 8;
      continue;
    }
    const std::uint32_t entry = utf8_[static_cast<std::uint8_t>(bytes[i++])];
    StoreU32(reinterpret_cast<std::uint8_t*>(end), entry);
    end += entry >> 24;
  }
  return static_cast<std::size_t>(end - start);
}

std::u16string TCodePage::ToUtf16(std::string_view bytes) const {
  std::u16string text;
  if (singleByte_) {
    text.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      text[i] = toUnicode_[static_cast<std::uint8_t>(bytes[i])];
    }
    return text;
  }
  Converter c = OpenStrict(converterName_);
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  text.resize(bytes.size() * 2 + 1);
  const int32_t n = ucnv_toUChars(c.get(), reinterpret_cast<UChar*>(text.data()),
                                  static_cast<int32_t>(text.size()), bytes.data(),
                                  static_cast<int32_t>(bytes.size()), &status);
  text.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
  return text;
}

std::string TCodePage::ConvertMultiByte(std::u16string_view text, bool* complete) const {
  Converter c = OpenStrict(converterName_);
  UErrorCode status = U_ZERO_ERROR;
  if (!complete) {
    ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                          &status);
    ucnv_setSubstChars(c.get(), "?", 1, &status);
  }
  std::string bytes(text.size() * 4 + 4, '\0');
  const int32_t n = ucnv_fromUChars(c.get(), bytes.data(), static_cast<int32_t>(bytes.size()),
                                    reinterpret_cast<const UChar*>(text.data()),
                                    static_cast<int32_t>(text.size()), &status);
  if (complete) *complete = U_SUCCESS(status);
  bytes.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

std::string TCodePage::FromUtf16(std::u16string_view text) const {
  if (!singleByte_) return ConvertMultiByte(text, nullptr);
  std::string bytes(text.size(), '?');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = SingleByteOf(text[i]);
    if (byte >= 0) bytes[i] = static_cast<char>(byte);
  }
  return bytes;
}

bool TCodePage::CanHoldMultiByte(char16_t c) const {
  bool complete = false;
  ConvertMultiByte(std::u16string_view(&c, 1), &complete);
  return complete;
}

const TCodePage& CodePage(int number) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<TCodePage>> pages;
  std::lock_guard lock(mutex);
  auto& page = pages[number];
  if (!page) {
    const platform::TScopeFail forget([&] { pages.erase(number); });
    page = std::make_unique<TCodePage>(number);
  }
  return *page;
}

}  // namespace katalog::platform
