// The end of the process: who may still act while it ends, the one clean-up,
// and the ways out.
#include "base/Shutdown.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "base/Cleanup.h"
#include "base/LaunchState.h"
#include "base/Trace.h"
#include "block/Limits.h"
#include "jvmsearch/WinSearchPlatform.h"

namespace plimo {

namespace {

// Set once, by the first end; never cleared.
std::atomic<bool> ending{false};

// The worker while it is between its launch steps (0 otherwise), and
// whether it has parked for the end of the process.
std::atomic<DWORD> stepsThread{0};
std::atomic<bool> workerStopped{false};
constexpr DWORD WORKER_STOP_WAIT_MS = 20000;

// Whatever the worker writes while the clean-up deletes would stay behind
// unlisted; it parks at its next step or chunk, and the wait is bounded for
// a step that takes long.
void awaitWorkerStop() {
  DWORD worker = stepsThread;
  if (worker == 0 || worker == GetCurrentThreadId()) return;
  DWORD started = GetTickCount();
  while (!workerStopped && GetTickCount() - started < WORKER_STOP_WAIT_MS) Sleep(10);
  trace("exit: worker %s", workerStopped ? "stopped" : "still busy; removing what can be removed");
}

// 0: not started, 1: running, 2: done.
std::atomic<int> cleanupState{0};

}  // namespace

bool processIsEnding() { return ending; }

void parkIfEnding() {
  if (ending) parkThread();
}

void parkThread() {
  if (GetCurrentThreadId() == stepsThread) workerStopped = true;
  for (;;) Sleep(INFINITE);
}

void beginWorkerSteps() { stepsThread = GetCurrentThreadId(); }

void endWorkerSteps() { stepsThread = 0; }

void markProcessEnding() { ending = true; }

void endThroughExitHandlers(int code) {
  // exit, not ExitProcess: the exit handlers remove the temporary directory.
  markProcessEnding();
  std::exit(code);
}

void removeLaunchFiles() {
  int expected = 0;
  if (!cleanupState.compare_exchange_strong(expected, 1)) {
    // Two ends at once (the runtime's exit hook while the dialog closes): the
    // second must not end the process under the first one's deletions.
    DWORD started = GetTickCount();
    while (cleanupState != 2 && GetTickCount() - started < WORKER_STOP_WAIT_MS) Sleep(10);
    return;
  }
  // A probe still waiting for its java.exe (the dialog was closed during the
  // search) would leave that process running after the launcher.
  endRunningProbe();
  awaitWorkerStop();
  if (!tempDir.empty()) {
    // The worker made the directory current, and a process's current
    // directory cannot be removed: move to the system temporary directory.
    // Wide: the user's temporary folder may be named in any script.
    wchar_t other[PATH_BUFFER_SIZE];
    DWORD n = GetTempPathW(PATH_BUFFER_SIZE, other);
    if (n > 0 && n < PATH_BUFFER_SIZE) SetCurrentDirectoryW(other);
    trace("exit: removing %s", tempDir.c_str());
    deleteTree(tempDir);
  }
  cleanupState = 2;
}

void deleteTempDirAtExit() { removeLaunchFiles(); }

void claimProcessEnd() {
  if (ending.exchange(true)) parkThread();
  removeLaunchFiles();
}

void endClaimedProcess(unsigned code) { ExitProcess(code); }

void endProcessAfterCleanup(unsigned code) {
  claimProcessEnd();
  endClaimedProcess(code);
}

}  // namespace plimo
