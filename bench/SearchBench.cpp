// How much the per-user version cache saves: the same configured search run
// cold (cache entry removed, so the runtime's java.exe is started) and warm
// (entry present, one file-time look-up and one registry read), in one run.
// Reports warm time divided by cold time. Run by hand under Wine:
//   build/x86/wine-run.sh build/x86/bin/search_bench.exe [rounds]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "block/ConfigStore.h"
#include "jvmsearch/WinSearchPlatform.h"

namespace {

std::string ownDirectory() {
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

bool writeBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

double seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER frequency) {
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (rounds < 1) rounds = 1;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string home = std::string(temp) + "plimo-search-bench-" + std::to_string(GetCurrentProcessId());
  std::string bin = home + "\\bin";
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA(bin.c_str(), nullptr);
  std::string javaExe = bin + "\\java.exe";
  if (!CopyFileA((ownDirectory() + "java-double.exe").c_str(), javaExe.c_str(), FALSE) ||
      !writeBytes(javaExe + ".stderr", "openjdk version \"17.0.15\" 2025-04-15\r\nOpenJDK Runtime Environment\r\n")) {
    std::fprintf(stderr, "cannot build the runtime home in %s\n", home.c_str());
    return 1;
  }
  plimo::configStore().narrow[plimo::cfg::SEARCH_SEQUENCE] = "A" + home;
  plimo::configStore().narrow[plimo::cfg::MIN_VERSION] = "1.8";
  plimo::configStore().narrow[plimo::cfg::BASE_DIRECTORY] = home;
  const char* cache = "SOFTWARE\\kaldor-codework\\plimo\\jvms";

  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double cold = 0, warm = 0;
  int failures = 0;
  for (int round = 0; round < rounds; ++round) {
    std::string candidate, source;
    RegDeleteTreeA(HKEY_CURRENT_USER, cache);
    QueryPerformanceCounter(&start);
    if (plimo::runSearchSequence(plimo::windowsSearchPlatform(), candidate, source) != plimo::JvmSourceKind::FromDefinedPath) ++failures;
    QueryPerformanceCounter(&end);
    cold += seconds(start, end, frequency);

    QueryPerformanceCounter(&start);
    if (plimo::runSearchSequence(plimo::windowsSearchPlatform(), candidate, source) != plimo::JvmSourceKind::FromDefinedPath) ++failures;
    QueryPerformanceCounter(&end);
    warm += seconds(start, end, frequency);
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, cache);
  DeleteFileA((javaExe + ".stderr").c_str());
  DeleteFileA((javaExe + ".starts").c_str());
  DeleteFileA(javaExe.c_str());
  RemoveDirectoryA(bin.c_str());
  RemoveDirectoryA(home.c_str());
  if (failures != 0) {
    std::fprintf(stderr, "%d searches found nothing\n", failures);
    return 1;
  }
  std::printf("search over %d rounds: cold (probe) %.3f ms, warm (cache hit) %.3f ms per search\n", rounds,
              1000 * cold / rounds, 1000 * warm / rounds);
  std::printf("warm/cold ratio: %.4f (the cache makes a search %.0f times faster)\n", warm / cold, cold / warm);
  return 0;
}
