// Unpacks a runtime archive with the launcher's own code and prints the best
// wall time of several runs in milliseconds, for bench/TarUnpack.sh to set
// against tar -xzf. Built for Windows (extractTarGz, as the launcher runs it)
// and natively (the portable reader writing through stdio).
//   usage: tar_unpack_bench ARCHIVE SCRATCH_DIR [RUNS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "provision/TarReader.h"

#ifdef _WIN32
#include <windows.h>

#include "provision/WinJreArchive.h"
namespace {
bool unpack(const char* archive, const std::string& target) {
  CreateDirectoryA(target.c_str(), nullptr);
  char full[MAX_PATH];
  GetFullPathNameA(target.c_str(), MAX_PATH, full, nullptr);
  return plimo::extractTarGz(archive, full, nullptr, 0);
}
void removeTree(const std::string& path) {
  std::string command = "cmd /c rmdir /s /q \"" + path + "\"";
  std::system(command.c_str());
}
}  // namespace
#else
#include <sys/stat.h>

namespace {
class StdioTarget final : public plimo::TarTarget {
 public:
  explicit StdioTarget(std::string root) : root_(std::move(root)) {}
  bool makeDirectory(const char* path) override { return ::mkdir((root_ + "/" + path).c_str(), 0755) == 0; }
  bool openFile(const char* path) override {
    file_ = std::fopen((root_ + "/" + path).c_str(), "wb");
    return file_ != nullptr;
  }
  bool writeFile(const void* data, std::size_t n) override { return std::fwrite(data, 1, n, file_) == n; }
  bool closeFile() override {
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::string root_;
  std::FILE* file_ = nullptr;
};
bool unpack(const char* archive, const std::string& target) {
  ::mkdir(target.c_str(), 0755);
  StdioTarget out(target);
  return plimo::extractTarGzFile(archive, out, nullptr, 0) == plimo::TarStatus::Ok;
}
void removeTree(const std::string& path) {
  std::string command = "rm -rf '" + path + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", path.c_str());
}
}  // namespace
#endif

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ARCHIVE SCRATCH_DIR [RUNS]\n", argv[0]);
    return 2;
  }
  int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    std::string target = std::string(argv[2]) + "/run" + std::to_string(i);
    auto start = std::chrono::steady_clock::now();
    bool ok = unpack(argv[1], target);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    removeTree(target);
    if (!ok) {
      std::fprintf(stderr, "unpacking failed\n");
      return 1;
    }
    if (best < 0 || ms < best) best = ms;
  }
  std::printf("%.1f\n", best);
  return 0;
}
