#pragma once
#include <string>

namespace plimo {

// Deletes a directory's contents recursively, then the directory, through the
// wide functions, so that names in any script (a log the Java program wrote)
// are removed as well. What cannot be deleted (a file in use, such as a loaded
// runtime library) is recorded for deferred deletion under a name the ANSI
// code page holds (its short name where the long one does not fit). The path
// is in the ANSI code page, as the launcher keeps its paths. An empty path
// does nothing.
void deleteTree(const std::string& path);
// The one clean-up of every end: ends a probe's java.exe, waits (up to 20
// seconds) for a worker that is still between its launch steps to stop, then
// deleteTree(tempDir) after making another directory current (a current
// directory cannot be removed). Runs once; a second caller waits for the
// first (bounded) and returns.
void removeLaunchFiles();
// Exit handler, registered by the worker before it extracts anything:
// removeLaunchFiles.
void deleteTempDirAtExit();
// For the ends that skip the run-time library's exit handlers (fatal
// messages, a runtime's exit hook): marks the process as ending, so that no
// other thread starts a step, and removeLaunchFiles. One thread claims the
// end; one that finds the process ending already is parked (parkThread), so
// that two failures at once show one message.
void claimProcessEnd();
// claimProcessEnd, then the end of the process with code.
[[noreturn]] void endProcessAfterCleanup(unsigned code);
// The worker's steps before the Java program runs: while they last, an exit
// on another thread waits for the worker to stop before removing files.
void beginWorkerSteps();
void endWorkerSteps();
// Stops the calling thread for good; the process is ending. When it is the
// worker, the waiting exit handler goes on.
[[noreturn]] void parkThread();
void scheduleFileDeletion(const std::string& path);
void scheduleDirDeletion(const std::string& path);
// Appends path and ";" to the named REG_SZ value under
// HKCU\SOFTWARE\kaldor-codework\plimo\temp\ (created when missing).
void appendToDeletionList(const std::string& path, const char* valueName);

}  // namespace plimo
