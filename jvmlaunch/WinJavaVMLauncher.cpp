// The Win32 side of the launch: environment, directory listing, the module
// file name and the ANSI code page conversion of program arguments.
#include <windows.h>

#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/Limits.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "jvmsearch/WinPaths.h"

namespace plimo {

namespace {

class WinLaunchPlatform : public LaunchPlatform {
 public:
  explicit WinLaunchPlatform(RuntimeExitHook exitHook) : exitHook_(exitHook) {}

  bool environmentVariable(const PageText& name, AnsiText& value) override {
    // A value longer than the buffer makes the call return the size it
    // needs; ask again with that size (the value may change in between).
    std::string buffer(VALUE_BUFFER_SIZE, '\0');
    for (;;) {
      SetLastError(ERROR_SUCCESS);
      DWORD length = GetEnvironmentVariableA(name.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
        value.clear();
        return true;
      }
      if (length < buffer.size()) {
        value.assign(buffer.data(), length);
        return true;
      }
      buffer.assign(length, '\0');
    }
  }

  bool fileExists(const AnsiText& path) override { return plimo::fileExists(path.c_str()); }

  AnsiText resolveAgainstExeDir(const AnsiText& path) override { return plimo::resolveAgainstExeDir(path); }

  AnsiText normalizePath(const AnsiText& path) override { return plimo::normalizePath(path); }

  std::vector<AnsiText> listDirectoryMatches(const AnsiText& dir, const std::string& ext) override {
    std::string pattern = dir + "\\*";
    if (ext.empty() || ext[0] != '.') pattern += '.';
    pattern += ext;
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(pattern.c_str(), &entry));
    if (find.get() == INVALID_HANDLE_VALUE) return names;
    do {
      names.emplace_back(entry.cFileName);
    } while (FindNextFileA(find.get(), &entry));
    return names;
  }

  AnsiText moduleFileName() override { return moduleFilePath(); }

  std::u16string toUtf16(const PageText& text) override {
    std::wstring wide = wideFrom(text.c_str(), installerCodePage());
    return std::u16string(wide.begin(), wide.end());
  }

  std::u16string commandLineToUtf16(const Utf8Text& text) override {
    std::wstring wide = wideFrom(text.c_str(), CP_UTF8);
    return std::u16string(wide.begin(), wide.end());
  }

  AnsiText commandLineToSystem(const Utf8Text& text) override {
    return ansiValue(wideFrom(text.c_str(), CP_UTF8).c_str());
  }

  RuntimeExitHook exitHook() override { return exitHook_; }

 private:
  RuntimeExitHook exitHook_;
};

}  // namespace

bool launchJvm(int jniVersion, const char* utf8CommandLine, const char* ansiCommFile, const char* ansiSemaphoreName,
               const char* ansiTempDir, RuntimeExitHook exitHook) {
  WinLaunchPlatform platform(exitHook);
  return launchJvm(platform, static_cast<jint>(jniVersion), utf8CommandLine != nullptr ? utf8CommandLine : "",
                   ansiCommFile, ansiSemaphoreName, ansiTempDir != nullptr ? ansiTempDir : "");
}

}  // namespace plimo
