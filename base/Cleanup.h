#pragma once
#include "block/TextKinds.h"

namespace plimo {

// Deletes a directory's contents recursively, then the directory, through the
// wide functions, so that names in any script (a log the Java program wrote)
// are removed as well. What cannot be deleted (a file in use, such as a loaded
// runtime library) is recorded for deferred deletion under a name the ANSI
// code page holds (its short name where the long one does not fit). The path
// is in the ANSI code page, as the launcher keeps its paths. An empty path
// does nothing.
void deleteTree(const AnsiText& path);
void scheduleFileDeletion(const AnsiText& path);
void scheduleDirDeletion(const AnsiText& path);
// Appends path and ";" to the named REG_SZ value under
// HKCU\SOFTWARE\kaldor-codework\plimo\temp\ (created when missing).
void appendToDeletionList(const AnsiText& path, const char* valueName);

}  // namespace plimo
