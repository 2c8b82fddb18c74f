// A library that loads like a runtime's jvm.dll but lacks JNI_CreateJavaVM.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* /*args*/) { return -1; }
