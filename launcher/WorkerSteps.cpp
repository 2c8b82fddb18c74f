#include "launcher/WorkerSteps.h"

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Trace.h"
#include "block/ConfigStore.h"
#include "resources/resource.h"

namespace plimo {

void prepareRuntime(WorkerPlatform& platform) {
  platform.stopIfEnding();
  platform.enterTempDir();
  bool hasArchive = platform.runtimeArchivePresent();
  trace("payload runtime archive: %s", hasArchive ? "present" : "absent");

  if (!hasArchive) {
    bool found = false;
    // Manual mode exists to let the user pick the runtime even when one
    // would be found.
    if (!manualMode) found = platform.searchRuntime();
    platform.stopIfEnding();
    // "No suitable Java" would send a user who has a 64-bit Java to install
    // the one they already have; say what is there and what is needed.
    if (!found && !manualMode) {
      AnsiText other = platform.otherProcessorRuntime();
      if (!other.empty() && !getConfigWString(wmsg::RUNTIME_WRONG_PROCESSOR).empty()) {
        platform.reportOtherProcessorRuntime(other);
        platform.stopIfEnding();
      }
    }
    if (!found) {
      PageText address = getConfigString(cfg::DOWNLOAD_URL);
      downloadOffered = !address.empty();
      std::intptr_t choice = platform.showRuntimeChoice();
      trace("runtime choice dialog ended with %d", static_cast<int>(choice));
      platform.stopIfEnding();
      if (choice == IDC_DOWNLOAD && downloadOffered) {
        platform.makeTempDir();
        platform.downloadRuntimeArchive(address);
        hasArchive = true;
      }
    }
  }

  // The runtime choice dialog's file picker may have moved the current
  // directory; the archive and the launch are relative to the extraction.
  platform.enterTempDir();
  // The unpacking fills the first 100 of 150; the watcher moves on from there.
  if (hasArchive) {
    progressMax = 150;
    progressPos = 100;
  } else {
    progressMax = 80;
    progressPos = 0;
  }
  platform.setProgressRange(progressMax);
  if (hasArchive) platform.unpackRuntimeArchive();
  platform.stopIfEnding();
}

bool watcherEnforcesWindowLimit(int applicationType) { return applicationType == 1 || applicationType == 5; }

bool watcherKeepsWaiting(bool windowShown, int polls, bool enforceLimit, bool mainCalled) {
  // A console program may never show a window: its output is where the user
  // looks, so the dialog goes as soon as its main method runs (its Cancel
  // would otherwise end the running program), and there is no time limit.
  return !windowShown && (polls < WATCHER_MAX_POLLS || !enforceLimit) && (enforceLimit || !mainCalled);
}

bool payloadBarMoves(int position, int shown, std::uint32_t sinceLastMoveMs) {
  return position != shown && (position >= 100 || sinceLastMoveMs >= PAYLOAD_BAR_INTERVAL_MS);
}

std::int32_t advancedProgress(std::int32_t position, std::int32_t maximum) {
  position += WATCHER_PROGRESS_STEP;
  if (position > maximum - 10) position = maximum - 10;
  return position;
}

void watchForWindow(WatcherPlatform& platform, int applicationType) {
  bool enforceLimit = watcherEnforcesWindowLimit(applicationType);
  int polls = 0;
  // The last look decides both the loop and what follows it.
  bool windowShown = false;
  while (watcherKeepsWaiting(windowShown = platform.applicationWindowShown(), polls, enforceLimit,
                             mainMethodCalled)) {
    ++polls;
    if (polls % WATCHER_POLLS_PER_STEP == 0) {
      progressPos = advancedProgress(progressPos, progressMax);
      platform.setProgressPosition(progressPos);
    }
    platform.waitPoll();
  }
  // The limit ends the process only when the window is still missing: one
  // that showed during the last poll is the program working.
  if (enforceLimit && polls >= WATCHER_MAX_POLLS && !windowShown) fatalWideMessage(wmsg::NO_WINDOW);
  trace("progress dialog hidden after %d polls (%s)", polls,
        windowShown ? "application window" : "console program's main method called");
  platform.hideDialog();
}

}  // namespace plimo
