#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "launcher/WorkerSteps.h"
#include "resources/resource.h"
#include "tests/support/FatalTrap.h"

namespace plimo {
namespace {

using Steps = std::vector<std::string>;

// Answers the runtime steps from its settings and records every call in order.
class RecordingWorker final : public WorkerPlatform {
 public:
  bool archive = false;
  bool found = false;
  std::intptr_t choice = 0;
  Steps steps;

  std::string other;  // a runtime the search passed over for its processor
  void stopIfEnding() override { steps.push_back("stop"); }
  void enterTempDir() override { steps.push_back("chdir"); }
  void makeTempDir() override { steps.push_back("tempdir"); }
  std::string otherProcessorRuntime() override { return other; }
  void reportOtherProcessorRuntime(const std::string& javaExe) override { steps.push_back("wrong cpu " + javaExe); }
  bool runtimeArchivePresent() override {
    steps.push_back("archive?");
    return archive;
  }
  bool searchRuntime() override {
    steps.push_back("search");
    return found;
  }
  // The dialog reads downloadOffered while it shows: recorded with the call.
  std::intptr_t showRuntimeChoice() override {
    steps.push_back(downloadOffered ? "choice, download offered" : "choice");
    return choice;
  }
  void downloadRuntimeArchive(const std::string& address) override { steps.push_back("download " + address); }
  void setProgressRange(int maximum) override { steps.push_back("range " + std::to_string(maximum)); }
  void unpackRuntimeArchive() override { steps.push_back("unpack"); }
};

struct RunawayWatcher {};

// Answers the watcher's looks from a schedule counted in waited polls.
class RecordingWatcher final : public WatcherPlatform {
 public:
  int windowAfter = -1;  // polls after which the program's window shows; -1: never
  int mainAfter = -1;    // polls after which the main method has been called; -1: never
  int waits = 0;
  std::vector<int> positions;
  bool hidden = false;

  bool applicationWindowShown() override { return windowAfter >= 0 && waits >= windowAfter; }
  void setProgressPosition(int position) override { positions.push_back(position); }
  void waitPoll() override {
    // A watcher that never stops fails the case instead of hanging the run.
    if (waits >= 10 * WATCHER_MAX_POLLS) throw RunawayWatcher();
    ++waits;
    if (mainAfter >= 0 && waits >= mainAfter) mainMethodCalled = true;
  }
  void hideDialog() override { hidden = true; }
};

class WorkerStepsTest : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  // Values a previous launch step could have left, so that a step that
  // forgets to set one shows.
  static void reset() {
    configStore() = ConfigStore();
    manualMode = false;
    downloadOffered = true;
    progressMax = 100;
    progressPos = 37;
    mainMethodCalled = false;
    test::clearShownMessages();
  }
};

const char ADDRESS[] = "https://example.org/jre.tar.gz";

// A search that passed over a runtime built for the other processor says so
// before the dialog; manual mode searched nothing, and an installer without
// the message keeps the dialog alone.
TEST_F(WorkerStepsTest, OtherProcessorRuntimeIsNamedBeforeTheDialog) {
  const char exe[] = "c:\\jdk64\\bin\\java.exe";
  struct Case {
    const char* name;
    bool manual;
    const char* message;  // wide entry 20017
    Steps steps;
  } cases[] = {
      {"named", false, "text",
       {"stop", "chdir", "archive?", "search", "stop", std::string("wrong cpu ") + exe, "stop", "choice", "stop",
        "chdir", "range 80", "stop"}},
      {"manual mode", true, "text",
       {"stop", "chdir", "archive?", "stop", "choice", "stop", "chdir", "range 80", "stop"}},
      {"installer without the message", false, "",
       {"stop", "chdir", "archive?", "search", "stop", "choice", "stop", "chdir", "range 80", "stop"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    manualMode = c.manual;
    std::string message = c.message;
    configStore().wide[wmsg::RUNTIME_WRONG_PROCESSOR] = std::u16string(message.begin(), message.end());
    RecordingWorker worker;
    worker.other = exe;
    worker.choice = IDC_LOCATE;
    prepareRuntime(worker);
    EXPECT_EQ(worker.steps, c.steps);
  }
}

TEST_F(WorkerStepsTest, RuntimeDecisionSteps) {
  struct Case {
    const char* name;
    bool archive;
    bool manual;
    bool found;
    const char* address;  // entry 150
    std::intptr_t choice;
    Steps steps;
    std::int32_t max;
    std::int32_t pos;
  };
  const std::string download = std::string("download ") + ADDRESS;
  const Case cases[] = {
      {"payload archive: unpacked, nothing searched", true, false, true, ADDRESS, IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "chdir", "range 150", "unpack", "stop"}, 150, 100},
      {"payload archive wins over manual mode", true, true, false, ADDRESS, IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "chdir", "range 150", "unpack", "stop"}, 150, 100},
      {"runtime found: no dialog", false, false, true, ADDRESS, IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "search", "stop", "chdir", "range 80", "stop"}, 80, 0},
      {"manual mode: no search, the dialog instead", false, true, true, ADDRESS, IDC_LOCATE,
       {"stop", "chdir", "archive?", "stop", "choice, download offered", "stop", "chdir", "range 80", "stop"}, 80, 0},
      {"manual mode: download chosen", false, true, false, ADDRESS, IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "stop", "choice, download offered", "stop", "tempdir", download, "chdir", "range 150",
        "unpack", "stop"},
       150, 100},
      {"nothing found: download chosen", false, false, false, ADDRESS, IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "search", "stop", "choice, download offered", "stop", "tempdir", download, "chdir",
        "range 150", "unpack", "stop"},
       150, 100},
      {"nothing found: a java.exe picked", false, false, false, ADDRESS, IDC_LOCATE,
       {"stop", "chdir", "archive?", "search", "stop", "choice, download offered", "stop", "chdir", "range 80",
        "stop"},
       80, 0},
      {"download not offered: its id downloads nothing", false, false, false, "", IDC_DOWNLOAD,
       {"stop", "chdir", "archive?", "search", "stop", "choice", "stop", "chdir", "range 80", "stop"}, 80, 0},
      {"dialog not shown: nothing downloaded", false, false, false, ADDRESS, -1,
       {"stop", "chdir", "archive?", "search", "stop", "choice, download offered", "stop", "chdir", "range 80",
        "stop"},
       80, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    configStore().narrow[cfg::DOWNLOAD_URL] = c.address;
    manualMode = c.manual;
    RecordingWorker worker;
    worker.archive = c.archive;
    worker.found = c.found;
    worker.choice = c.choice;
    prepareRuntime(worker);
    EXPECT_EQ(worker.steps, c.steps);
    EXPECT_EQ(progressMax, c.max);
    EXPECT_EQ(progressPos, c.pos);
  }
}

TEST_F(WorkerStepsTest, OnlyGraphicalTypesMustShowAWindow) {
  const bool enforced[] = {false, true, false, false, false, true, false};
  for (int type = 0; type < 7; ++type) EXPECT_EQ(watcherEnforcesWindowLimit(type), enforced[type]) << type;
}

TEST_F(WorkerStepsTest, WatcherKeepsWaiting) {
  struct Case {
    const char* name;
    bool windowShown;
    int polls;
    bool enforceLimit;
    bool mainCalled;
    bool waits;
  };
  const Case cases[] = {
      {"graphical: no window yet", false, 0, true, false, true},
      {"graphical: the window shows", true, 3, true, false, false},
      {"graphical: last look within the minute", false, WATCHER_MAX_POLLS - 1, true, false, true},
      {"graphical: the minute is over", false, WATCHER_MAX_POLLS, true, false, false},
      {"graphical: main called, still no window", false, 10, true, true, true},
      {"console: main not called yet", false, 0, false, false, true},
      {"console: no limit", false, 10 * WATCHER_MAX_POLLS, false, false, true},
      {"console: main called", false, 10, false, true, false},
      {"console: a window shows first", true, 10, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(watcherKeepsWaiting(c.windowShown, c.polls, c.enforceLimit, c.mainCalled), c.waits) << c.name;
  }
}

TEST_F(WorkerStepsTest, ProgressAdvancesToTenBelowTheEnd) {
  struct Case {
    std::int32_t position;
    std::int32_t maximum;
    std::int32_t next;
  } cases[] = {{0, 80, 20}, {40, 80, 60}, {60, 80, 70}, {70, 80, 70}, {100, 150, 120}, {120, 150, 140},
               {130, 150, 140}, {140, 150, 140}};
  for (const Case& c : cases) {
    EXPECT_EQ(advancedProgress(c.position, c.maximum), c.next) << c.position << " of " << c.maximum;
  }
}

TEST_F(WorkerStepsTest, PayloadBarMovesAFewTimesASecond) {
  struct Case {
    int position, shown;
    std::uint32_t sinceLastMoveMs;
    bool moves;
  } cases[] = {{41, 40, PAYLOAD_BAR_INTERVAL_MS - 1, false}, {41, 40, PAYLOAD_BAR_INTERVAL_MS, true},
               {40, 40, 1000, false}, {100, 99, 0, true}, {100, 100, 1000, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(payloadBarMoves(c.position, c.shown, c.sinceLastMoveMs), c.moves) << c.position << " after " << c.shown;
  }
}

TEST_F(WorkerStepsTest, WatcherLoop) {
  struct Case {
    const char* name;
    int applicationType;
    std::int32_t max;
    std::int32_t start;
    int windowAfter;
    int mainAfter;
    int waits;
    std::vector<int> firstPositions;  // the first moves of the bar
    std::size_t moves;
    std::int32_t finalPosition;
    std::int32_t fatalId;  // 0: the dialog is hidden
  };
  const Case cases[] = {
      {"window at once: no wait, no move", 1, 80, 0, 0, -1, 0, {}, 0, 0, 0},
      {"after an archive: every fifth poll, ten below the end", 1, 150, 100, 17, -1, 17, {120, 140, 140}, 3, 140, 0},
      {"without an archive", 5, 80, 0, 27, -1, 27, {20, 40, 60, 70, 70}, 5, 70, 0},
      {"graphical: waits for its window after main", 1, 80, 0, 12, 3, 12, {20, 40}, 2, 40, 0},
      {"graphical: window on the last look", 5, 80, 0, WATCHER_MAX_POLLS - 1, -1, WATCHER_MAX_POLLS - 1,
       {20, 40, 60, 70}, 119, 70, 0},
      {"graphical: window during the minute's last poll", 1, 80, 0, WATCHER_MAX_POLLS, -1, WATCHER_MAX_POLLS,
       {20, 40, 60, 70}, 120, 70, 0},
      {"graphical: no window within the minute", 1, 80, 0, -1, -1, WATCHER_MAX_POLLS, {20, 40, 60, 70}, 120, 70,
       wmsg::NO_WINDOW},
      {"console: hidden once main is called", 0, 80, 0, -1, 7, 7, {20}, 1, 20, 0},
      {"console: no time limit", 2, 150, 100, -1, 2 * WATCHER_MAX_POLLS, 2 * WATCHER_MAX_POLLS, {120, 140}, 240, 140,
       0},
      {"console: a window hides it too", 0, 80, 0, 4, -1, 4, {}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    progressMax = c.max;
    progressPos = c.start;
    RecordingWatcher watcher;
    watcher.windowAfter = c.windowAfter;
    watcher.mainAfter = c.mainAfter;
    std::int32_t fatalId = 0;
    try {
      watchForWindow(watcher, c.applicationType);
    } catch (const test::FatalCalled& fatal) {
      fatalId = fatal.id;
    } catch (const RunawayWatcher&) {
      ADD_FAILURE() << "the watcher did not stop";
      continue;
    }
    EXPECT_EQ(fatalId, c.fatalId);
    EXPECT_EQ(watcher.hidden, c.fatalId == 0);
    EXPECT_EQ(watcher.waits, c.waits);
    EXPECT_EQ(watcher.positions.size(), c.moves);
    std::size_t compared = std::min(c.firstPositions.size(), watcher.positions.size());
    EXPECT_EQ(std::vector<int>(watcher.positions.begin(), watcher.positions.begin() + compared), c.firstPositions);
    EXPECT_EQ(progressPos, c.finalPosition);
  }
}

}  // namespace
}  // namespace plimo
