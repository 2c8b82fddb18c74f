// Start-up of an installer, from process start to the runtime's main, against
// a minimal host program that only loads the same jvm.dll and calls the same
// entry points (bench/StartupHost.cpp). Both run under the same Wine in the
// same run; the report is the ratio of the medians. The installer has an
// empty payload and finds the runtime through a configured directory whose
// version is already cached (one run beforehand warms the cache).
//   usage: startup_bench.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

using namespace plimo;
using namespace plimo::test;

namespace {

double runMilliseconds(const std::string& commandLine, const std::vector<std::string>& environment, DWORD& exitCode) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  RunResult result = runProcess(commandLine, 60000, environment);
  QueryPerformanceCounter(&end);
  exitCode = result.exitCode;
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool copyTo(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (rounds < 3) rounds = 3;
  ScratchDir dir;
  std::string home = dir.file("runtime");
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA((home + "\\bin").c_str(), nullptr);
  CreateDirectoryA((home + "\\bin\\server").c_str(), nullptr);
  if (!copyTo(binDir() + "java-double.exe", home + "\\bin\\java.exe") ||
      !copyTo(binDir() + "jvm.dll", home + "\\bin\\server\\jvm.dll")) {
    std::fprintf(stderr, "the runtime doubles (java-double.exe, jvm.dll) are not built\n");
    return 2;
  }
  writeFile(home + "\\bin\\java.exe.stderr", "java version \"17.0.99\"\r\n");

  BlockWriter block = consoleBlock();
  block.addNarrow(122, "Bench");
  block.addNarrow(128, "A" + home + ";");
  std::string installer = dir.file("setup.exe");
  if (!writeInstaller(installer, block)) return 3;

  // The double ends the process with exit code 0 as soon as main is called.
  std::vector<std::string> environment = {"PLIMO_JVMDOUBLE_EXIT=0", "TEMP=" + dir.path(), "TMP=" + dir.path()};
  DWORD exitCode = 0;
  runMilliseconds("\"" + installer + "\"", environment, exitCode);  // warms the version cache
  std::string starts = readFile(home + "\\bin\\java.exe.starts");
  std::vector<double> ours, host;
  for (int i = 0; i < rounds; ++i) {
    ours.push_back(runMilliseconds("\"" + installer + "\"", environment, exitCode));
    if (exitCode != 0) {
      std::fprintf(stderr, "installer ended with %lu\n", exitCode);
      return 4;
    }
    host.push_back(runMilliseconds("\"" + binDir() + "startup_host.exe\" \"" + home + "\\bin\\server\\jvm.dll\"",
                                   environment, exitCode));
    if (exitCode != 0) {
      std::fprintf(stderr, "host ended with %lu\n", exitCode);
      return 5;
    }
  }
  bool probedAgain = readFile(home + "\\bin\\java.exe.starts") != starts;
  double a = median(ours), b = median(host);
  std::printf("startup (process start to main, warm cache): installer %.1f ms, minimal host %.1f ms, ratio %.2f%s\n",
              a, b, a / b, probedAgain ? " (WARNING: java.exe was started again)" : "");
  return 0;
}
