#include "base/WinExeFile.h"

#include "block/Limits.h"

namespace plimo {

UniqueHandle openExeFile() {
  // Wide: the installer's folder may hold characters no ANSI code page has.
  wchar_t path[PATH_BUFFER_SIZE];
  DWORD n = GetModuleFileNameW(nullptr, path, PATH_BUFFER_SIZE);
  if (n == 0 || n >= PATH_BUFFER_SIZE) return UniqueHandle(INVALID_HANDLE_VALUE);
  return UniqueHandle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

WinFileByteSource::WinFileByteSource(HANDLE file) : file_(file) {
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size)) size_ = static_cast<std::uint64_t>(size.QuadPart);
}

bool WinFileByteSource::seek(std::uint64_t position) {
  if (position > size_) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN)) return false;
  position_ = position;
  return true;
}

std::size_t WinFileByteSource::read(void* destination, std::size_t n, bool* failed) {
  if (failed) *failed = false;
  std::size_t total = 0;
  auto* out = static_cast<char*>(destination);
  while (total < n) {
    DWORD want = static_cast<DWORD>(n - total > 0x10000000 ? 0x10000000 : n - total);
    DWORD got = 0;
    if (!ReadFile(file_, out + total, want, &got, nullptr)) {
      if (failed) *failed = true;
      break;
    }
    if (got == 0) break;  // end of file
    total += got;
  }
  position_ += total;
  return total;
}

}  // namespace plimo
