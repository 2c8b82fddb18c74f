#include "jvmsearch/SearchRules.h"

#include <cstring>

#include "block/ConfigStore.h"

namespace plimo {

namespace {

bool endsWithNoCase(const std::string& text, const char* suffix) {
  std::size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[text.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

const char* const VM_TYPE_DIRECTORIES[4] = {"hotspot", "client", "server", "classic"};

std::vector<SearchEntry> parseSearchSequence(const PageText& sequence) {
  std::vector<SearchEntry> entries;
  std::size_t pos = 0;
  while (pos < sequence.size()) {
    std::size_t end = sequence.find(';', pos);
    if (end == std::string::npos) end = sequence.size();
    if (end > pos) entries.push_back({sequence[pos], sequence.substr(pos + 1, end - pos - 1)});
    pos = end + 1;
  }
  return entries;
}

const char* fallbackVariable(char launcherKind) {
  if (launcherKind == 'e') return "PLIMO_JAVA_HOME";
  if (launcherKind == 'i') return "SORBILANE_JAVA_HOME";
  return nullptr;
}

SourceMessage messageForSource(JvmSourceKind kind) {
  switch (kind) {
    case JvmSourceKind::NotFound:
      return {msg::NO_JVM, nullptr};
    case JvmSourceKind::FromSearchPath:
      return {msg::JVM_ON_PATH_DAMAGED, nullptr};
    case JvmSourceKind::FromEnvironment:
      return {msg::JVM_OF_VARIABLE_DAMAGED, "%ENV_VAR_NAME%"};
    case JvmSourceKind::FromDefinedPath:
      return {msg::JVM_AT_PATH_DAMAGED, "%DEFINED_PATH%"};
    case JvmSourceKind::FromRegistry:
      break;
  }
  return {msg::JVM_NOT_STARTED, nullptr};
}

const char* sourceKindName(JvmSourceKind kind) {
  switch (kind) {
    case JvmSourceKind::NotFound:
      return "nothing";
    case JvmSourceKind::FromSearchPath:
      return "search path";
    case JvmSourceKind::FromDefinedPath:
      return "defined path";
    case JvmSourceKind::FromEnvironment:
      return "environment";
    case JvmSourceKind::FromRegistry:
      return "registry";
  }
  return "?";
}

AnsiText windowedJavaExe(const AnsiText& javaExe) {
  if (endsWithNoCase(javaExe, "javaw.exe") || javaExe.size() < 4) return javaExe;
  return javaExe.substr(0, javaExe.size() - 4) + "w.exe";
}

AnsiText javaExeDirectory(const AnsiText& javaExe) {
  std::size_t cut = endsWithNoCase(javaExe, "javaw.exe") ? 9 : 8;
  return javaExe.size() < cut ? std::string() : javaExe.substr(0, javaExe.size() - cut);
}

std::vector<AnsiText> jvmLibrariesBeside(const AnsiText& javaExe, const PageText& preferredType) {
  std::string dir = javaExeDirectory(javaExe);
  std::vector<std::string> libraries;
  if (!preferredType.empty()) libraries.push_back(dir + preferredType + "\\jvm.dll");
  for (const char* type : VM_TYPE_DIRECTORIES) libraries.push_back(dir + type + "\\jvm.dll");
  return libraries;
}

AnsiText privateJreJavaExe(const AnsiText& javaExe) { return javaExeDirectory(javaExe) + "../jre/bin/java.exe"; }

std::string withoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

AnsiText registryKeyForPath(const AnsiText& path, const std::string& prefix, const CodePage& ansi) {
  std::string key = prefix;
  for (std::size_t at = 0; at < path.size();) {
    std::size_t length = ansi.charLength(path, at);
    if (path[at] == '\\') {
      key += '/';
    } else {
      key.append(path, at, length);
    }
    at += length;
  }
  return key;
}

AnsiText pathFromKeyName(const AnsiText& keyName) {
  std::string path = keyName;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace plimo
