#pragma once
// Builders and targets for the archive tests: tar headers made in code, a
// target that keeps everything in memory (and, like a file system, refuses a
// file whose parent directory does not exist), and a scratch directory target
// that writes real files without any checks of its own.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "provision/TarReader.h"

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

namespace plimo::test {

struct TarHeaderFields {
  std::string name;
  std::uint64_t size = 0;
  char type = '0';
  std::string magic = std::string("ustar\0" "00", 8);  // POSIX; GNU is "ustar  \0"
  std::string prefix;
  std::string sizeField;  // overrides the octal size text when not empty
};

inline std::string tarHeader(const TarHeaderFields& header) {
  std::string h(512, '\0');
  std::memcpy(&h[0], header.name.data(), header.name.size() < 100 ? header.name.size() : 100);
  std::memcpy(&h[100], "0000644", 7);
  std::memcpy(&h[108], "0000000", 7);
  std::memcpy(&h[116], "0000000", 7);
  std::string size = header.sizeField;
  if (size.empty()) {
    char text[16];
    std::snprintf(text, sizeof text, "%011llo", static_cast<unsigned long long>(header.size));
    size = text;
  }
  std::memcpy(&h[124], size.data(), size.size() < 12 ? size.size() : 12);
  std::memcpy(&h[136], "00000000000", 11);
  h[156] = header.type;
  std::memcpy(&h[257], header.magic.data(), header.magic.size() < 8 ? header.magic.size() : 8);
  std::memcpy(&h[345], header.prefix.data(), header.prefix.size() < 155 ? header.prefix.size() : 155);
  std::memset(&h[148], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  char checksum[8];
  std::snprintf(checksum, sizeof checksum, "%06o", sum);
  std::memcpy(&h[148], checksum, 7);
  return h;
}

inline std::string padded(const std::string& data) {
  std::string out = data;
  out.append((512 - data.size() % 512) % 512, '\0');
  return out;
}

inline std::string tarEntry(const TarHeaderFields& header, const std::string& data) {
  TarHeaderFields s = header;
  if (s.sizeField.empty()) s.size = data.size();
  return tarHeader(s) + padded(data);
}
inline std::string tarFile(const std::string& name, const std::string& data) {
  return tarEntry({name, 0, '0'}, data);
}
inline std::string tarDir(const std::string& name) { return tarHeader({name, 0, '5'}); }
inline std::string tarEnd() { return std::string(1024, '\0'); }
inline std::string paxRecord(const std::string& key, const std::string& value) {
  std::string body = " " + key + "=" + value + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

// One line of manifest.tsv, which make_runtime_archives.py writes beside the
// archives it generates: a kind letter and three fields, tab-separated.
struct ManifestLine {
  char kind;  // '?' for an empty line
  std::string first;
  std::string second;
  std::string path;
};

// Every line of the manifest at path; none when it cannot be read.
inline std::vector<ManifestLine> readManifest(const std::string& path) {
  std::vector<ManifestLine> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    ManifestLine m;
    std::string kind;
    std::getline(fields, kind, '\t');
    std::getline(fields, m.first, '\t');
    std::getline(fields, m.second, '\t');
    std::getline(fields, m.path);
    m.kind = kind.empty() ? '?' : kind[0];
    lines.push_back(m);
  }
  return lines;
}

// A stream over memory that hands out at most `step` bytes per read and can
// fail at a given offset.
class MemoryTarSource final : public TarSource {
 public:
  explicit MemoryTarSource(std::string bytes, std::size_t step = 1u << 20, std::size_t failAt = SIZE_MAX)
      : bytes_(std::move(bytes)), step_(step), failAt_(failAt) {}
  long read(void* destination, std::size_t n) override {
    if (position_ >= failAt_) return -1;
    std::size_t left = bytes_.size() - position_;
    std::size_t take = n < left ? n : left;
    if (take > step_) take = step_;
    if (failAt_ != SIZE_MAX && position_ + take > failAt_) take = failAt_ - position_;
    std::memcpy(destination, bytes_.data() + position_, take);
    position_ += take;
    return static_cast<long>(take);
  }
  std::size_t position() const { return position_; }

 private:
  std::string bytes_;
  std::size_t step_;
  std::size_t failAt_;
  std::size_t position_ = 0;
};

class MemoryTarget final : public TarTarget {
 public:
  bool makeDirectory(const char* path) override {
    requested.push_back(path);
    if (!parentExists(path) || files.count(path)) return false;
    directories.insert(path);
    return true;
  }
  bool openFile(const char* path) override {
    requested.push_back(path);
    if (!parentExists(path) || directories.count(path)) return false;
    open_ = path;
    files[open_].clear();
    return true;
  }
  bool writeFile(const void* data, std::size_t n) override {
    if (failWritesAfter != SIZE_MAX && files[open_].size() + n > failWritesAfter) return false;
    files[open_].append(static_cast<const char*>(data), n);
    return true;
  }
  bool closeFile() override {
    open_.clear();
    return true;
  }
  std::map<std::string, std::string> files;
  std::set<std::string> directories;
  std::vector<std::string> requested;
  std::size_t failWritesAfter = SIZE_MAX;

 private:
  bool parentExists(const std::string& path) const {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos || directories.count(path.substr(0, slash)) > 0;
  }
  std::string open_;
};

class RecordingProgress final : public TarProgress {
 public:
  std::uint32_t ticks() override { return now += tickStep; }
  void setPosition(int position) override { positions.push_back(position); reportTimes.push_back(now); }
  std::uint32_t now = 0;
  std::uint32_t tickStep = 0;
  std::vector<int> positions;
  std::vector<std::uint32_t> reportTimes;
};

// Writes below root exactly where it is told, with no checks of its own, so
// that a name the reader let through would really land outside.
class DirectoryTarget final : public TarTarget {
 public:
  explicit DirectoryTarget(std::string root) : root_(std::move(root)) {}
  ~DirectoryTarget() override { closeFile(); }
  bool makeDirectory(const char* path) override {
    requested.push_back(path);
    std::string full = root_ + "/" + path;
#ifdef _WIN32
    return _mkdir(full.c_str()) == 0 || errno == EEXIST;
#else
    return ::mkdir(full.c_str(), 0755) == 0 || errno == EEXIST;
#endif
  }
  bool openFile(const char* path) override {
    requested.push_back(path);
    file_ = std::fopen((root_ + "/" + path).c_str(), "wb");
    return file_ != nullptr;
  }
  bool writeFile(const void* data, std::size_t n) override { return std::fwrite(data, 1, n, file_) == n; }
  bool closeFile() override {
    if (file_ == nullptr) return true;
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }
  std::vector<std::string> requested;

 private:
  std::string root_;
  std::FILE* file_ = nullptr;
};

// A fresh directory below the system's temporary directory, removed with
// everything in it.
class ScratchRoot {
 public:
  ScratchRoot() {
    static int counter = 0;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("plimo-tar-" + std::to_string(std::rand()) + "-" + std::to_string(++counter));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~ScratchRoot() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace plimo::test
