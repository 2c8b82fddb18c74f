#include "launcher/ConfigBlock.h"

#include <cstring>

namespace plimo {

const char* loadErrorText(LoadError error) {
  switch (error) {
    case LoadError::None: return "";
    case LoadError::OpenExeFile: return "Internal Error: openExeFile";
    case LoadError::Magic: return "Internal Error: magic";
    case LoadError::ReadInt: return "Internal Error: readInt";
    case LoadError::ReadString: return "Internal Error: readString";
    case LoadError::ReadWString: return "Internal Error: readWString";
  }
  return "Internal Error";
}

namespace {

std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool readExact(ByteSource& source, void* destination, std::size_t n) {
  bool failed = false;
  return source.read(destination, n, &failed) == n && !failed;
}

}  // namespace

bool readInt32(ByteSource& source, std::int32_t& value) {
  unsigned char bytes[4];
  if (!readExact(source, bytes, 4)) return false;
  value = static_cast<std::int32_t>(le32(bytes));
  return true;
}

LoadError findEndOfImage(ByteSource& source, std::uint64_t& end) {
  unsigned char dos[64];
  if (!source.seek(0) || !readExact(source, dos, sizeof dos)) return LoadError::ReadInt;
  if (dos[0] != 'M' || dos[1] != 'Z') return LoadError::Magic;
  std::uint32_t peOffset = le32(dos + 0x3C);
  // Signature (4) + file header (20).
  unsigned char header[24];
  if (!source.seek(peOffset) || !readExact(source, header, sizeof header)) return LoadError::ReadInt;
  if (std::memcmp(header, "PE\0\0", 4) != 0) return LoadError::Magic;
  std::uint16_t sectionCount = le16(header + 4 + 2);
  std::uint16_t optionalHeaderSize = le16(header + 4 + 16);
  if (sectionCount == 0) return LoadError::Magic;
  std::uint64_t table = static_cast<std::uint64_t>(peOffset) + sizeof header + optionalHeaderSize;
  if (!source.seek(table)) return LoadError::ReadInt;
  std::uint64_t last = 0;
  for (unsigned i = 0; i < sectionCount; ++i) {
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

namespace {

// Reads one length-prefixed string of unit-sized code units into out.
bool readRecordText(ByteSource& source, std::string& out) {
  std::int32_t length = 0;
  if (!readInt32(source, length)) return false;
  if (length < 0) return false;
  std::uint64_t remaining = source.size() - source.position();
  if (static_cast<std::uint64_t>(length) > remaining) return false;
  out.resize(static_cast<std::size_t>(length));
  return length == 0 || readExact(source, &out[0], static_cast<std::size_t>(length));
}

}  // namespace

LoadError decodeConfigBlock(ByteSource& source, ConfigStore& store, std::uint64_t& payloadOffset) {
  std::int32_t magic = 0;
  if (!readInt32(source, magic)) return LoadError::ReadInt;
  if (static_cast<std::uint32_t>(magic) != CONFIG_MAGIC) return LoadError::Magic;

  std::int32_t narrowCount = 0;
  if (!readInt32(source, narrowCount)) return LoadError::ReadInt;
  for (std::int32_t i = 0; i < narrowCount; ++i) {
    std::int32_t id = 0;
    if (!readInt32(source, id)) return LoadError::ReadInt;
    std::string text;
    // A short length field is a readInt failure, as for any integer.
    std::uint64_t before = source.position();
    if (!readRecordText(source, text)) {
      return source.size() - before < 4 ? LoadError::ReadInt : LoadError::ReadString;
    }
    store.narrow[id] = std::move(text);
  }

  std::int32_t wideCount = 0;
  if (!readInt32(source, wideCount)) return LoadError::ReadInt;
  for (std::int32_t i = 0; i < wideCount; ++i) {
    std::int32_t id = 0;
    if (!readInt32(source, id)) return LoadError::ReadInt;
    std::string bytes;
    std::uint64_t before = source.position();
    if (!readRecordText(source, bytes)) {
      return source.size() - before < 4 ? LoadError::ReadInt : LoadError::ReadWString;
    }
    // An odd trailing byte cannot form a code unit and is dropped.
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t k = 0; k < text.size(); ++k) {
      text[k] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                      (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    }
    store.wide[id] = std::move(text);
  }
  payloadOffset = source.position();
  return LoadError::None;
}

LoadError readConfiguration(ByteSource& executable, ConfigStore& store, std::uint64_t& payloadOffset) {
  std::uint64_t blockStart = 0;
  LoadError error = findEndOfImage(executable, blockStart);
  if (error != LoadError::None) return error;
  if (!executable.seek(blockStart)) return LoadError::ReadInt;
  error = decodeConfigBlock(executable, store, payloadOffset);
  if (error == LoadError::None) deriveConfigFlags(store);
  return error;
}

}  // namespace plimo
