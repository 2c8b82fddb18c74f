#include "tools/plimo-pack/HostFiles.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace plimo::pack {

std::FILE* openFile(const fs::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

fs::path toolDirectory() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

bool storedAsExecutable(const fs::path&, const fs::file_status& status) {
  return (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
}

bool makeTemporaryDirectory(const char* stem, fs::path& created) {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / (std::string(stem) + "-XXXXXX")).string();
  if (ec || !mkdtemp(&pattern[0])) return false;
  created = pattern;
  return true;
}

TemporaryFile::TemporaryFile(const fs::path& besides) {
  fs::path dir = besides.parent_path();
  if (dir.empty()) dir = ".";
  std::string pattern = (dir / ("." + besides.filename().string() + ".XXXXXX")).string();
  int fd = mkstemp(&pattern[0]);
  if (fd < 0) return;
  path_ = pattern;
  file_ = fdopen(fd, "wb");
  if (!file_) ::close(fd);
}

TemporaryFile::~TemporaryFile() {
  if (file_) std::fclose(file_);
  if (!path_.empty()) ::unlink(path_.c_str());
}

bool TemporaryFile::close() {
  if (!file_) return false;
  bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  return ok;
}

bool TemporaryFile::commit(const fs::path& target) {
  if (file_ && !close()) return false;
  if (::chmod(path_.c_str(), 0755) != 0) return false;
  if (::rename(path_.c_str(), target.c_str()) != 0) return false;
  path_.clear();
  return true;
}

}  // namespace plimo::pack
