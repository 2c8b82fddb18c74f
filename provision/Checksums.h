#pragma once
// The two checksums of zlib's stream formats, for the stub's own copy of
// them: zlib's CRC-32 carries 8 KB of tables into every installer, while the
// runtime archive is checked once, at disk speed.
#include <cstddef>
#include <cstdint>

namespace plimo {

// CRC-32 (the gzip trailer's) of n bytes continued from crc; 0 starts it.
std::uint32_t crc32Update(std::uint32_t crc, const unsigned char* data, std::size_t n);

// Adler-32 (the zlib trailer's) of n bytes continued from adler; 1 starts it.
std::uint32_t adler32Update(std::uint32_t adler, const unsigned char* data, std::size_t n);

}  // namespace plimo
