#pragma once
// The decisions of the launch worker and of the window watcher, apart from
// the dialogs and threads that carry them out: which runtime the launch gets
// (the payload's archive, a runtime found on the machine, or the user's
// choice) and how the progress bar moves while the Java program starts.
#include <cstdint>
#include <string>

#include "block/TextKinds.h"

namespace plimo {

// What the runtime steps need from the operating system and the progress
// dialog. The Win32 shell answers with the real calls; tests record them.
class WorkerPlatform {
 public:
  virtual ~WorkerPlatform() = default;
  // Returns when the process is not ending; otherwise the thread waits for
  // the end and never returns.
  virtual void stopIfEnding() = 0;
  // Makes the launcher's temporary directory (tempDir) the current
  // directory; nothing when there is none.
  virtual void enterTempDir() = 0;
  // Creates the launcher's temporary directory when there is none yet (an
  // installer without payload about to fetch a runtime), named, recorded and
  // removed as the payload's is. A failure ends the process.
  virtual void makeTempDir() = 0;
  // True when "jre.tar.gz" is in the launcher's temporary directory. Never
  // looked for anywhere else: a file of that name in the folder the
  // installer was started from is not the installer's.
  virtual bool runtimeArchivePresent() = 0;
  // The runtime search without messages; true when a runtime was found.
  virtual bool searchRuntime() = 0;
  // The java.exe of a runtime the last search passed over because it was
  // built for the other processor; empty when it passed over none.
  virtual AnsiText otherProcessorRuntime() = 0;
  // Tells the user (wide message 20017, the path on a line of its own) and
  // returns.
  virtual void reportOtherProcessorRuntime(const AnsiText& javaExe) = 0;
  // Shows the runtime choice dialog (it reads downloadOffered) and returns
  // how it ended: IDC_DOWNLOAD, IDC_LOCATE after an accepted pick, or what
  // the system returns when the dialog cannot be shown. Cancel ends the
  // process inside.
  virtual std::intptr_t showRuntimeChoice() = 0;
  // Downloads the runtime archive from address (entry 150) into "jre.tar.gz"
  // of the temporary directory; returns only after a complete download.
  virtual void downloadRuntimeArchive(const PageText& address) = 0;
  virtual void setProgressRange(int maximum) = 0;
  // Unpacks "jre.tar.gz" of the temporary directory into its "jre" and
  // selects it as the runtime; returns only when it is usable.
  virtual void unpackRuntimeArchive() = 0;
};

// After the payload was written: decides where the runtime comes from and
// provides it. A runtime archive in the payload is unpacked; without one the
// machine is searched (not in manual mode), and when that finds nothing the
// user chooses in the runtime choice dialog, whose download (offered when
// entry 150 is set) brings an archive into the temporary directory (created
// for it when the payload made none) that is then unpacked. When the search
// passed over runtimes built for the other processor, the user is told so
// before the dialog (installers whose block has message 20017). Sets
// downloadOffered before the dialog, and progressMax and progressPos (150
// and 100 when an archive is unpacked, else 80 and 0) together with the
// bar's range. Between the steps it stops when the process is ending.
void prepareRuntime(WorkerPlatform& platform);

// The watcher looks every WATCHER_POLL_MS; after WATCHER_MAX_POLLS looks (one
// minute) without a window, a graphical program is taken to have failed.
constexpr int WATCHER_POLL_MS = 100;
constexpr int WATCHER_MAX_POLLS = 600;
// Every this many looks the bar moves by WATCHER_PROGRESS_STEP.
constexpr int WATCHER_POLLS_PER_STEP = 5;
constexpr int WATCHER_PROGRESS_STEP = 20;

// What the window watcher needs from the operating system and the dialog.
class WatcherPlatform {
 public:
  virtual ~WatcherPlatform() = default;
  // True when the process shows a visible window besides the progress dialog.
  virtual bool applicationWindowShown() = 0;
  virtual void setProgressPosition(int position) = 0;
  // Waits WATCHER_POLL_MS.
  virtual void waitPoll() = 0;
  virtual void hideDialog() = 0;
};

// Whether the watcher may end the process when no window appears: only the
// graphical application types (1 and 5) must show one.
bool watcherEnforcesWindowLimit(int applicationType);

// Whether the watcher looks again after polls looks: not once the program's
// window shows, not after WATCHER_MAX_POLLS when the limit holds, and, for a
// program without the limit, not once its main method was called.
bool watcherKeepsWaiting(bool windowShown, int polls, bool enforceLimit, bool mainCalled);

// The bar's next position: WATCHER_PROGRESS_STEP further, but never past
// ten below the end, so the bar does not look finished before the program
// shows.
std::int32_t advancedProgress(std::int32_t position, std::int32_t maximum);

// Whether the bar follows the payload to position (in percent) when it shows
// shown and moved sinceLastMoveMs ago: when the position changed and either
// PAYLOAD_BAR_INTERVAL_MS passed or the payload is complete (100). Each move
// makes the dialog's thread repaint; a few a second are enough to see.
constexpr std::uint32_t PAYLOAD_BAR_INTERVAL_MS = 50;
bool payloadBarMoves(int position, int shown, std::uint32_t sinceLastMoveMs);

// Keeps the progress dialog moving until the Java program shows a window (or,
// for a program of another type, until its main method was called), then
// hides it. A graphical program without a window after WATCHER_MAX_POLLS
// ends the process with wide message 20014. Advances progressPos.
void watchForWindow(WatcherPlatform& platform, int applicationType);

}  // namespace plimo
