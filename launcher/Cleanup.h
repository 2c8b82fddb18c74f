#pragma once
#include <string>

namespace plimo {

// Deletes a directory's contents recursively, then the directory. What cannot
// be deleted is scheduled for deferred deletion. An empty path does nothing.
void deleteTree(const std::string& path);
// Exit handler registered after extraction: deleteTree(tempDir), after
// making another directory current (a current directory cannot be removed).
void deleteTempDirAtExit();
void scheduleFileDeletion(const std::string& path);
void scheduleDirDeletion(const std::string& path);
// Appends path and ";" to the named REG_SZ value under
// HKCU\SOFTWARE\kaldor-codework\plimo\temp\ (created when missing).
void appendToDeletionList(const std::string& path, const char* valueName);
// Every path of extractedFiles, then of extractedDirs; deletes nothing.
void scheduleExtractedForDeletion();

}  // namespace plimo
