#include "block/ConfigBlock.h"

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
    if (!readRecordBytes(source, text)) {
      return source.size() - before < INT32_FIELD_SIZE ? LoadError::ReadInt : LoadError::ReadString;
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
    if (!readRecordBytes(source, bytes)) {
      return source.size() - before < INT32_FIELD_SIZE ? LoadError::ReadInt : LoadError::ReadWString;
    }
    store.wide[id] = utf16FromLeBytes(bytes);
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
