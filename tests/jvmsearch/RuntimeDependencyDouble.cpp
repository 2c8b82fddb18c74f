// A DLL that a jvm.dll double needs and that lives only in the runtime's bin
// directory.
extern "C" __declspec(dllexport) int plimoRuntimeDependency() { return -78; }
