#pragma once
#include <windows.h>

#include "base/WinHandles.h"
#include "block/ByteSource.h"

namespace plimo {

// Opens the running executable for reading (sharing read and write), each
// call a new handle. An invalid handle when it cannot be opened.
UniqueHandle openExeFile();

// A ByteSource over an open file handle (not owned).
class WinFileByteSource final : public ByteSource {
 public:
  explicit WinFileByteSource(HANDLE file);
  std::uint64_t size() const override { return size_; }
  bool seek(std::uint64_t position) override;
  std::uint64_t position() const override { return position_; }
  std::size_t read(void* destination, std::size_t n, bool* failed = nullptr) override;

 private:
  HANDLE file_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace plimo
