#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace plimo {

namespace {

constexpr std::size_t TRACE_LINE_SIZE = 8192;

// The C library's own formatter: on Windows the system's (msvcrt), since the
// C99 one of the MinGW runtime would add its whole formatting engine to every
// installer for the trace's few %s, %d and %lu.
int formatTraceLine(char* out, std::size_t capacity, const char* format, va_list args) {
#ifdef _WIN32
  return _vsnprintf(out, capacity, format, args);
#else
  return std::vsnprintf(out, capacity, format, args);
#endif
}

int formatTraceText(char* out, std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = formatTraceLine(out, capacity, format, args);
  va_end(args);
  return n;
}

// Milliseconds since the process started. On Windows from its creation time
// by the wall clock (the C library's clock() counts processor time under
// Wine); elsewhere processor time, which only the native tests see.
long traceMilliseconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user, now;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER from, to;
  from.LowPart = created.dwLowDateTime;
  from.HighPart = created.dwHighDateTime;
  to.LowPart = now.dwLowDateTime;
  to.HighPart = now.dwHighDateTime;
  return static_cast<long>((to.QuadPart - from.QuadPart) / 10000);
#else
  return static_cast<long>(std::clock() * 1000 / CLOCKS_PER_SEC);
#endif
}

const char* traceTarget() {
  const char* value = std::getenv("PLIMO_TRACE");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0 ? value : nullptr;
}
}  // namespace


void trace(const char* format, ...) {
  const char* target = traceTarget();
  if (target == nullptr) return;
  bool toStderr = std::strcmp(target, "1") == 0;
  std::FILE* out = toStderr ? stderr : std::fopen(target, "a");
  if (out == nullptr) return;
  char line[TRACE_LINE_SIZE];
  va_list args;
  va_start(args, format);
  int n = formatTraceLine(line, sizeof line, format, args);
  va_end(args);
  // A longer line is cut: the trace is a diagnostic, never data.
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) line[sizeof line - 1] = '\0';
  // Each line carries its time, so that a trace also shows where a slow start
  // spends it.
  char stamp[32];
  formatTraceText(stamp, sizeof stamp, "plimo: %ld ms: ", traceMilliseconds());
  std::fputs(stamp, out);
  std::fputs(line, out);
  std::fputc('\n', out);
  if (toStderr) {
    std::fflush(out);
  } else {
    std::fclose(out);
  }
}

}  // namespace plimo
