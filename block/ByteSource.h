#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plimo {

// A readable, seekable sequence of bytes: the launcher's own executable at run
// time, a memory buffer in tests and fuzzers.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total size in bytes.
  virtual std::uint64_t size() const = 0;
  // Moves the read position; false when the position is past the end.
  virtual bool seek(std::uint64_t position) = 0;
  virtual std::uint64_t position() const = 0;
  // Reads up to n bytes at the position and advances it. Returns the number
  // of bytes delivered (less than n only at the end or on a failed read);
  // failed is set when the read itself failed.
  virtual std::size_t read(void* destination, std::size_t n, bool* failed = nullptr) = 0;
};

// A ByteSource over bytes held in memory (not owned).
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool seek(std::uint64_t position) override;
  std::uint64_t position() const override { return position_; }
  std::size_t read(void* destination, std::size_t n, bool* failed = nullptr) override;

 private:
  std::string_view bytes_;
  std::uint64_t position_ = 0;
};

}  // namespace plimo
