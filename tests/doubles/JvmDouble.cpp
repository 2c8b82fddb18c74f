// A jvm.dll double: exports JNI_CreateJavaVM and serves a JavaVM and a JNIEnv
// whose functions record every call into a log file, one line each:
//   create version=0x00010002 ignoreUnrecognized=1 nOptions=N
//   option <text>                 (in order; "extraInfo" lines if one is set)
//   findClass <name> | method <name> <signature>
//   array <count> <element class>
//   element <index> <UTF-16 units in hex, blank-separated>
//   call | describe | destroy | exit <code>
// Controlled by environment variables read at each JNI_CreateJavaVM:
//   PLIMO_JVMDOUBLE_LOG            the log file (rewritten at each creation)
//   PLIMO_JVMDOUBLE_CREATE_RESULT  non-zero: creation fails with this result
//   PLIMO_JVMDOUBLE_MODULES        non-empty: the modules loaded in the process
//                                  are logged at creation, "module PATH" each
//   PLIMO_JVMDOUBLE_MISSING_CLASS  the main class is not found
//   PLIMO_JVMDOUBLE_MISSING_METHOD main(String[]) is not found
//   PLIMO_JVMDOUBLE_THROW          main leaves an exception pending
//   PLIMO_JVMDOUBLE_EXIT           main ends the process with this exit code
//                                  as System.exit does: through the "exit"
//                                  option's hook when given one (on a thread
//                                  of its own), else ExitProcess
//   PLIMO_JVMDOUBLE_NULL_ARRAY     the argument array cannot be created
//   PLIMO_JVMDOUBLE_NULL_STRING    argument strings cannot be created
//   PLIMO_JVMDOUBLE_MAIN_MS        main runs this many milliseconds (pumping
//                                  messages) before it returns
//   PLIMO_JVMDOUBLE_WINDOW         non-empty: during that time main shows a
//                                  visible top-level window of class
//                                  "PlimoJvmDoubleWindow" (logged "window")
// Any other JNI function ends the process with exit code 99.
#include <windows.h>
#include <tlhelp32.h>
// Exported here, imported everywhere else.
#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;
bool exceptionPending = false;

struct Control {
  jint createResult = 0;
  bool missingClass = false;
  bool missingMethod = false;
  bool throwFromMain = false;
  bool exitFromMain = false;
  UINT exitCode = 0;
  bool nullArray = false;
  bool nullString = false;
  DWORD mainMs = 0;
  bool showWindow = false;
} control;

std::string variable(const char* name) {
  char buffer[1024];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

void logLine(const std::string& line) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(logFile, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Every module loaded in the process, by full path ("module PATH").
void logModules() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) {
    logLine("modules unavailable");
    return;
  }
  MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    logLine(std::string("module ") + entry.szExePath);
  }
  CloseHandle(snapshot);
}

// Distinct handles for the objects the launcher sees.
struct FakeObject {
  int kind;
  std::u16string text;
};
FakeObject mainClass{1, u""};
FakeObject stringClass{2, u""};
FakeObject argumentArray{3, u""};
FakeObject pendingThrowable{4, u""};
int mainMethod;

void JNICALL unexpectedCall() {
  logLine("unexpected JNI call");
  ExitProcess(99);
}

jclass JNICALL findClass(JNIEnv*, const char* name) {
  logLine(std::string("findClass ") + name);
  if (std::strcmp(name, "java/lang/String") == 0) return reinterpret_cast<jclass>(&stringClass);
  if (control.missingClass) {
    exceptionPending = true;
    return nullptr;
  }
  return reinterpret_cast<jclass>(&mainClass);
}

jmethodID JNICALL getStaticMethodID(JNIEnv*, jclass cls, const char* name, const char* signature) {
  logLine(std::string("method ") + name + " " + signature +
          (cls == reinterpret_cast<jclass>(&mainClass) ? "" : " (not on the main class)"));
  if (control.missingMethod) {
    exceptionPending = true;
    return nullptr;
  }
  return reinterpret_cast<jmethodID>(&mainMethod);
}

jobjectArray JNICALL newObjectArray(JNIEnv*, jsize length, jclass elementClass, jobject initial) {
  logLine("array " + std::to_string(length) + " " +
          (elementClass == reinterpret_cast<jclass>(&stringClass) ? "java/lang/String" : "?") +
          (initial != nullptr ? " initial" : ""));
  if (control.nullArray) {
    exceptionPending = true;
    return nullptr;
  }
  return reinterpret_cast<jobjectArray>(&argumentArray);
}

jstring JNICALL newString(JNIEnv*, const jchar* units, jsize length) {
  if (control.nullString) {
    exceptionPending = true;
    return nullptr;
  }
  // Kept for the process, as a VM keeps its strings alive while referenced.
  FakeObject* string = new FakeObject{5, std::u16string(reinterpret_cast<const char16_t*>(units), length)};
  return reinterpret_cast<jstring>(string);
}

void JNICALL setObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject value) {
  std::string line = "element " + std::to_string(index);
  if (array != reinterpret_cast<jobjectArray>(&argumentArray)) line += " (other array)";
  const FakeObject* string = reinterpret_cast<const FakeObject*>(value);
  for (char16_t unit : string->text) {
    char hex[8];
    std::snprintf(hex, sizeof hex, " %04X", static_cast<unsigned>(unit));
    line += hex;
  }
  logLine(line);
}

// Stands in for a Java program that runs for a while, with or without a
// window of its own, as the launcher's window watcher sees it.
void runForAWhile() {
  HWND window = nullptr;
  if (control.showWindow) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PlimoJvmDoubleWindow";
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, "PlimoJvmDoubleWindow", "double", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                             nullptr, nullptr, windowClass.hInstance, nullptr);
    logLine(window != nullptr ? "window" : "window failed");
  }
  DWORD start = GetTickCount();
  while (GetTickCount() - start < control.mainMs) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(20);
  }
  if (window != nullptr) DestroyWindow(window);
}

// The invocation API's "exit" option: called on System.exit, must end the
// process itself.
void(JNICALL* exitHook)(jint) = nullptr;

DWORD WINAPI callExitHook(LPVOID) {
  exitHook(static_cast<jint>(control.exitCode));
  return 0;
}

void runMain(jclass cls, jmethodID method, jobjectArray array) {
  bool expected = cls == reinterpret_cast<jclass>(&mainClass) && method == reinterpret_cast<jmethodID>(&mainMethod) &&
                  array == reinterpret_cast<jobjectArray>(&argumentArray);
  logLine(expected ? "call" : "call (unexpected class, method or array)");
  if (control.mainMs > 0) runForAWhile();
  if (control.exitFromMain) {
    logLine("exit " + std::to_string(control.exitCode));
    if (exitHook != nullptr) {
      // As a real VM: the hook runs on the VM's own thread while the Java
      // threads stand still, and the VM ends the process if it returns.
      HANDLE vmThread = CreateThread(nullptr, 0, callExitHook, nullptr, 0, nullptr);
      if (vmThread != nullptr) WaitForSingleObject(vmThread, INFINITE);
      logLine("exit hook returned");
    }
    // A real runtime ends the process from its own C library, past the
    // launcher's exit handlers.
    ExitProcess(control.exitCode);
  }
  if (control.throwFromMain) exceptionPending = true;
}

// C callers use the variadic form; the C++ wrapper of jni.h goes through
// the va_list form.
void JNICALL callStaticVoidMethod(JNIEnv*, jclass cls, jmethodID method, ...) {
  va_list rest;
  va_start(rest, method);
  jobjectArray array = va_arg(rest, jobjectArray);
  va_end(rest);
  runMain(cls, method, array);
}

void JNICALL callStaticVoidMethodV(JNIEnv*, jclass cls, jmethodID method, va_list rest) {
  runMain(cls, method, va_arg(rest, jobjectArray));
}

jthrowable JNICALL exceptionOccurred(JNIEnv*) {
  return exceptionPending ? reinterpret_cast<jthrowable>(&pendingThrowable) : nullptr;
}

void JNICALL exceptionDescribe(JNIEnv*) {
  logLine("describe");
  exceptionPending = false;
}

jint JNICALL destroyJavaVm(JavaVM*) {
  logLine("destroy");
  return JNI_OK;
}

JNINativeInterface_ envTable;
JNIInvokeInterface_ vmTable;
JNIEnv_ env;
JavaVM_ vm;

void fillTables() {
  void** slots = reinterpret_cast<void**>(&envTable);
  for (std::size_t i = 4; i < sizeof envTable / sizeof(void*); ++i) slots[i] = reinterpret_cast<void*>(&unexpectedCall);
  envTable.FindClass = findClass;
  envTable.GetStaticMethodID = getStaticMethodID;
  envTable.NewObjectArray = newObjectArray;
  envTable.NewString = newString;
  envTable.SetObjectArrayElement = setObjectArrayElement;
  envTable.CallStaticVoidMethod = callStaticVoidMethod;
  envTable.CallStaticVoidMethodV = callStaticVoidMethodV;
  envTable.ExceptionOccurred = exceptionOccurred;
  envTable.ExceptionDescribe = exceptionDescribe;
  env.functions = &envTable;

  void** vmSlots = reinterpret_cast<void**>(&vmTable);
  for (std::size_t i = 3; i < sizeof vmTable / sizeof(void*); ++i) vmSlots[i] = reinterpret_cast<void*>(&unexpectedCall);
  vmTable.DestroyJavaVM = destroyJavaVm;
  vm.functions = &vmTable;
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** result, void** envResult, void* initArgs) {
  if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
  std::string logPath = variable("PLIMO_JVMDOUBLE_LOG");
  logFile = logPath.empty() ? INVALID_HANDLE_VALUE
                            : CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                          FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  control = Control();
  control.createResult = std::atoi(variable("PLIMO_JVMDOUBLE_CREATE_RESULT").c_str());
  control.missingClass = !variable("PLIMO_JVMDOUBLE_MISSING_CLASS").empty();
  control.missingMethod = !variable("PLIMO_JVMDOUBLE_MISSING_METHOD").empty();
  control.throwFromMain = !variable("PLIMO_JVMDOUBLE_THROW").empty();
  std::string exitCode = variable("PLIMO_JVMDOUBLE_EXIT");
  control.exitFromMain = !exitCode.empty();
  control.exitCode = static_cast<UINT>(std::atoi(exitCode.c_str()));
  control.nullArray = !variable("PLIMO_JVMDOUBLE_NULL_ARRAY").empty();
  control.nullString = !variable("PLIMO_JVMDOUBLE_NULL_STRING").empty();
  control.mainMs = static_cast<DWORD>(std::atoi(variable("PLIMO_JVMDOUBLE_MAIN_MS").c_str()));
  control.showWindow = !variable("PLIMO_JVMDOUBLE_WINDOW").empty();
  exceptionPending = false;

  const JavaVMInitArgs* args = static_cast<const JavaVMInitArgs*>(initArgs);
  char head[128];
  std::snprintf(head, sizeof head, "create version=0x%08lX ignoreUnrecognized=%d nOptions=%ld",
                static_cast<unsigned long>(args->version), static_cast<int>(args->ignoreUnrecognized),
                static_cast<long>(args->nOptions));
  logLine(head);
  exitHook = nullptr;
  for (jint i = 0; i < args->nOptions; ++i) {
    logLine(std::string("option ") + args->options[i].optionString);
    if (args->options[i].extraInfo != nullptr) logLine("extraInfo");
    if (std::strcmp(args->options[i].optionString, "exit") == 0) {
      exitHook = reinterpret_cast<void(JNICALL*)(jint)>(args->options[i].extraInfo);
    }
  }
  if (!variable("PLIMO_JVMDOUBLE_MODULES").empty()) logModules();
  if (control.createResult != 0) return control.createResult;
  fillTables();
  *result = &vm;
  *envResult = &env;
  return JNI_OK;
}
