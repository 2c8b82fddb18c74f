// Payload extraction speed and memory, measured on the real stub under the
// same Windows (or Wine) as its two baselines, in the same run:
// - the bare loop: a program without dialog or threads doing the stub's
//   1 MiB ReadFile / key / WriteFile loop (bench/PayloadLoop.cpp), which
//   isolates what the stub adds to the loop itself;
// - CopyFileA of the installer, which shows what the system's own copy does.
//
// All three are timed the same way, from process start to process end (no
// window polling: looking for a window every millisecond loads the Wine server
// and both cores, and the measure then times the looking). The installer finds
// its runtime (the jvm.dll double, which ends the process in main), so its run
// is start-up, extraction, launch and the removal of the directory; the bare
// programs likewise create a directory, write the file and remove both. The
// extraction speed is the extra payload of the large installer over the small
// one divided by the extra time it takes, so that everything but the copy
// cancels out; the same for each baseline.
//
// Each round writes fresh installers (no side finds another round's file
// blocks or a cache the other side warmed) and flushes them before timing, so
// that their write-back does not land in a timed run; nobody flushes what a
// timed run writes. The order of the three sides rotates from round to round
// and small and large alternate. The report gives minimum, median and maximum
// of the per-round ratios. Peak memory comes from one more pair of runs in
// manual mode, stopped at the runtime choice dialog.
//
// Usage: payload_bench [large MB = 200] [small MB = 10] [rounds = 7]
//        payload_bench profile [MB = 200]
// The second form runs the installer of MB once after a warming run, for a
// profiler or a system-call trace around it (bench/profile-payload.sh).
#include <windows.h>
#include <psapi.h>

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

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Pseudo-random bytes (incompressible, no shortcut for any layer below).
void fill(std::vector<unsigned char>& piece, std::uint64_t offset) {
  std::uint64_t x = offset * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i < piece.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    piece[i] = static_cast<unsigned char>(x >> 24);
  }
}

bool flushFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = FlushFileBuffers(file);
  CloseHandle(file);
  return ok != FALSE;
}

// Writes an installer with one payload record of the given size, then flushes it.
bool prepare(const std::string& installer, const BlockWriter& block, std::uint64_t bytes) {
  if (!writeInstaller(installer, block)) return false;
  std::FILE* out = std::fopen(installer.c_str(), "ab");
  if (out == nullptr) return false;
  std::string header;
  appendInt32(header, static_cast<std::int32_t>(bytes));
  bool ok = std::fwrite(header.data(), 1, 4, out) == 4;
  std::vector<unsigned char> piece(1 << 20);
  for (std::uint64_t done = 0; ok && done < bytes; done += piece.size()) {
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, bytes - done)));
    fill(piece, done);
    applyPayloadKey(piece.data(), piece.size());
    ok = std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
  }
  ok = std::fclose(out) == 0 && ok;
  return ok && flushFile(installer);
}

// Seconds from process start to process end; negative when it failed.
double timedRun(const std::string& commandLine, const std::vector<std::string>& environment) {
  double start = now();
  Started started = startProcess(commandLine, environment);
  if (started.process == nullptr) return -1;
  bool ended = WaitForSingleObject(started.process, 600000) == WAIT_OBJECT_0;
  double seconds = now() - start;
  RunResult result = finishProcess(started, 1000);
  if (!ended || result.exitCode != 0) {
    std::fprintf(stderr, "%s ended with %lu: %s\n", commandLine.c_str(), result.exitCode, result.stdErr.c_str());
    return -1;
  }
  return seconds;
}

SIZE_T peakWorkingSet(const std::string& installer, const std::vector<std::string>& environment) {
  Started started = startProcess("\"" + installer + "\" /manual", environment);
  if (started.process == nullptr) return 0;
  SIZE_T peak = 0;
  HWND choice = nullptr;
  // Untimed: a relaxed poll for the runtime choice dialog (the Locate button).
  for (int i = 0; i < 30000 && choice == nullptr; ++i) {
    choice = findProcessWindow(started.processId, {nullptr, 1005});
    if (choice == nullptr) Sleep(20);
  }
  if (choice != nullptr) {
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(started.process, &counters, sizeof counters)) peak = counters.PeakWorkingSetSize;
    PostMessageA(choice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  finishProcess(started, 600000);
  return peak;
}

struct Spread {
  double min, median, max;
};

Spread spread(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values.front(), values[values.size() / 2], values.back()};
}

void printSpread(const char* what, const std::vector<double>& values, const char* aim) {
  Spread s = spread(values);
  std::printf("%s: min %.2f, median %.2f, max %.2f%s\n", what, s.min, s.median, s.max, aim);
}

}  // namespace

int main(int argc, char** argv) {
  bool profile = argc > 1 && std::string(argv[1]) == "profile";
  if (profile) {
    --argc;
    ++argv;
  }
  std::uint64_t largeMb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  std::uint64_t smallMb = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
  if (profile) smallMb = 0;
  if (rounds < 1) rounds = 1;
  if (largeMb <= smallMb) return 2;
  ScratchDir dir;
  std::string temp = dir.file("temp");
  CreateDirectoryA(temp.c_str(), nullptr);

  // A runtime the installer finds at once; its jvm.dll ends the process in main.
  std::string home = dir.file("runtime");
  if (!plantRuntimeDoubles(home, "17.0.99")) {
    std::fprintf(stderr, "the runtime doubles (java-double.exe, jvm.dll) are not built\n");
    return 2;
  }
  BlockWriter block = consoleBlock();
  block.addNarrow(122, "Bench");
  block.addNarrow(128, "A" + home + ";");
  block.addNarrow(2002, "1");
  block.addNarrow(2003, "payload.bin;");
  std::vector<std::string> environment = {"PLIMO_JVMDOUBLE_EXIT=0", "TEMP=" + temp, "TMP=" + temp};
  std::string loopProgram = "\"" + binDir() + "payload_loop.exe\"";

  const std::uint64_t megabytes[2] = {smallMb, largeMb};
  std::string installers[2];
  if (profile) {
    installers[1] = dir.file("profiled.exe");
    if (!prepare(installers[1], block, largeMb << 20)) return 2;
    double warm = timedRun("\"" + installers[1] + "\"", environment);
    std::fprintf(stderr, "profiled run starts\n");
    double seconds = timedRun("\"" + installers[1] + "\"", environment);
    std::printf("%llu MB installer: warming run %.3f s, profiled run %.3f s\n",
                static_cast<unsigned long long>(largeMb), warm, seconds);
    return seconds < 0 ? 1 : 0;
  }
  int runs = 0;
  // One side's run of one size: 0 the installer, 1 the bare loop, 2 CopyFileA.
  auto run = [&](int side, int size) {
    const std::string& installer = installers[size];
    if (side == 0) return timedRun("\"" + installer + "\"", environment);
    std::string target = temp + "\\base" + std::to_string(++runs);
    return timedRun(loopProgram + (side == 1 ? " loop \"" : " copy \"") + installer + "\" " +
                        std::to_string(megabytes[size] << 20) + " \"" + target + "\"",
                    environment);
  };

  const char* names[3] = {"installer", "bare loop", "CopyFileA"};
  std::vector<double> speed[3], smallSeconds[3];
  std::vector<double> oursToLoop, oursToCopy, loopToCopy;
  double extraMb = static_cast<double>(largeMb - smallMb);
  // Round 0 warms the runtime's version cache and the programs' images; not counted.
  for (int round = 0; round <= rounds; ++round) {
    for (int size = 0; size < 2; ++size) {
      installers[size] = dir.file("setup" + std::to_string(round) + (size ? "-large.exe" : "-small.exe"));
      if (!prepare(installers[size], block, megabytes[size] << 20)) {
        std::fprintf(stderr, "cannot write %s\n", installers[size].c_str());
        return 2;
      }
    }
    double seconds[3][2];
    for (int k = 0; k < 3; ++k) {
      int side = (round + k) % 3;
      for (int j = 0; j < 2; ++j) {
        int size = (round + j) % 2;
        seconds[side][size] = run(side, size);
        if (seconds[side][size] < 0) {
          std::fprintf(stderr, "round %d: the %s failed\n", round, names[side]);
          return 1;
        }
      }
    }
    if (round > 0) {
      double extra[3];
      for (int side = 0; side < 3; ++side) {
        extra[side] = seconds[side][1] - seconds[side][0];
        speed[side].push_back(extraMb / extra[side]);
        smallSeconds[side].push_back(seconds[side][0]);
      }
      oursToLoop.push_back(extra[1] / extra[0]);
      oursToCopy.push_back(extra[2] / extra[0]);
      loopToCopy.push_back(extra[2] / extra[1]);
      std::printf("round %d: %llu MB minus %llu MB: installer %.3f s, bare loop %.3f s, CopyFileA %.3f s\n", round,
                  static_cast<unsigned long long>(largeMb), static_cast<unsigned long long>(smallMb), extra[0],
                  extra[1], extra[2]);
    }
    if (round < rounds) {
      DeleteFileA(installers[0].c_str());
      DeleteFileA(installers[1].c_str());
    }
  }

  std::printf("\n%d rounds, %.0f MB more payload each\n", rounds, extraMb);
  for (int side = 0; side < 3; ++side) {
    Spread s = spread(speed[side]);
    Spread t = spread(smallSeconds[side]);
    std::printf("%-9s speed MB/s: min %.0f, median %.0f, max %.0f; %llu MB run %.3f s (median)\n", names[side], s.min,
                s.median, s.max, static_cast<unsigned long long>(smallMb), t.median);
  }
  printSpread("extraction speed / bare loop speed", oursToLoop, " (aim: median at least 0.90)");
  printSpread("extraction speed / CopyFileA speed", oursToCopy, " (aim: median at least 0.80)");
  printSpread("bare loop speed / CopyFileA speed", loopToCopy, "");

  SIZE_T smallPeak = peakWorkingSet(installers[0], environment);
  SIZE_T largePeak = peakWorkingSet(installers[1], environment);
  std::printf("peak working set  %3llu MB payload: %.1f MB, %3llu MB payload: %.1f MB, ratio %.2f\n",
              static_cast<unsigned long long>(smallMb), smallPeak / 1048576.0,
              static_cast<unsigned long long>(largeMb), largePeak / 1048576.0,
              static_cast<double>(largePeak) / static_cast<double>(smallPeak ? smallPeak : 1));
  return 0;
}
