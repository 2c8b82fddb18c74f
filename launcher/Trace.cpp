#include "launcher/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plimo {

namespace {
const char* traceTarget() {
  const char* value = std::getenv("PLIMO_TRACE");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0 ? value : nullptr;
}
}  // namespace

bool traceEnabled() { return traceTarget() != nullptr; }

void trace(const char* format, ...) {
  const char* target = traceTarget();
  if (target == nullptr) return;
  bool toStderr = std::strcmp(target, "1") == 0;
  std::FILE* out = toStderr ? stderr : std::fopen(target, "a");
  if (out == nullptr) return;
  std::fputs("plimo: ", out);
  va_list args;
  va_start(args, format);
  std::vfprintf(out, format, args);
  va_end(args);
  std::fputc('\n', out);
  if (toStderr) {
    std::fflush(out);
  } else {
    std::fclose(out);
  }
}

}  // namespace plimo
