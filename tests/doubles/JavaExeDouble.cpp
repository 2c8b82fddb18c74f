// Stands in for a runtime's java.exe. Next to its own file (say bin\java.exe)
// it reads:
//   java.exe.stderr  bytes written unchanged to standard error
//   java.exe.hang    when present, it never ends (after writing its bytes)
//   java.exe.linger  a number of milliseconds it waits after writing its
//                    bytes, standard error still open, as a runtime does
//                    while it shuts down
// It writes its current directory to java.exe.cwd, and appends one line "<process id> <command line>" to java.exe.starts for
// every start, so a test can count starts and check the command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool readWhole(const char* path, char* buffer, DWORD capacity, DWORD& size) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = ReadFile(file, buffer, capacity, &size, nullptr);
  CloseHandle(file);
  return ok != 0;
}

}  // namespace

int main() {
  // Its own path in the ANSI code page, by the short name where that cannot
  // hold the long one (a runtime in a folder named in another script).
  wchar_t wide[MAX_PATH * 4];
  if (GetModuleFileNameW(nullptr, wide, MAX_PATH * 3) == 0) return 3;
  char self[MAX_PATH * 4];
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, self, sizeof self, nullptr, &lossy);
  wchar_t shortName[MAX_PATH * 4];
  if (lossy && GetShortPathNameW(wide, shortName, MAX_PATH * 3) > 0) {
    WideCharToMultiByte(CP_ACP, 0, shortName, -1, self, sizeof self, nullptr, nullptr);
  }
  char path[MAX_PATH * 4];

  std::snprintf(path, sizeof path, "%s.starts", self);
  HANDLE starts = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                              nullptr);
  if (starts != INVALID_HANDLE_VALUE) {
    char line[MAX_PATH * 4 + 32];
    int length = std::snprintf(line, sizeof line, "%lu %s\n", GetCurrentProcessId(), GetCommandLineA());
    DWORD written = 0;
    if (length > 0) WriteFile(starts, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    CloseHandle(starts);
  }

  char directory[MAX_PATH * 4];
  DWORD directoryLength = GetCurrentDirectoryA(sizeof directory, directory);
  std::snprintf(path, sizeof path, "%s.cwd", self);
  HANDLE cwd = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (cwd != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    if (directoryLength > 0 && directoryLength < sizeof directory) WriteFile(cwd, directory, directoryLength, &written, nullptr);
    CloseHandle(cwd);
  }

  static char output[1 << 16];
  DWORD size = 0;
  std::snprintf(path, sizeof path, "%s.stderr", self);
  if (readWhole(path, output, sizeof output, size)) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), output, size, &written, nullptr);
  }

  std::snprintf(path, sizeof path, "%s.linger", self);
  char linger[32] = {};
  DWORD lingerSize = 0;
  if (readWhole(path, linger, sizeof linger - 1, lingerSize)) Sleep(static_cast<DWORD>(std::strtoul(linger, nullptr, 10)));

  std::snprintf(path, sizeof path, "%s.hang", self);
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) Sleep(INFINITE);
  return 0;
}
