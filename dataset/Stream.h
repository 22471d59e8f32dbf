// TStream: a seekable byte stream, as blob fields read and write their contents through it.
// TMemoryStream keeps the bytes in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace katalog {

// A stream that cannot deliver the bytes asked for: "Stream read error".
class EReadError : public std::runtime_error {
 public:
  EReadError() : std::runtime_error("Stream read error") {}
};

enum class TSeekOrigin : std::uint8_t { Beginning, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes at the position and advances it; returns the bytes read.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes at the position and advances it; returns the bytes written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(std::int64_t size) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  std::int64_t Size();
  // The whole contents: the size asked first, then exactly that many bytes read from the start
  // (EReadError when fewer come).
  std::string ReadAll();
  // The whole contents in place, valid until the stream is written or goes; nothing when the
  // stream does not hold them in one piece.
  virtual std::optional<std::string_view> Contents() const { return std::nullopt; }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string contents) : bytes_(contents.begin(), contents.end()) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::optional<std::string_view> Contents() const override {
    return std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

}  // namespace katalog
