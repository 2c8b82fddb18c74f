#pragma once
#include <cstddef>
#include <cstdint>

namespace plimo {

// The system's fixed limits. Values, paths, option texts and messages live in
// 8192-byte buffers: at most 8191 characters and the terminator.
constexpr std::size_t MAX_VALUE_LENGTH = 8191;
constexpr std::size_t VALUE_BUFFER_SIZE = MAX_VALUE_LENGTH + 1;
constexpr std::size_t PATH_BUFFER_SIZE = 8192;

// Copy chunk sizes.
constexpr std::size_t PAYLOAD_CHUNK_SIZE = 8192;
constexpr std::size_t ARCHIVE_CHUNK_SIZE = 32768;
constexpr std::size_t DOWNLOAD_CHUNK_SIZE = 16384;

}  // namespace plimo
