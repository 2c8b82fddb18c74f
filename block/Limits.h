#pragma once
#include <cstddef>
#include <cstdint>

namespace plimo {

// The system's fixed limits. Values, paths, option texts and messages live in
// 8192-byte buffers: at most 8191 characters and the terminator.
constexpr std::size_t MAX_VALUE_LENGTH = 8191;
constexpr std::size_t VALUE_BUFFER_SIZE = MAX_VALUE_LENGTH + 1;
constexpr std::size_t PATH_BUFFER_SIZE = 8192;

// Copy chunk sizes: internal, nothing stored or shared depends on them (the
// bytes written are the same for any size). The payload's is large because
// every read and write call costs, most of all under Wine; it is allocated
// once per file, so memory stays the same whatever the payload's size.
constexpr std::size_t PAYLOAD_CHUNK_SIZE = 1048576;
constexpr std::size_t ARCHIVE_CHUNK_SIZE = 32768;
constexpr std::size_t DOWNLOAD_CHUNK_SIZE = 16384;

}  // namespace plimo
