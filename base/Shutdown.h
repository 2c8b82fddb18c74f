#pragma once

namespace plimo {

// How the launcher's process ends, and what each thread may still do on the
// way. Every check for the end and every way out goes through here.
//
// Running: the main thread runs the progress dialog; the worker writes under
//   the temporary directory (payload, download, runtime archive), starts
//   probes and shows messages; between beginWorkerSteps and endWorkerSteps
//   it counts as busy with files. A failing thread may show a message.
//
// Ending: entered once, by the first of
//   - markProcessEnding: the progress dialog has closed and WinMain returns;
//     the run-time library's exit runs deleteTempDirAtExit;
//   - endThroughExitHandlers: Cancel in the runtime choice dialog, likewise;
//   - claimProcessEnd: a fatal message, exitQuietly, the runtime's exit hook
//     (endProcessAfterCleanup). The claiming thread removes the files first,
//     then may show its one message, then calls endClaimedProcess.
//   From then on no other thread writes, downloads, probes, shows a message
//   or ends the process: each loop asks processIsEnding() between chunks and
//   stops, and a thread that reaches a step or a message parks for good
//   (parkIfEnding, parkThread). A second thread that tries to claim the end
//   parks too, so that two failures at once show one message.
//   Only removeLaunchFiles deletes, once: it ends a running probe, waits
//   (bounded) for a busy worker to park, then deletes the temporary tree,
//   recording what is in use for deferred deletion.
//
// Ended: ExitProcess with the claimed code (exit handlers do not run), or
//   the run-time library's exit with WinMain's 0 or the runtime choice's 1.
//
// The stub links the Win32 implementation; test programs link it as well.

bool processIsEnding();
// Parks the calling thread when the process is ending.
void parkIfEnding();
// Stops the calling thread for good; the process is ending. When it is the
// busy worker, the waiting clean-up goes on.
[[noreturn]] void parkThread();

// The worker's steps before the Java program runs: while they last, an end
// on another thread waits for the worker to park before removing files.
void beginWorkerSteps();
void endWorkerSteps();

// The progress dialog has closed: WinMain returns, and the exit handlers
// remove the files.
void markProcessEnding();
// markProcessEnding, then the run-time library's exit with code (its
// handlers remove the files).
[[noreturn]] void endThroughExitHandlers(int code);

// The one clean-up of every end: ends a probe's java.exe, waits (up to 20
// seconds) for a busy worker to park, then deletes the temporary directory
// after making another directory current (a current directory cannot be
// removed). Runs once; a second caller waits for the first (bounded) and
// returns.
void removeLaunchFiles();
// Exit handler, registered by the worker before it extracts anything:
// removeLaunchFiles.
void deleteTempDirAtExit();
// For the ends that skip the exit handlers: enters Ending (or parks when
// another thread did already) and removeLaunchFiles.
void claimProcessEnd();
// Ends the process with code; the caller has claimed the end.
[[noreturn]] void endClaimedProcess(unsigned code);
// claimProcessEnd, then endClaimedProcess(code).
[[noreturn]] void endProcessAfterCleanup(unsigned code);

}  // namespace plimo
