#pragma once
// The launch platform on Linux, for hosting a real JDK in the native tests
// and the benchmark. Paths use "/" here; the class path form is the
// launcher's own and the Java side does not read it on this platform.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "jvmlaunch/JavaVMLauncher.h"
#include "tests/jvmlaunch/Utf8Text.h"

namespace plimo::test {

class LinuxLaunchPlatform : public LaunchPlatform {
 public:
  bool environmentVariable(const std::string& name, std::string& value) override {
    const char* found = std::getenv(name.c_str());
    if (found == nullptr) return false;
    value = found;
    return true;
  }
  bool fileExists(const std::string& path) override {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
  }
  std::string resolveAgainstExeDir(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return path;
    std::string module = moduleFileName();
    return module.substr(0, module.rfind('/') + 1) + path;
  }
  std::string normalizePath(const std::string& path) override { return resolveAgainstExeDir(path); }
  std::vector<std::string> listDirectoryMatches(const std::string& dir, const std::string& ext) override {
    std::vector<std::string> names;
    std::string pattern = "*." + ext;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (dirent* entry = ::readdir(d)) {
      if (::fnmatch(pattern.c_str(), entry->d_name, 0) == 0) names.emplace_back(entry->d_name);
    }
    ::closedir(d);
    return names;
  }
  std::string moduleFileName() override {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }
  // Arguments arrive in UTF-8 on this platform, and the VM reads options in it.
  std::u16string toUtf16(const std::string& text) override { return test::decodeUtf8(text); }
  std::u16string commandLineToUtf16(const std::string& text) override { return test::decodeUtf8(text); }
  std::string commandLineToSystem(const std::string& text) override { return text; }
  // Set by the host that wants the VM to call back on System.exit.
  RuntimeExitHook hook = nullptr;
  RuntimeExitHook exitHook() override { return hook; }
};

}  // namespace plimo::test
