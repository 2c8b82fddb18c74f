// A library named like the system's Internet library, for the test that
// makes sure the download never loads one from the application's directory.
#include <windows.h>

extern "C" __declspec(dllexport) int plantedMarker() { return 1; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
