// A DLL that a jvm.dll double needs and that lives only in the runtime's bin
// directory. Built a second time under the same name with another answer: the
// copy a stranger plants beside the program, which must never be loaded.
#ifdef PLIMO_PLANTED
extern "C" __declspec(dllexport) int plimoRuntimeDependency() { return -79; }
#else
extern "C" __declspec(dllexport) int plimoRuntimeDependency() { return -78; }
#endif
