#include "block/ByteSource.h"

#include <cstring>

namespace plimo {

bool MemoryByteSource::seek(std::uint64_t position) {
  if (position > bytes_.size()) return false;
  position_ = position;
  return true;
}

std::size_t MemoryByteSource::read(void* destination, std::size_t n, bool* failed) {
  if (failed) *failed = false;
  std::uint64_t remaining = bytes_.size() - position_;
  std::size_t count = n < remaining ? n : static_cast<std::size_t>(remaining);
  if (count) std::memcpy(destination, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

}  // namespace plimo
