// Helper program for the download tests: binds wininet the launcher's way
// (or, with "naive", by bare name) and prints on standard error the file the
// library was loaded from. Run from a directory holding a planted
// wininet.dll, it shows which one the process got.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "provision/WinDownload.h"

int main(int argc, char** argv) {
  bool naive = argc > 1 && std::strcmp(argv[1], "naive") == 0;
  bool bound = naive ? LoadLibraryA("wininet.dll") != nullptr : plimo::bindWinInet();
  char path[MAX_PATH] = "";
  HMODULE loaded = GetModuleHandleA("wininet.dll");
  if (loaded != nullptr) GetModuleFileNameA(loaded, path, sizeof path);
  std::fprintf(stderr, "%s", path);
  return bound ? 0 : 1;
}
