#pragma once
// A launch platform answered from tables, for the portable launch tests.
#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jvmlaunch/JavaVMLauncher.h"
#include "tests/jvmlaunch/Utf8Text.h"

namespace plimo::test {

class TablePlatform : public LaunchPlatform {
 public:
  std::string exeDir = "c:\\setup\\";
  std::string module = "c:\\setup\\setup.exe";
  std::map<std::string, std::string> environment;
  std::set<std::string> existing;
  // Directory listing by "<dir>|<ext>".
  std::map<std::string, std::vector<std::string>> listings;

  bool environmentVariable(const std::string& name, std::string& value) override {
    auto it = environment.find(name);
    if (it == environment.end()) return false;
    value = it->second;
    return true;
  }
  bool fileExists(const std::string& path) override { return existing.count(path) != 0; }
  std::string resolveAgainstExeDir(const std::string& path) override {
    bool absolute = (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
    std::string joined = absolute ? path : exeDir + path;
    std::string collapsed;
    for (char c : joined) {
      if (c == '\\' && !collapsed.empty() && collapsed.back() == '\\') continue;
      collapsed += c;
    }
    return collapsed;
  }
  std::string normalizePath(const std::string& path) override {
    std::string resolved = resolveAgainstExeDir(path);
    if (resolved.size() > 1 && resolved.back() == '.' && resolved[resolved.size() - 2] == '\\') resolved.resize(resolved.size() - 2);
    std::transform(resolved.begin(), resolved.end(), resolved.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return resolved;
  }
  std::vector<std::string> listDirectoryMatches(const std::string& dir, const std::string& ext) override {
    auto it = listings.find(dir + "|" + ext);
    return it == listings.end() ? std::vector<std::string>() : it->second;
  }
  std::string moduleFileName() override { return module; }
  // Latin-1, enough for the tables.
  std::u16string toUtf16(const std::string& text) override {
    std::u16string wide;
    for (unsigned char c : text) wide += static_cast<char16_t>(c);
    return wide;
  }
  std::u16string commandLineToUtf16(const std::string& text) override { return decodeUtf8(text); }
  // The system code page of the tables: Latin-1, '?' for what it lacks.
  std::string commandLineToSystem(const std::string& text) override {
    std::string narrow;
    for (char16_t unit : decodeUtf8(text)) narrow += unit < 0x100 ? static_cast<char>(unit) : '?';
    return narrow;
  }
  RuntimeExitHook exitHook() override { return nullptr; }
};

}  // namespace plimo::test
