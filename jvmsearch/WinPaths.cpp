#include <windows.h>

#include <cstring>

#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/Lasting.h"
#include "block/Limits.h"
#include "jvmsearch/PathText.h"
#include "jvmsearch/WinPaths.h"

namespace plimo {

namespace {

std::string exePathCache;
bool exePathFilled = false;
std::string exeDirCache;
bool exeDirFilled = false;

const AnsiText& executableDirectory() {
  if (exeDirFilled) return exeDirCache;
  std::string exe = executablePath();
  std::string dir;
  if (!exe.empty()) {
    std::size_t fileName = 0;
    std::string full = fullPathName(exe, &fileName);
    dir = full.substr(0, fileName);
  }
  if (dir.empty()) {
    // The command line's program name was unusable (an unclosed quote): the
    // directory of the module actually running is the one place that still
    // means "beside the executable".
    dir = directoryPart(moduleFilePath(), ansiCodePage());
    lowerCaseAscii(dir, ansiCodePage());
  }
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  exeDirCache = dir;
  exeDirFilled = true;
  return exeDirCache;
}

}  // namespace

// GetFullPathNameA into a path buffer; empty when it fails or would not fit.
AnsiText fullPathName(const AnsiText& path, std::size_t* fileNameOffset) {
  char buffer[PATH_BUFFER_SIZE];
  char* filePart = nullptr;
  DWORD n = GetFullPathNameA(path.c_str(), PATH_BUFFER_SIZE, buffer, &filePart);
  if (n == 0 || n >= PATH_BUFFER_SIZE) return std::string();
  if (fileNameOffset != nullptr) {
    *fileNameOffset = filePart != nullptr ? static_cast<std::size_t>(filePart - buffer) : n;
  }
  return std::string(buffer, n);
}

bool fileExists(const char* ansiPath) {
  if (std::strlen(ansiPath) >= 2 && isDriveRoot(ansiPath)) return true;
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(ansiPath, &entry));
  return find.get() != INVALID_HANDLE_VALUE;
}

bool findFileTime(const char* ansiPath, std::uint64_t* time) {
  WIN32_FIND_DATAA entry;
  UniqueFind find(FindFirstFileA(ansiPath, &entry));
  if (find.get() == INVALID_HANDLE_VALUE) return false;
  if (time != nullptr) {
    *time = (static_cast<std::uint64_t>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
            entry.ftLastWriteTime.dwLowDateTime;
  }
  return true;
}

AnsiText moduleFilePath() {
  // Asked for by several launch steps; the short-name lookup is done once.
  // Never destroyed: the worker may still ask while the process ends.
  static Lasting<std::string> cache;
  static bool filled = false;
  if (filled) return cache.get();
  wchar_t module[PATH_BUFFER_SIZE];
  DWORD n = GetModuleFileNameW(nullptr, module, PATH_BUFFER_SIZE);
  if (n == 0 || n >= PATH_BUFFER_SIZE) return std::string();
  cache.get() = ansiPathOrFatal(module);
  filled = true;
  return cache.get();
}

const char* executablePath() {
  if (exePathFilled) return exePathCache.c_str();
  // The program name as typed, read from the wide command line: its folder
  // may hold characters the ANSI code page has not, and then stands in the
  // class path and the VM's properties by its short name.
  std::string name;
  if (!programNameFromCommandLine(utf8From(GetCommandLineW()).c_str(), name)) return "";
  if (name.size() > MAX_VALUE_LENGTH) return "";
  wchar_t wide[PATH_BUFFER_SIZE];
  DWORD n = GetFullPathNameW(wideFrom(name.c_str(), CP_UTF8).c_str(), PATH_BUFFER_SIZE, wide, nullptr);
  if (n == 0 || n >= PATH_BUFFER_SIZE) return "";
  std::string full = ansiPathOrFatal(wide);
  lowerCaseAscii(full, ansiCodePage());
  exePathCache = full;
  exePathFilled = true;
  return exePathCache.c_str();
}

AnsiText resolveAgainstExeDir(const AnsiText& source) {
  return joinWithExeDir(isRelativePath(source.c_str()) ? executableDirectory() : std::string(), source,
                        ansiCodePage());
}

AnsiText normalizePath(const AnsiText& source) {
  std::string joined = resolveAgainstExeDir(source);
  if (joined.empty()) return std::string();
  std::string full = fullPathName(joined);
  CodePage ansi = ansiCodePage();
  lowerCaseAscii(full, ansi);
  collapseBackslashes(full, ansi);
  return full;
}

}  // namespace plimo
