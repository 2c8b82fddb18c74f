// Stands in for a runtime's jvm.dll: exports JNI_CreateJavaVM (undecorated,
// also on x86) and answers every call with a marker result instead of a
// virtual machine. Built a second time needing a DLL that lives only in the
// runtime's bin directory, as the C runtime DLLs of a current runtime do.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#ifdef PLIMO_NEEDS_RUNTIME_DEPENDENCY
extern "C" __declspec(dllimport) int plimoRuntimeDependency();
#endif

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* /*args*/) {
  if (vm != nullptr) *vm = nullptr;
  if (env != nullptr) *env = nullptr;
#ifdef PLIMO_NEEDS_RUNTIME_DEPENDENCY
  return plimoRuntimeDependency();
#else
  return -77;
#endif
}
