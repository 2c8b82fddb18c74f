#include "jvmlaunch/JavaVMLauncher.h"

namespace plimo {

// Placeholder until the in-process launch lands.
bool launchJvm(int, const char*, const char*, const char*, const char*) { return false; }

}  // namespace plimo
