#pragma once
#include <string>

namespace plimo {

// Deletes a directory's contents recursively, then the directory. What cannot
// be deleted is scheduled for deferred deletion. An empty path does nothing.
void deleteTree(const std::string& path);
// Exit handler, registered by the worker before it extracts anything: ends a
// probe's java.exe, waits (up to 20 seconds) for a worker that is still
// between its launch steps to stop, then deleteTree(tempDir) after making
// another directory current (a current directory cannot be removed).
void deleteTempDirAtExit();
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
// Every path of extractedFiles, then of extractedDirs; deletes nothing.
void scheduleExtractedForDeletion();

}  // namespace plimo
