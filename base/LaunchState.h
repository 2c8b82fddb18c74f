#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "block/TextKinds.h"

namespace plimo {

// Process-wide state of one launch. Written on the main thread before the
// worker starts, or by the worker before the watcher starts; see the notes
// on each value. The strings and lists are never destroyed (Lasting.h): the
// worker may still use them while the process ends.
extern void* instanceHandle;        // module instance of the executable
extern Utf8Text& commandLine;       // tail of the command line after the program name
extern bool manualMode;             // tail is exactly "/manual" or "-manual"
extern AnsiText& tempDir;           // extraction directory: absolute, no trailing backslash; empty when nothing was extracted
extern void* errorOwnerWindow;      // the progress dialog once it exists; owner of every error box
extern bool downloadOffered;        // entry 150 is not empty (read by the runtime choice dialog)
extern std::int32_t progressMax;    // bar range after the runtime decision: 150 with an archive, else 80
extern std::int32_t progressPos;    // position the watcher advances
extern std::uint64_t payloadOffset; // file position of the first payload record
// Set by the worker just before the Java main method is called, read by the
// watcher: a console program has started once it is set.
extern std::atomic<bool> mainMethodCalled;

// Every path the extraction wrote (or tried to), in order, and its directory.
// Never emptied; the clean-up schedules them for deferred deletion.
extern std::vector<AnsiText>& extractedFiles;
extern std::vector<AnsiText>& extractedDirs;

// True when the tail is exactly "/manual" or "-manual": compared over 8 bytes
// including the terminator, so nothing may come before or after the word.
bool isManualModeTail(const char* utf8Tail);

// The command-line tail after the program name: skips blanks, then a quoted
// program name (to its closing quote, or to the end) or an unquoted one (to
// the first blank or tab), then blanks.
const char* commandLineTail(const char* utf8CommandLine);

}  // namespace plimo
