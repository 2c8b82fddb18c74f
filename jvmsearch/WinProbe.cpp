// The version probe: runs a java.exe with -version and reads its version
// line, never waiting on it past a time limit and never leaving it running.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/Limits.h"
#include "jvmsearch/JavaVersion.h"
#include "jvmsearch/PathText.h"
#include "jvmsearch/WinSearchPlatform.h"

namespace plimo {

namespace {

// A runtime that has not printed its version line by then is taken as broken:
// the launcher must not hang on it.
unsigned probeLimitMs = 5000;
// How long an ended child is given to go away.
const DWORD CHILD_END_WAIT_MS = 5000;
// The child of a probe in progress, for endRunningProbe. Whoever takes it out
// first owns ending it; the probe then leaves the handle to the exit.
std::atomic<HANDLE> runningProbe{nullptr};

// Clears runningProbe when the probe returns; if the exit took the child
// meanwhile, the handle stays open for it.
class RunningProbe {
 public:
  explicit RunningProbe(UniqueHandle& process) : process_(process) { runningProbe = process.get(); }
  ~RunningProbe() {
    if (runningProbe.exchange(nullptr) == nullptr) process_.release();
  }

 private:
  UniqueHandle& process_;
};

// A probed child never outlives the probe: it is ended, and waited for so that
// its files and current directory are released when the probe returns.
void endChild(HANDLE process) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, CHILD_END_WAIT_MS);
}

// After the version line: lets the child end by itself within the probe's time
// limit, reading on so that it never blocks on a full pipe, and ends it when
// the limit passes.
void awaitChild(const AnsiText& path, HANDLE process, HANDLE readEnd, DWORD started) {
  char discard[4096];
  for (;;) {
    if (WaitForSingleObject(process, 2) == WAIT_OBJECT_0) return;
    DWORD available = 0;
    if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      ReadFile(readEnd, discard, std::min<DWORD>(available, sizeof discard), &got, nullptr);
    }
    if (GetTickCount() - started >= probeLimitMs) {
      trace("probe %s: still running after %u ms; ended the child", path.c_str(), probeLimitMs);
      endChild(process);
      return;
    }
  }
}

// A started probe: the child and the read end of the pipe its standard error
// goes to.
struct ProbeChild {
  UniqueHandle process;
  UniqueHandle thread;
  UniqueHandle readEnd;
};

// Starts `"<path>" -version` hidden, in its own folder, with its standard
// error on a pipe of which only the child holds the write end.
bool startProbeChild(const AnsiText& path, ProbeChild& child) {
  // Quoted: unquoted, "c:\program files\..." would first run "c:\program.exe".
  std::string commandLine = "\"" + path + "\" -version";
  if (commandLine.size() > MAX_VALUE_LENGTH) {
    trace("probe %s: command line too long", path.c_str());
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readInheritable = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&readInheritable, &write, &inherit, 0)) {
    trace("probe %s: no pipe (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  UniqueHandle writeEnd(write);
  UniqueHandle readInheritableEnd(readInheritable);
  HANDLE read = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), readInheritable, GetCurrentProcess(), &read, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    trace("probe %s: pipe not duplicated (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  child.readEnd.reset(read);
  readInheritableEnd.reset();

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdError = write;
  PROCESS_INFORMATION started{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  // A probe started after the exit handler ended the last one would outlive
  // the launcher.
  if (processIsEnding()) return false;
  // The child starts in its own folder: a runtime that outlives the probe must
  // not hold the launcher's temporary directory as its current directory.
  std::string folder = directoryPart(path, ansiCodePage());
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    trace("probe %s: not started (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  child.process.reset(started.hProcess);
  child.thread.reset(started.hThread);
  // Only the child may hold the write end, so that its end of output shows.
  writeEnd.reset();
  return true;
}

// Reads the child's output until it holds a version line, cannot hold one,
// or the time limit passes (reported as NoVersion). A child given up on is
// ended; after a version line it is awaited.
VersionScan readVersionLine(const AnsiText& path, const ProbeChild& child, DWORD started, std::string& version) {
  char buffer[VALUE_BUFFER_SIZE];
  std::size_t used = 0;
  for (;;) {
    DWORD available = 0;
    bool ended = !PeekNamedPipe(child.readEnd.get(), nullptr, 0, nullptr, &available, nullptr);
    if (!ended && available > 0) {
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(available, sizeof buffer - used));
      DWORD got = 0;
      if (!ReadFile(child.readEnd.get(), buffer + used, want, &got, nullptr) || got == 0) {
        ended = true;
      } else {
        used += got;
      }
    }
    bool full = used == sizeof buffer;
    VersionScan scan = scanVersionOutput(buffer, used, ended || full, version);
    if (scan == VersionScan::Found) {
      trace("probe %s: version \"%s\"", path.c_str(), version.c_str());
      // The version stands even if the child then has to be ended.
      awaitChild(path, child.process.get(), child.readEnd.get(), started);
      return scan;
    }
    if (scan == VersionScan::NoVersion) {
      trace("probe %s: no version line in %u bytes of output", path.c_str(), static_cast<unsigned>(used));
      endChild(child.process.get());
      return scan;
    }
    if (available == 0) {
      if (GetTickCount() - started >= probeLimitMs) {
        endChild(child.process.get());
        trace("probe %s: no version line within %u ms; ended the child", path.c_str(), probeLimitMs);
        return VersionScan::NoVersion;
      }
      Sleep(2);
    }
  }
}

}  // namespace

void endRunningProbe() {
  HANDLE process = runningProbe.exchange(nullptr);
  if (process == nullptr) return;
  trace("exit: ending the java.exe of a probe in progress");
  endChild(process);
}

void setProbeTimeLimit(unsigned milliseconds) { probeLimitMs = milliseconds; }

bool probeJavaVersion(const AnsiText& path, std::string& version) {
  ProbeChild child;
  if (!startProbeChild(path, child)) return false;
  RunningProbe running(child.process);
  return readVersionLine(path, child, GetTickCount(), version) == VersionScan::Found;
}

}  // namespace plimo
