#pragma once
// Writes the data block that the stub reads after its image (the layout is in
// block/BlockFormat.h). plimo-pack builds installers with it; tests build
// blocks and installers with it for the stub's reader.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "block/BlockFormat.h"
#include "block/ByteSource.h"
#include "block/PayloadFormat.h"
#include "block/TextKinds.h"

namespace plimo {

// Builds the configuration part of the block: magic, narrow table, wide
// table. Records are written in the order they were added (the reader lets
// the last record of an id win). Narrow values are page text, already in the
// installer's code page.
class BlockWriter {
 public:
  void addNarrow(std::int32_t id, PageText value);
  void addWide(std::int32_t id, std::u16string value);
  std::string tables() const;

 private:
  std::vector<std::pair<std::int32_t, PageText>> narrow_;
  std::vector<std::pair<std::int32_t, std::u16string>> wide_;
};

// Writes one payload record to target: the length field, then length bytes
// from the content's position, scrambled, through one chunk buffer (memory
// use does not grow with length). length is at most MAX_RECORD_LENGTH.
// ReadFailed or SourceEnded when the content cannot give length bytes,
// WriteFailed when the target refuses them.
CopyResult writePayloadRecord(ByteSource& content, std::uint64_t length, ByteSink& target);

// One payload record in memory: length, then the content scrambled.
std::string payloadRecord(std::string_view content);

// UTF-16 from UTF-8 (for tests and the builder). Invalid sequences become U+FFFD.
std::u16string utf16FromUtf8(std::string_view utf8Text);
Utf8Text utf8FromUtf16(std::u16string_view text);

}  // namespace plimo
