#pragma once
#include <cstdint>

#include "block/BlockFormat.h"
#include "block/ByteSource.h"
#include "block/ConfigStore.h"

namespace plimo {

// The fixed text of each LoadError.
const char* loadErrorText(LoadError error);

// Reads magic, narrow table and wide table from the source's current
// position into store (last record of an id wins) and returns the position
// after the wide table as payloadOffset. Every count and length is held
// against the bytes that remain before anything is allocated, so a damaged
// block never allocates more than the file could hold.
LoadError decodeConfigBlock(ByteSource& source, ConfigStore& store, std::uint64_t& payloadOffset);

// findEndOfImage, a seek there, then decodeConfigBlock.
LoadError readConfiguration(ByteSource& executable, ConfigStore& store, std::uint64_t& payloadOffset);

}  // namespace plimo
