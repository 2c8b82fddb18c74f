// The baseline of the start-up benchmark: the least a host program must do to
// reach a runtime's JNI_CreateJavaVM and main. It loads the given jvm.dll by
// full path with its folder on the DLL search path, creates the VM with one
// option, finds the class and calls main. With the jvm.dll double told to end
// the process in main, the process ends there, like the installer it is
// compared with.
// Built as startup_gui_host (STARTUP_HOST_WINDOWED), it first asks user32 for
// the desktop window, with the stub's manifest linked in: the start-up any
// windowed program pays under the same system, as a second baseline.
#include <windows.h>
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <cstring>
#include <string>

typedef jint(JNICALL* CreateJavaVm)(JavaVM**, void**, void*);

int main(int argc, char** argv) {
  if (argc < 2) return 2;
#ifdef STARTUP_HOST_WINDOWED
  if (GetDesktopWindow() == nullptr) return 8;
#endif
  std::string library = argv[1];
  std::string folder = library.substr(0, library.find_last_of('\\'));
  SetDllDirectoryA(folder.c_str());
  HMODULE module = LoadLibraryA(library.c_str());
  SetDllDirectoryA(nullptr);
  if (module == nullptr) return 3;
  auto create = reinterpret_cast<CreateJavaVm>(reinterpret_cast<void*>(GetProcAddress(module, "JNI_CreateJavaVM")));
  if (create == nullptr) return 4;
  JavaVMOption option;
  option.optionString = const_cast<char*>("-Djava.class.path=.");
  option.extraInfo = nullptr;
  JavaVMInitArgs args;
  std::memset(&args, 0, sizeof args);
  args.version = JNI_VERSION_1_2;
  args.nOptions = 1;
  args.options = &option;
  args.ignoreUnrecognized = JNI_TRUE;
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return 5;
  jclass mainClass = env->FindClass("Bench");
  if (mainClass == nullptr) return 6;
  jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
  if (mainMethod == nullptr) return 7;
  jobjectArray arguments = env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr);
  env->CallStaticVoidMethod(mainClass, mainMethod, arguments);
  vm->DestroyJavaVM();
  return 0;
}
