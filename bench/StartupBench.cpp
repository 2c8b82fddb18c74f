// Start-up of an installer, from process start to the runtime's main, against
// a minimal host program that only loads the same jvm.dll and calls the same
// entry points (bench/StartupHost.cpp). Both run under the same Wine in the
// same run, in rotating order; the report is the ratio of the medians and the
// spread of the per-round ratios. A second baseline, the same host built as a
// windowed program (startup_gui_host), shows what Wine's window system costs
// any program with a dialog. The installer has an
// empty payload and finds the runtime through a configured directory whose
// version is already cached (one run beforehand warms the cache).
//   usage: startup_bench.exe [rounds]
//          startup_bench.exe profile [Wine debug channels]
// The second form runs the installer and the host once more after the warming
// run and prints a time line of their start-up: Wine's time-stamped library
// loads with the installer's trace lines between them.
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

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (rounds < 3) rounds = 3;
  ScratchDir dir;
  std::string home = dir.file("runtime");
  if (!plantRuntimeDoubles(home, "17.0.99")) {
    std::fprintf(stderr, "the runtime doubles (java-double.exe, jvm.dll) are not built\n");
    return 2;
  }

  BlockWriter block = consoleBlock();
  block.addNarrow(122, "Bench");
  block.addNarrow(128, "A" + home + ";");
  std::string installer = dir.file("setup.exe");
  if (!writeInstaller(installer, block)) return 3;

  // The double ends the process with exit code 0 as soon as main is called.
  std::vector<std::string> environment = {"PLIMO_JVMDOUBLE_EXIT=0", "TEMP=" + dir.path(), "TMP=" + dir.path()};
  DWORD exitCode = 0;
  runMilliseconds("\"" + installer + "\"", environment, exitCode);  // warms the version cache
  if (argc > 1 && std::string(argv[1]) == "profile") {
    // Wine's time-stamped library loads, with the installer's own trace
    // lines (no time of their own) between them on standard error.
    std::vector<std::string> traced = environment;
    traced.push_back("PLIMO_TRACE=1");
    traced.push_back(std::string("WINEDEBUG=") + (argc > 2 ? argv[2] : "+timestamp,+loaddll,+pid"));
    // Wine stamps its lines with the tick count: the same clock here.
    DWORD installerStart = GetTickCount();
    RunResult installerRun = runProcess("\"" + installer + "\"", 60000, traced);
    DWORD hostStart = GetTickCount();
    RunResult hostRun = runProcess("\"" + binDir() + "startup_host.exe\" \"" + home + "\\bin\\server\\jvm.dll\"",
                                   60000, traced);
    DWORD hostEnd = GetTickCount();
    std::fflush(stdout);
    std::fprintf(stderr, "--- installer from %lu.%03lu to %lu.%03lu\n%s--- minimal host from %lu.%03lu to %lu.%03lu\n%s",
                 installerStart / 1000, installerStart % 1000, hostStart / 1000, hostStart % 1000,
                 installerRun.stdErr.c_str(), hostStart / 1000, hostStart % 1000, hostEnd / 1000, hostEnd % 1000,
                 hostRun.stdErr.c_str());
    return 0;
  }
  std::string starts = readFile(home + "\\bin\\java.exe.starts");
  std::vector<double> times[3], ratios, windowedRatios;
  const std::string lines[3] = {
      "\"" + installer + "\"",
      "\"" + binDir() + "startup_host.exe\" \"" + home + "\\bin\\server\\jvm.dll\"",
      "\"" + binDir() + "startup_gui_host.exe\" \"" + home + "\\bin\\server\\jvm.dll\""};
  const char* names[3] = {"installer", "host", "windowed host"};
  for (int i = 0; i < rounds; ++i) {
    // The order rotates, so that no side always runs right after another.
    for (int k = 0; k < 3; ++k) {
      int side = (i + k) % 3;
      times[side].push_back(runMilliseconds(lines[side], environment, exitCode));
      if (exitCode != 0) {
        std::fprintf(stderr, "%s ended with %lu\n", names[side], exitCode);
        return 4 + side;
      }
    }
    ratios.push_back(times[0].back() / times[1].back());
    windowedRatios.push_back(times[0].back() / times[2].back());
  }
  bool probedAgain = readFile(home + "\\bin\\java.exe.starts") != starts;
  double a = median(times[0]), b = median(times[1]), c = median(times[2]);
  std::printf("startup (process start to main, warm cache): installer %.1f ms, minimal host %.1f ms, ratio %.2f%s\n",
              a, b, a / b, probedAgain ? " (WARNING: java.exe was started again)" : "");
  std::printf("windowed host (the same with the stub's manifest and one user32 call): %.1f ms\n", c);
  std::sort(ratios.begin(), ratios.end());
  std::sort(windowedRatios.begin(), windowedRatios.end());
  std::printf("start-up ratio per round: min %.2f, median %.2f, max %.2f\n", ratios.front(),
              ratios[ratios.size() / 2], ratios.back());
  std::printf("start-up ratio to the windowed host per round: min %.2f, median %.2f, max %.2f\n",
              windowedRatios.front(), windowedRatios[windowedRatios.size() / 2], windowedRatios.back());
  return 0;
}
