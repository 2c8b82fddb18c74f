#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plimo {

// One byte XOR-ed into every payload data byte; the same key scrambles and
// unscrambles.
constexpr unsigned char PAYLOAD_KEY = 0xA7;

void scrambleInPlace(unsigned char* data, std::size_t n);

void appendInt32(std::string& out, std::int32_t value);

// Builds the configuration part of the block that the launcher reads from its
// own file: magic, narrow table, wide table. Records are written in the order
// they were added (the reader lets the last record of an id win).
class BlockWriter {
 public:
  void addNarrow(std::int32_t id, std::string value);
  void addWide(std::int32_t id, std::u16string value);
  std::string tables() const;

  const std::vector<std::pair<std::int32_t, std::string>>& narrow() const { return narrow_; }
  const std::vector<std::pair<std::int32_t, std::u16string>>& wide() const { return wide_; }

 private:
  std::vector<std::pair<std::int32_t, std::string>> narrow_;
  std::vector<std::pair<std::int32_t, std::u16string>> wide_;
};

// One payload record: length, then the content scrambled.
std::string payloadRecord(std::string_view content);

// UTF-16 from UTF-8 (for tests and the builder). Invalid sequences become U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::u16string_view text);

}  // namespace plimo
