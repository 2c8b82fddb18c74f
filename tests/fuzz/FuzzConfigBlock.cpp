// Fuzzes the reading of the block appended to the executable: the PE headers
// that locate it and the two tables. Whatever the bytes, reading must end with
// a result, never read or allocate beyond what the input holds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "block/ByteSource.h"
#include "block/ConfigBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  {
    plimo::MemoryByteSource source(bytes);
    plimo::ConfigStore store;
    std::uint64_t payloadOffset = 0;
    if (plimo::readConfiguration(source, store, payloadOffset) == plimo::LoadError::None && payloadOffset > size) {
      __builtin_trap();
    }
  }
  {
    // The tables alone, as they follow the image.
    plimo::MemoryByteSource source(bytes);
    plimo::ConfigStore store;
    std::uint64_t payloadOffset = 0;
    if (plimo::decodeConfigBlock(source, store, payloadOffset) == plimo::LoadError::None) {
      std::size_t held = 0;
      for (const auto& entry : store.narrow) held += entry.second.size();
      for (const auto& entry : store.wide) held += entry.second.size() * 2;
      if (held > size || payloadOffset > size) __builtin_trap();
    }
  }
  return 0;
}
