// Time from the start of the launch to the Java program's main running on
// the installed JDK: the launcher's launchJvm against a minimal JNI host that
// creates the VM with the same options, in one run, reported as a ratio.
//   LaunchBench [rounds]      runs both, alternating, one process per launch
//   LaunchBench ours|baseline one launch (used by the driver)
// Loading libjvm happens before the clock starts in both: it belongs to the
// runtime search, not to the launch.
#include <dlfcn.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/ErrorReport.h"
#include "block/ConfigStore.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "jvmsearch/JniEntry.h"
#include "tests/jvmlaunch/LinuxLaunchPlatform.h"

namespace plimo {
void showError(const char* text) { std::fprintf(stderr, "%s\n", text); }
void showWideError(const char16_t*) {}
void showConfigMessage(std::int32_t id, const char*, const char*) { std::fprintf(stderr, "message %d\n", id); }
void fatalText(const char* text) {
  showError(text);
  std::_Exit(1);
}
void fatalMessage(std::int32_t id, const char*, const char*) {
  showConfigMessage(id, nullptr, nullptr);
  std::_Exit(1);
}
void fatalWideMessage(std::int32_t) { std::_Exit(1); }
void exitQuietly() { std::_Exit(1); }
}  // namespace plimo

namespace {

const std::string CLASS_PATH_PARAMETER = std::string("-Djava.class.path=") + PLIMO_PROBE_CLASSES;

long long nowNanos() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

plimo::CreateJavaVmFunction loadRuntime() {
  void* library = dlopen(PLIMO_LIBJVM, RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s\n", PLIMO_LIBJVM);
    std::exit(2);
  }
  return reinterpret_cast<plimo::CreateJavaVmFunction>(dlsym(library, "JNI_CreateJavaVM"));
}

void runOurs() {
  plimo::createJavaVmEntry = loadRuntime();
  plimo::configStore().narrow[plimo::cfg::MAIN_CLASS] = "probe.LaunchProbe";
  plimo::configStore().narrow[plimo::cfg::VM_PARAMETERS] = CLASS_PATH_PARAMETER;
  plimo::deriveConfigFlags(plimo::configStore());
  std::thread worker([] {
    plimo::test::LinuxLaunchPlatform platform;
    std::printf("launch-start-nanos=%lld\n", nowNanos());
    std::fflush(stdout);
    plimo::launchJvm(platform, JNI_VERSION_1_2, "bench", nullptr, nullptr, "");
  });
  worker.join();
}

// What any JNI host has to do, with the option list the launch builds here.
void runBaseline() {
  plimo::CreateJavaVmFunction create = loadRuntime();
  std::thread worker([create] {
    std::printf("launch-start-nanos=%lld\n", nowNanos());
    std::fflush(stdout);
    plimo::test::LinuxLaunchPlatform platform;
    std::string texts[] = {"-Dplimo.moduleName=" + platform.moduleFileName(), "-Djava.class.path=\";\"",
                           CLASS_PATH_PARAMETER};
    JavaVMOption options[3];
    for (int i = 0; i < 3; ++i) {
      options[i].optionString = &texts[i][0];
      options[i].extraInfo = nullptr;
    }
    JavaVMInitArgs args;
    std::memset(&args, 0, sizeof args);
    args.version = JNI_VERSION_1_2;
    args.nOptions = 3;
    args.options = options;
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) std::exit(3);
    jclass main = env->FindClass("probe/LaunchProbe");
    jmethodID method = env->GetStaticMethodID(main, "main", "([Ljava/lang/String;)V");
    jobjectArray array = env->NewObjectArray(1, env->FindClass("java/lang/String"), nullptr);
    const jchar bench[] = {'b', 'e', 'n', 'c', 'h'};
    env->SetObjectArrayElement(array, 0, env->NewString(bench, 5));
    env->CallStaticVoidMethod(main, method, array);
    vm->DestroyJavaVM();
  });
  worker.join();
}

// Nanoseconds from the launch's start to main running, from one child.
long long measure(const std::string& self, const char* mode) {
  std::string command = "'" + self + "' " + mode;
  std::FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return -1;
  long long start = -1, main = -1;
  char line[512];
  while (std::fgets(line, sizeof line, child) != nullptr) {
    std::sscanf(line, "launch-start-nanos=%lld", &start);
    std::sscanf(line, "main-start-nanos=%lld", &main);
  }
  pclose(child);
  return start >= 0 && main >= 0 ? main - start : -1;
}

double median(std::vector<long long> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 ? static_cast<double>(values[n / 2]) : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "ours") == 0) {
    runOurs();
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "baseline") == 0) {
    runBaseline();
    return 0;
  }
  int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (rounds < 1) rounds = 1;
  plimo::test::LinuxLaunchPlatform platform;
  const std::string self = platform.moduleFileName();
  measure(self, "baseline");  // warm the file cache
  std::vector<long long> ours, baseline;
  for (int i = 0; i < rounds; ++i) {
    long long b = measure(self, "baseline");
    long long o = measure(self, "ours");
    if (b < 0 || o < 0) {
      std::fprintf(stderr, "round %d failed\n", i);
      return 1;
    }
    baseline.push_back(b);
    ours.push_back(o);
  }
  double medianOurs = median(ours), medianBaseline = median(baseline);
  std::printf("launch to main, median of %d rounds: launchJvm / minimal JNI host = %.3f\n", rounds,
              medianOurs / medianBaseline);
  std::printf("(launchJvm %.1f ms, minimal host %.1f ms, same run)\n", medianOurs / 1e6, medianBaseline / 1e6);
  return 0;
}
