#pragma once
#include <jni.h>

namespace plimo {

// Signature of the runtime library's JNI_CreateJavaVM.
typedef jint(JNICALL* CreateJavaVmFunction)(JavaVM** vm, void** env, void* args);

// The entry point slot: filled by each successful bind of a runtime library
// (the last one wins), called by the launch. Null until the first bind.
extern CreateJavaVmFunction createJavaVmEntry;

}  // namespace plimo
