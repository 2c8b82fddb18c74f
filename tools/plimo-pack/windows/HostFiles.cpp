#include "tools/plimo-pack/HostFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <string>
#include <windows.h>

namespace fs = std::filesystem;

namespace plimo::pack {

std::FILE* openFile(const fs::path& path, const char* mode) {
  std::string plain;
  bool exclusive = false;
  for (const char* c = mode; *c; ++c) {
    if (*c == 'x') exclusive = true;
    else plain += *c;
  }
  std::wstring wideMode(plain.begin(), plain.end());
  if (!exclusive) return _wfopen(path.c_str(), wideMode.c_str());
  // msvcrt's fopen knows no "x": create the file exclusively, then open a stream on it.
  int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _wfdopen(fd, wideMode.c_str());
  if (!file) _close(fd);
  return file;
}

fs::path toolDirectory() {
  // Long enough for any path the wide API hands out.
  std::wstring self(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
  if (length == 0 || length >= self.size()) return fs::path();
  self.resize(length);
  return fs::path(self).parent_path();
}

bool storedAsExecutable(const fs::path& file, const fs::file_status&) {
  std::wstring extension = file.extension().wstring();
  for (wchar_t& c : extension) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return extension == L".exe" || extension == L".dll";
}

namespace {

// Windows has no mkstemp or mkdtemp over wide names: names are tried until
// one is new, as they do.
std::wstring randomName(const std::wstring& stem) {
  static const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static unsigned long long seed =
      GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 20);
  std::wstring name = stem;
  for (int i = 0; i < 6; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    name += letters[(seed >> 33) % 62];
  }
  return name;
}

}  // namespace

bool makeTemporaryDirectory(const char* stem, fs::path& created) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) return false;
  std::wstring prefix(stem, stem + std::char_traits<char>::length(stem));
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / randomName(prefix + L"-");
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      created = candidate;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  errno = EEXIST;
  return false;
}

TemporaryFile::TemporaryFile(const fs::path& besides) {
  fs::path dir = besides.parent_path();
  if (dir.empty()) dir = ".";
  std::wstring stem = L"." + besides.filename().wstring() + L".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = dir / randomName(stem);
    int fd = _wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return;
    }
    path_ = candidate;
    file_ = _fdopen(fd, "wb");
    if (!file_) _close(fd);
    return;
  }
}

TemporaryFile::~TemporaryFile() {
  if (file_) std::fclose(file_);
  if (!path_.empty()) DeleteFileW(path_.c_str());
}

bool TemporaryFile::close() {
  if (!file_) return false;
  bool ok = std::fflush(file_) == 0 && _commit(_fileno(file_)) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

bool TemporaryFile::commit(const fs::path& target) {
  if (file_ && !close()) return false;
  // Windows marks no file executable; rename() there fails over an existing file.
  if (!MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return false;
  path_.clear();
  return true;
}

}  // namespace plimo::pack
