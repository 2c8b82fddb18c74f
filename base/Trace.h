#pragma once

namespace plimo {

// Diagnostic trace of the launcher's decisions, off by default. PLIMO_TRACE=1
// writes to standard error; any other non-empty value names a file that each
// line is appended to. Each line starts "plimo: <milliseconds> ms: ", the time
// since the process started (on Windows; processor time elsewhere).
void trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace plimo
