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
  // Arguments arrive in UTF-8 on this platform.
  std::u16string toUtf16(const std::string& text) override {
    std::u16string wide;
    for (std::size_t i = 0; i < text.size();) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
      char32_t code = extra == 0 ? c : c & (0x3F >> extra);
      ++i;
      for (int k = 0; k < extra && i < text.size(); ++k, ++i) code = (code << 6) | (text[i] & 0x3F);
      if (code >= 0x10000) {
        code -= 0x10000;
        wide += static_cast<char16_t>(0xD800 + (code >> 10));
        wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      } else {
        wide += static_cast<char16_t>(code);
      }
    }
    return wide;
  }
};

}  // namespace plimo::test
