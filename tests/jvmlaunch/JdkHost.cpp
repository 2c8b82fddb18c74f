// Hosts the real JDK through the launcher's own JNI call sequence, one launch
// per process (a process can create only one VM). Usage:
//   jvmlaunch_jdkhost [--cfg ID=VALUE]... [--manual] [--tempdir DIR] [--tail TEXT]
// Prints what the launch returned; fatal messages go to standard error as
// "fatal <id>: <text>" and end the process with exit code 1.
#include <dlfcn.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "block/MessageText.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "jvmsearch/JniEntry.h"
#include "tests/jvmlaunch/LinuxLaunchPlatform.h"

namespace plimo {

void showError(const char* text) { std::fprintf(stderr, "%s\n", text); }
void showWideError(const char16_t*) { std::fprintf(stderr, "(wide message)\n"); }
void showConfigMessage(std::int32_t id, const char* placeholder, const char* value) {
  std::string text = expandPlaceholder(getConfigString(id), placeholder, value);
  std::fprintf(stderr, "fatal %d: %s\n", static_cast<int>(id), text.c_str());
}
void fatalText(const char* text) {
  showError(text);
  std::fflush(nullptr);
  std::_Exit(1);
}
void fatalMessage(std::int32_t id, const char* placeholder, const char* value) {
  showConfigMessage(id, placeholder, value);
  std::fflush(nullptr);
  std::_Exit(1);
}
void fatalWideMessage(std::int32_t) { fatalText("(wide message)"); }
void exitQuietly() { std::_Exit(1); }

}  // namespace plimo

int main(int argc, char** argv) {
  using namespace plimo;
  std::string tail;
  std::string temp;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--cfg" && i + 1 < argc) {
      std::string entry = argv[++i];
      std::size_t eq = entry.find('=');
      configStore().narrow[std::atoi(entry.substr(0, eq).c_str())] = entry.substr(eq + 1);
    } else if (arg == "--manual") {
      manualMode = true;
    } else if (arg == "--tempdir" && i + 1 < argc) {
      temp = argv[++i];
    } else if (arg == "--tail" && i + 1 < argc) {
      tail = argv[++i];
    } else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  deriveConfigFlags(configStore());
  void* library = dlopen(PLIMO_LIBJVM, RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", PLIMO_LIBJVM, dlerror());
    return 2;
  }
  createJavaVmEntry = reinterpret_cast<CreateJavaVmFunction>(dlsym(library, "JNI_CreateJavaVM"));

  // The launch runs on a thread of its own, as on the launcher's worker.
  bool launched = false;
  std::thread worker([&] {
    test::LinuxLaunchPlatform platform;
    // The real VM calls the hook on System.exit, and the hook ends the process.
    platform.hook = [](jint status) {
      std::printf("exit hook %d\n", static_cast<int>(status));
      std::fflush(stdout);
      std::_Exit(static_cast<int>(status));
    };
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::printf("launch-start-nanos=%lld\n", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stdout);
    launched = launchJvm(platform, JNI_VERSION_1_2, tail, nullptr, nullptr, temp);
  });
  worker.join();
  std::printf("launchJvm=%d\n", launched ? 1 : 0);
  std::fflush(stdout);
  return launched ? 0 : 1;
}
