#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "jvmlaunch/JniEntry.h"
#include "jvmsearch/JavaVersion.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/JvmSearch.h"
#include "jvmsearch/WinRegistry.h"
#include "jvmsearch/PathText.h"
#include "jvmsearch/Paths.h"
#include "launcher/ConfigStore.h"
#include "launcher/ErrorReport.h"
#include "launcher/Limits.h"
#include "launcher/Trace.h"
#include "launcher/WinHandles.h"
#include "launcher/WinText.h"

namespace plimo {

namespace {


// "CurrentVersion" is read into a buffer of this size; a longer value is no
// version name.
constexpr std::size_t CURRENT_VERSION_CAPACITY = 100;

}  // namespace

bool readRegistryString(RegistryRoot root, const std::string& subkey, const char* valueName, std::string& value,
                        std::size_t capacity) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(rootKey(root), subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  UniqueKey key(opened);
  // Read wide: a runtime home in a folder the ANSI code page cannot hold is
  // taken by its short name instead of a garbled one.
  std::wstring buffer(capacity + 1, L'\0');
  DWORD size = static_cast<DWORD>(capacity * sizeof(wchar_t));
  std::wstring name = wideFrom(valueName, CP_ACP);
  if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&buffer[0]), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  buffer[std::min<std::size_t>(size / sizeof(wchar_t), capacity)] = L'\0';
  value = ansiValue(buffer.c_str());
  return true;
}

bool readPreferredJre(std::string& line) {
  std::string base = normalizePath(getConfigString(cfg::BASE_DIRECTORY));
  // Without a base the name would start at the root of the current drive and
  // read some other program's file.
  if (base.empty()) {
    trace("preferred runtime file: no usable base directory");
    return false;
  }
  std::string file = base + "\\.sorbilane\\pref_jre.cfg";
  collapseBackslashes(file);
  std::FILE* in = std::fopen(file.c_str(), "rt");
  if (in == nullptr) {
    trace("preferred runtime file %s: absent", file.c_str());
    return false;
  }
  char buffer[VALUE_BUFFER_SIZE];
  bool read = std::fgets(buffer, sizeof buffer, in) != nullptr;
  std::fclose(in);
  if (!read) {
    trace("preferred runtime file %s: empty", file.c_str());
    return false;
  }
  line = withoutLineEnd(buffer);
  trace("preferred runtime file %s: names \"%s\"", file.c_str(), line.c_str());
  return true;
}

bool jvmFromEnvironment(std::string& candidate, const std::string& name, const std::string& minimum,
                        const std::string& maximum) {
  wchar_t wide[VALUE_BUFFER_SIZE];
  DWORD n = GetEnvironmentVariableW(wideFrom(name.c_str(), CP_ACP).c_str(), wide, VALUE_BUFFER_SIZE);
  if (n == 0 || n >= VALUE_BUFFER_SIZE) {
    trace("variable %s: %s", name.c_str(), n == 0 ? "not set" : "too long");
    return false;
  }
  std::string value = ansiValue(wide);
  trace("variable %s: home %s", name.c_str(), value.c_str());
  candidate = javaExeForHome(value);
  return verifyJavaExe(candidate, minimum, maximum, false);
}

bool jvmFromDirectory(std::string& candidate, const std::string& directory, const std::string& minimum,
                      const std::string& maximum) {
  std::string home = normalizePath(directory);
  trace("directory \"%s\": home %s", directory.c_str(), home.c_str());
  if (home.empty()) return false;
  candidate = javaExeForHome(home);
  return verifyJavaExe(candidate, minimum, maximum, true);
}

bool jvmFromSearchPath(std::string& candidate, const std::string& minimum, const std::string& maximum) {
  wchar_t found[PATH_BUFFER_SIZE];
  DWORD n = SearchPathW(nullptr, L"java.exe", nullptr, PATH_BUFFER_SIZE, found, nullptr);
  if (n == 0 || n >= PATH_BUFFER_SIZE) {
    trace("search path: no java.exe");
    return false;
  }
  candidate = ansiValue(found);
  trace("search path: %s", candidate.c_str());
  return verifyJavaExe(candidate, minimum, maximum, false);
}

bool jvmFromCurrentVersion(std::string& candidate, std::string& version, const std::string& minimum,
                           const std::string& maximum, const char* devKitFamily, const char* runtimeFamily) {
  std::string devKit, runtime;
  if (!readRegistryString(RegistryRoot::LocalMachine, devKitFamily, "CurrentVersion", devKit,
                          CURRENT_VERSION_CAPACITY) ||
      !versionNameInRange(devKit, minimum, maximum)) {
    devKit.clear();
  }
  if (!readRegistryString(RegistryRoot::LocalMachine, runtimeFamily, "CurrentVersion", runtime,
                          CURRENT_VERSION_CAPACITY) ||
      !versionNameInRange(runtime, minimum, maximum)) {
    runtime.clear();
  }
  std::string key = compareVersions(devKit, runtime) > 0 ? std::string(devKitFamily) + "\\" + devKit
                                                          : std::string(runtimeFamily) + "\\" + runtime;
  trace("registry: CurrentVersion \"%s\" (%s), \"%s\" (%s): trying %s", devKit.c_str(), devKitFamily,
        runtime.c_str(), runtimeFamily, key.c_str());
  std::string home;
  if (!readRegistryString(RegistryRoot::LocalMachine, key, "JavaHome", home, VALUE_BUFFER_SIZE)) {
    trace("registry: %s has no JavaHome", key.c_str());
    return false;
  }
  candidate = javaExeForHome(home);
  return verifyJavaExeVersion(candidate, version, minimum, maximum, false);
}

bool jvmFromJavaSoftSubkeys(std::string& candidate, std::string& version, const std::string& minimum,
                            const std::string& maximum, const char* familyKey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, familyKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    trace("registry: no %s", familyKey);
    return false;
  }
  UniqueKey family(opened);
  std::vector<std::string> names;
  for (DWORD index = 0;; ++index) {
    char name[PATH_BUFFER_SIZE];
    DWORD size = sizeof name;
    LONG result = RegEnumKeyExA(family.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    std::string version(name, size);
    if (versionNameInRange(version, minimum, maximum)) {
      names.push_back(version);
    } else {
      trace("registry: %s\\%s outside the range", familyKey, name);
    }
  }
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return compareVersions(a, b) < 0; });
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    std::string key = std::string(familyKey) + "\\" + *it;
    std::string home;
    if (!readRegistryString(RegistryRoot::LocalMachine, key, "JavaHome", home, VALUE_BUFFER_SIZE)) {
      trace("registry: %s has no JavaHome", key.c_str());
      continue;
    }
    trace("registry: %s names %s", key.c_str(), home.c_str());
    candidate = javaExeForHome(home);
    if (verifyJavaExeVersion(candidate, version, minimum, maximum, false)) return true;
  }
  return false;
}

bool jvmFromJavaSoft(std::string& candidate, std::string& version, const std::string& minimum,
                     const std::string& maximum) {
  if (jvmFromCurrentVersion(candidate, version, minimum, maximum) ||
      jvmFromJavaSoftSubkeys(candidate, version, minimum, maximum, JAVASOFT_JRE_KEY) ||
      jvmFromJavaSoftSubkeys(candidate, version, minimum, maximum, JAVASOFT_JDK_KEY)) {
    return true;
  }
  // Java 9 and later register under shorter family names.
  return jvmFromCurrentVersion(candidate, version, minimum, maximum, JAVASOFT_MODERN_JDK_KEY,
                               JAVASOFT_MODERN_JRE_KEY) ||
         jvmFromJavaSoftSubkeys(candidate, version, minimum, maximum, JAVASOFT_MODERN_JRE_KEY) ||
         jvmFromJavaSoftSubkeys(candidate, version, minimum, maximum, JAVASOFT_MODERN_JDK_KEY);
}

bool jvmFromRegistry(std::string& candidate, const std::string& minimum, const std::string& maximum) {
  std::string javaSoftPath, javaSoftVersion, locatedPath, locatedVersion;
  bool javaSoft = jvmFromJavaSoft(javaSoftPath, javaSoftVersion, minimum, maximum);
  bool located = bestLocatedJvm(locatedPath, locatedVersion, minimum, maximum);
  if (!javaSoft && !located) return false;
  // Equal versions choose the runtime the user picked.
  if (javaSoft && (!located || compareVersions(javaSoftVersion, locatedVersion) > 0)) {
    candidate = javaSoftPath;
  } else {
    candidate = locatedPath;
  }
  trace("registry: chose %s", candidate.c_str());
  return true;
}

JvmSourceKind runSearchSequence(std::string& candidate, std::string& sourceName) {
  std::string sequence = getConfigString(cfg::SEARCH_SEQUENCE);
  std::string minimum = getConfigString(cfg::MIN_VERSION);
  std::string maximum = getConfigString(cfg::MAX_VERSION);
  trace("search: sequence \"%s\", range [%s, %s]", sequence.c_str(), minimum.c_str(), maximum.c_str());

  std::string line;
  if (readPreferredJre(line) && jvmFromDirectory(candidate, line, minimum, maximum)) {
    sourceName = line;
    return JvmSourceKind::FromDefinedPath;
  }
  for (const SearchEntry& entry : parseSearchSequence(sequence)) {
    trace("search: entry %c \"%s\"", entry.letter, entry.argument.c_str());
    switch (entry.letter) {
      case 'E':
        if (jvmFromEnvironment(candidate, entry.argument, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromEnvironment;
        }
        break;
      case 'A':
      case 'R':
        if (jvmFromDirectory(candidate, entry.argument, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromDefinedPath;
        }
        break;
      case 'S':
        if (jvmFromSearchPath(candidate, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromSearchPath;
        }
        break;
      case 'Y':
        if (jvmFromRegistry(candidate, minimum, maximum)) return JvmSourceKind::FromRegistry;
        break;
      default:
        trace("search: entry ignored");
        break;
    }
  }
  if (const char* variable = fallbackVariable(launcherKind())) {
    if (jvmFromEnvironment(candidate, variable, minimum, maximum)) {
      sourceName = variable;
      return JvmSourceKind::FromEnvironment;
    }
  }
  return JvmSourceKind::NotFound;
}

bool bindCreateJavaVm(void* module) {
  FARPROC entry = GetProcAddress(static_cast<HMODULE>(module), "JNI_CreateJavaVM");
  if (entry == nullptr) {
    trace("library: no JNI_CreateJavaVM");
    return false;
  }
  createJavaVmEntry = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
  return true;
}

bool locateJvm(bool reportErrors, const char* givenPath, bool givenIsJavaExe) {
  std::string candidate;
  std::string sourceName;
  JvmSourceKind kind = JvmSourceKind::NotFound;
  if (givenPath != nullptr) {
    std::string minimum = getConfigString(cfg::MIN_VERSION);
    std::string maximum = getConfigString(cfg::MAX_VERSION);
    trace("search: given %s \"%s\"", givenIsJavaExe ? "runtime" : "home", givenPath);
    candidate = givenPath;
    if ((givenIsJavaExe && verifyJavaExe(candidate, minimum, maximum, true)) ||
        jvmFromDirectory(candidate, givenPath, minimum, maximum)) {
      kind = JvmSourceKind::FromDefinedPath;
      sourceName = givenPath;
    }
  } else {
    kind = runSearchSequence(candidate, sourceName);
  }
  if (kind == JvmSourceKind::NotFound) {
    trace("search: no runtime found");
    if (reportErrors) showConfigMessage(msg::NO_JVM, nullptr, nullptr);
    return false;
  }
  trace("search: %s from %s \"%s\"", candidate.c_str(), sourceKindName(kind), sourceName.c_str());
  void* module = loadJvmLibrary(candidate);
  if (module != nullptr && bindCreateJavaVm(module)) {
    trace("search: runtime library bound");
    return true;
  }
  trace("search: runtime library of %s unusable", candidate.c_str());
  if (reportErrors) {
    SourceMessage message = messageForSource(kind);
    showConfigMessage(message.id, message.placeholder, message.placeholder ? sourceName.c_str() : nullptr);
  }
  return false;
}

}  // namespace plimo
