#include "block/BlockFormat.h"

#include <cstring>

namespace plimo {

namespace {

bool readExact(ByteSource& source, void* destination, std::size_t n) {
  bool failed = false;
  return source.read(destination, n, &failed) == n && !failed;
}

}  // namespace

void appendInt32(std::string& out, std::int32_t value) {
  std::uint32_t v = static_cast<std::uint32_t>(value);
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>((v >> 16) & 0xFF));
  out.push_back(static_cast<char>((v >> 24) & 0xFF));
}

std::int32_t int32FromBytes(const unsigned char* bytes) { return static_cast<std::int32_t>(le32(bytes)); }

bool readInt32(ByteSource& source, std::int32_t& value) {
  unsigned char bytes[INT32_FIELD_SIZE];
  if (!readExact(source, bytes, sizeof bytes)) return false;
  value = int32FromBytes(bytes);
  return true;
}

bool readRecordBytes(ByteSource& source, std::string& out) {
  std::int32_t length = 0;
  if (!readInt32(source, length)) return false;
  if (length < 0) return false;
  std::uint64_t remaining = source.size() - source.position();
  if (static_cast<std::uint64_t>(length) > remaining) return false;
  out.resize(static_cast<std::size_t>(length));
  return length == 0 || readExact(source, &out[0], static_cast<std::size_t>(length));
}

void appendUtf16Le(std::string& out, std::u16string_view text) {
  for (char16_t unit : text) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
}

std::u16string utf16FromLeBytes(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t k = 0; k < text.size(); ++k) {
    text[k] = static_cast<char16_t>(le16(reinterpret_cast<const unsigned char*>(bytes.data()) + 2 * k));
  }
  return text;
}

void applyPayloadKey(unsigned char* data, std::size_t n) {
  constexpr std::uint64_t WORD_KEY = 0x0101010101010101ull * PAYLOAD_KEY;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    word ^= WORD_KEY;
    std::memcpy(data + i, &word, 8);
  }
  for (; i < n; ++i) data[i] ^= PAYLOAD_KEY;
}

LoadError readPeHeader(ByteSource& source, PeHeader& header) {
  unsigned char dos[64];
  if (!source.seek(0) || !readExact(source, dos, sizeof dos)) return LoadError::ReadInt;
  if (dos[0] != 'M' || dos[1] != 'Z') return LoadError::Magic;
  std::uint32_t peOffset = le32(dos + 0x3C);
  // Signature (4) + file header (20).
  unsigned char pe[24];
  if (!source.seek(peOffset) || !readExact(source, pe, sizeof pe)) return LoadError::ReadInt;
  if (std::memcmp(pe, "PE\0\0", 4) != 0) return LoadError::Magic;
  header.machine = le16(pe + 4);
  header.sectionCount = le16(pe + 4 + 2);
  std::uint16_t optionalHeaderSize = le16(pe + 4 + 16);
  header.sectionTable = static_cast<std::uint64_t>(peOffset) + sizeof pe + optionalHeaderSize;
  return LoadError::None;
}

LoadError findEndOfImage(ByteSource& source, std::uint64_t& end) {
  PeHeader header;
  LoadError error = readPeHeader(source, header);
  if (error != LoadError::None) return error;
  if (header.sectionCount == 0) return LoadError::Magic;
  if (!source.seek(header.sectionTable)) return LoadError::ReadInt;
  std::uint64_t last = 0;
  for (unsigned i = 0; i < header.sectionCount; ++i) {
    unsigned char section[40];
    if (!readExact(source, section, sizeof section)) return LoadError::ReadInt;
    std::uint64_t rawSize = le32(section + 16);
    std::uint64_t rawOffset = le32(section + 20);
    if (rawSize != 0 && rawOffset + rawSize > last) last = rawOffset + rawSize;
  }
  if (last == 0) return LoadError::Magic;
  end = last;
  return LoadError::None;
}

}  // namespace plimo
