#pragma once
#include <cstdint>

namespace plimo {

// The one error path of the launcher. A message is shown in an error box
// owned by the progress dialog (entry 107 is 1 or 5) or written as one line
// to standard error. The fatal forms first remove what the launch unpacked
// (recording for deferred deletion only what is in use), then show the
// message and end the process with exit code 1 (ExitProcess: exit handlers
// do not run). exitQuietly does the same without a message, after a failure
// that was already shown; it too ends with 1, as every end after a failure
// does. A thread that reports while the process is ending shows nothing and
// waits for the end.
//
// The stub links the Win32 implementation; test programs link one that
// records the calls.

void showError(const char* pageText);
void showWideError(const char16_t* text);
// Message id from the configuration with the first occurrence of placeholder
// (may be null) replaced by value. Returns after showing. Narrow texts are
// page text, shown through the installer's code page (through the ANSI one
// when the block names none); value is often a path (ANSI text), which reads
// the same when the installer was built for the system's code page.
void showConfigMessage(std::int32_t id, const char* placeholder, const char* value);
[[noreturn]] void fatalText(const char* pageText);
[[noreturn]] void fatalMessage(std::int32_t id, const char* placeholder, const char* value);
[[noreturn]] void fatalWideMessage(std::int32_t id);
[[noreturn]] void fatalWideText(const char16_t* text);
[[noreturn]] void exitQuietly();

}  // namespace plimo
