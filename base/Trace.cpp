#include "base/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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
  // spends it: on Windows clock() counts from the process's start.
  char stamp[32];
  formatTraceText(stamp, sizeof stamp, "plimo: %ld ms: ", static_cast<long>(std::clock() * 1000 / CLOCKS_PER_SEC));
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
