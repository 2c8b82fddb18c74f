#pragma once
#include <cstdint>

#include "launcher/ByteSource.h"
#include "launcher/ConfigStore.h"

namespace plimo {

constexpr std::uint32_t CONFIG_MAGIC = 0xE8E413D5u;

// Why a block could not be read. Each has a fixed text, shown before any
// configuration exists.
enum class LoadError { None, OpenExeFile, Magic, ReadInt, ReadString, ReadWString };
const char* loadErrorText(LoadError error);

// Finds the first byte after the executable image: the largest end (raw data
// offset + raw size) of the section headers in the PE headers at the start of
// the source. Works for any linker layout and for 32- and 64-bit images.
// ReadInt when the source is too short for the headers, Magic when they are
// not PE headers.
LoadError findEndOfImage(ByteSource& source, std::uint64_t& end);

// Reads magic, narrow table and wide table from the source's current
// position into store (last record of an id wins) and returns the position
// after the wide table as payloadOffset. Every count and length is held
// against the bytes that remain before anything is allocated, so a damaged
// block never allocates more than the file could hold.
LoadError decodeConfigBlock(ByteSource& source, ConfigStore& store, std::uint64_t& payloadOffset);

// findEndOfImage, a seek there, then decodeConfigBlock.
LoadError readConfiguration(ByteSource& executable, ConfigStore& store, std::uint64_t& payloadOffset);

// A little-endian int32 from the source; false on a short read.
bool readInt32(ByteSource& source, std::int32_t& value);

}  // namespace plimo
