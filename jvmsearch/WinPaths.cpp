#include <windows.h>

#include "jvmsearch/Paths.h"

namespace plimo {

// Placeholder until the path utilities land.
bool fileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace plimo
