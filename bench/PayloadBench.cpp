// Payload extraction speed and memory, measured on the real stub under the
// same Windows (or Wine) as its baseline, a plain CopyFileA of the same number
// of bytes, in the same run.
//
// What a user waits for: the time from starting an installer until its
// runtime choice dialog shows (manual mode: it always comes right after
// extraction). The extraction speed is the extra payload of the large
// installer over the small one divided by the extra time it takes, so that
// start-up, the directory and the dialogs cancel out while both runs take the
// same code paths; the baseline is CopyFileA's speed on the large payload's
// bytes, measured in the same rounds (alternately before and after the
// installers, so that neither side always finds a warmer cache). Peak memory
// is the launcher process's peak working set when that dialog shows.
//
// Usage: payload_bench [large MB = 200] [small MB = 10] [rounds = 5]
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

// Writes the installer (one record of bytes MB) and a plain file of the same
// bytes for the baseline copy.
bool prepare(const std::string& installer, const std::string& plain, std::uint64_t bytes) {
  BlockWriter block;
  block.addNarrow(2002, bytes > 0 ? "1" : "0");
  block.addNarrow(2003, "payload.bin;");
  if (!writeInstaller(installer, block)) return false;
  std::FILE* out = std::fopen(installer.c_str(), "ab");
  std::FILE* raw = std::fopen(plain.c_str(), "wb");
  if (out == nullptr || raw == nullptr) return false;
  std::string header;
  appendInt32(header, static_cast<std::int32_t>(bytes));
  bool ok = bytes == 0 || std::fwrite(header.data(), 1, 4, out) == 4;
  std::vector<unsigned char> piece(1 << 20);
  for (std::uint64_t done = 0; ok && done < bytes; done += piece.size()) {
    piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(1 << 20, bytes - done)));
    fill(piece, done);
    ok = std::fwrite(piece.data(), 1, piece.size(), raw) == piece.size();
    applyPayloadKey(piece.data(), piece.size());
    ok = ok && std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
  }
  ok = std::fclose(out) == 0 && ok;
  return std::fclose(raw) == 0 && ok;
}

struct Run {
  double seconds = -1;
  SIZE_T peakWorkingSet = 0;
  SIZE_T peakPrivate = 0;
};

// Starts the installer and measures the time until the runtime choice dialog
// shows; then cancels it (the exit handler removes the directory).
Run runInstaller(const std::string& installer, const std::string& temp) {
  Run run;
  double start = now();
  Started started = startProcess("\"" + installer + "\" /manual", {"TEMP=" + temp, "TMP=" + temp});
  if (started.process == nullptr) return run;
  // The runtime choice dialog: the window with the Locate button.
  HWND choice = nullptr;
  while (choice == nullptr && now() - start < 600) {
    choice = findProcessWindow(started.processId, {nullptr, 1005});
    if (choice == nullptr) Sleep(1);
  }
  if (choice != nullptr) {
    run.seconds = now() - start;
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(started.process, &counters, sizeof counters)) {
      run.peakWorkingSet = counters.PeakWorkingSetSize;
      run.peakPrivate = counters.PeakPagefileUsage;
    }
    PostMessageA(choice, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
  finishProcess(started, 600000);
  return run;
}

double copySeconds(const std::string& plain, const std::string& target) {
  double start = now();
  BOOL ok = CopyFileA(plain.c_str(), target.c_str(), FALSE);
  double seconds = now() - start;
  DeleteFileA(target.c_str());
  return ok ? seconds : -1;
}

// The same bytes through ReadFile/WriteFile with a buffer of the given size:
// shows how much of the difference to CopyFileA is the chunk size alone.
double loopSeconds(const std::string& plain, const std::string& target, std::size_t chunk) {
  double start = now();
  HANDLE in = CreateFileA(plain.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE out = CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  std::vector<char> buffer(chunk);
  bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE;
  DWORD got = 0;
  while (ok && ReadFile(in, buffer.data(), static_cast<DWORD>(chunk), &got, nullptr) && got > 0) {
    DWORD written = 0;
    ok = WriteFile(out, buffer.data(), got, &written, nullptr) && written == got;
  }
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  double seconds = now() - start;
  DeleteFileA(target.c_str());
  return ok ? seconds : -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t largeMb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
  std::uint64_t smallMb = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  if (rounds < 1) rounds = 1;
  ScratchDir dir;
  std::string temp = dir.file("temp");
  CreateDirectoryA(temp.c_str(), nullptr);
  struct Size {
    std::uint64_t mb;
    std::string installer;
    std::string plain;
  } sizes[] = {{0, dir.file("empty.exe"), dir.file("empty.bin")},
               {smallMb, dir.file("small.exe"), dir.file("small.bin")},
               {largeMb, dir.file("large.exe"), dir.file("large.bin")}};
  for (const Size& s : sizes) {
    if (!prepare(s.installer, s.plain, s.mb << 20)) {
      std::fprintf(stderr, "cannot write %s\n", s.installer.c_str());
      return 2;
    }
  }

  std::vector<double> startUp, small, large, copy, loop;
  SIZE_T smallPeak = 0, largePeak = 0, smallPrivate = 0, largePrivate = 0;
  for (int round = 0; round < rounds; ++round) {
    bool copyFirst = round % 2 == 1;
    double c = copyFirst ? copySeconds(sizes[2].plain, dir.file("copy.bin")) : 0;
    Run e = runInstaller(sizes[0].installer, temp);
    Run s = runInstaller(sizes[1].installer, temp);
    Run l = runInstaller(sizes[2].installer, temp);
    if (!copyFirst) c = copySeconds(sizes[2].plain, dir.file("copy.bin"));
    double k = loopSeconds(sizes[2].plain, dir.file("loop.bin"), 8192);
    if (e.seconds < 0 || s.seconds < 0 || l.seconds < 0 || c < 0 || k < 0) {
      std::fprintf(stderr, "round %d failed\n", round + 1);
      return 1;
    }
    startUp.push_back(e.seconds);
    small.push_back(s.seconds);
    large.push_back(l.seconds);
    copy.push_back(c);
    loop.push_back(k);
    smallPeak = std::max(smallPeak, s.peakWorkingSet);
    largePeak = std::max(largePeak, l.peakWorkingSet);
    smallPrivate = std::max(smallPrivate, s.peakPrivate);
    largePrivate = std::max(largePrivate, l.peakPrivate);
    std::printf("round %d: start-up %.3f s, %llu MB to dialog %.3f s, CopyFileA %.3f s, 8 KB loop %.3f s\n",
                round + 1, e.seconds, static_cast<unsigned long long>(largeMb), l.seconds, c, k);
  }
  double extraMb = static_cast<double>(largeMb - smallMb);
  double extraction = median(large) - median(small);
  double extractionSpeed = extraMb / extraction;                             // MB/s
  double copySpeed = static_cast<double>(largeMb) / median(copy);           // MB/s
  double loopSpeed = static_cast<double>(largeMb) / median(loop);           // MB/s
  std::printf("\nstart-up without payload: %.3f s\n", median(startUp));
  std::printf("payload extraction: %.0f MB more took %.3f s more (%.0f MB/s); CopyFileA of %llu MB: %.3f s (%.0f MB/s)\n",
              extraMb, extraction, extractionSpeed, static_cast<unsigned long long>(largeMb), median(copy), copySpeed);
  std::printf("extraction speed / CopyFileA speed: %.2f (aim: at least 0.80)\n", extractionSpeed / copySpeed);
  std::printf("extraction speed / ReadFile-WriteFile loop in 8 KB chunks: %.2f\n", extractionSpeed / loopSpeed);
  std::printf("peak working set  %3llu MB payload: %.1f MB, %3llu MB payload: %.1f MB, ratio %.2f\n",
              static_cast<unsigned long long>(smallMb), smallPeak / 1048576.0,
              static_cast<unsigned long long>(largeMb), largePeak / 1048576.0,
              static_cast<double>(largePeak) / static_cast<double>(smallPeak ? smallPeak : 1));
  std::printf("peak private bytes %3llu MB payload: %.1f MB, %3llu MB payload: %.1f MB, ratio %.2f\n",
              static_cast<unsigned long long>(smallMb), smallPrivate / 1048576.0,
              static_cast<unsigned long long>(largeMb), largePrivate / 1048576.0,
              static_cast<double>(largePrivate) / static_cast<double>(smallPrivate ? smallPrivate : 1));
  return 0;
}
