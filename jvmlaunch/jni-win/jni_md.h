/* Machine-dependent JNI types for Windows builds made with MinGW-w64: the
 * JDK's own jni.h is used with these definitions (the JDK on this build
 * machine only ships the Linux ones). JNICALL is stdcall, as on every Windows
 * runtime; on x64 the calling convention keyword is ignored. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
