// The runtime search's decisions over a SearchPlatform; nothing here touches
// the system itself.
#include "jvmsearch/JvmSearch.h"

#include "base/ErrorReport.h"
#include "base/Trace.h"
#include "block/ConfigStore.h"
#include "block/Lasting.h"
#include "block/Limits.h"
#include "jvmsearch/JavaVersion.h"
#include "jvmsearch/PathText.h"

namespace plimo {

namespace {

// "CurrentVersion" is read into a buffer of this size; a longer value is no
// version name.
constexpr std::size_t CURRENT_VERSION_CAPACITY = 100;

// Read by the worker, which may still run while the process ends.
Lasting<AnsiText> otherProcessorStore;

const char* rootName(RegistryRoot root) { return root == RegistryRoot::CurrentUser ? "HKCU" : "HKLM"; }

// The list key itself, without the separator that ends its prefix.
std::string locatedListKey() {
  std::string key = LOCATED_JVMS_KEY;
  key.pop_back();
  return key;
}

// Of two candidates, the first when it is found and the second is not or has
// a strictly lower version; ties go to the second.
bool firstWins(bool first, const std::string& firstVersion, bool second, const std::string& secondVersion) {
  return first && (!second || compareVersions(firstVersion, secondVersion) > 0);
}

// The highest-versioned runtime of the located list under one root.
bool bestLocatedJvmUnder(SearchPlatform& platform, RegistryRoot root, AnsiText& path, std::string& version,
                         const std::string& minimum, const std::string& maximum) {
  std::vector<std::string> names;
  if (!platform.registrySubkeys(root, locatedListKey(), names)) return false;
  std::string best;
  bool found = false;
  for (const std::string& name : names) {
    std::string candidate = pathFromKeyName(name);
    std::string candidateVersion;
    trace("located list %s: %s", rootName(root), candidate.c_str());
    if (verifyJavaExeVersion(platform, candidate, candidateVersion, minimum, maximum, true) &&
        compareVersions(candidateVersion, best) > 0) {
      best = candidateVersion;
      version = candidateVersion;
      path = candidate;
      found = true;
    }
  }
  return found;
}

}  // namespace

AnsiText javaExeForHome(SearchPlatform& platform, const AnsiText& home) {
  std::string nested = home + "\\jre\\bin\\java.exe";
  if (platform.fileExists(nested)) return nested;
  return home + "\\bin\\java.exe";
}

std::string fileTimeBytes(std::uint64_t time) {
  std::string bytes(8, '\0');
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(static_cast<unsigned char>(time >> (8 * i)));
  return bytes;
}

bool versionCacheAnswers(const std::string& storedTime, const std::string& version, std::uint64_t time) {
  return storedTime == fileTimeBytes(time) && !version.empty();
}

void storeJvmVersion(SearchPlatform& platform, const AnsiText& path, std::uint64_t lastWriteTime,
                     const std::string& version) {
  platform.writeVersionCache(path, fileTimeBytes(lastWriteTime), version);
}

bool lookupJvmVersion(SearchPlatform& platform, const AnsiText& path, std::uint64_t lastWriteTime,
                      std::string& version) {
  std::string storedTime, stored;
  if (!platform.readVersionCache(path, storedTime, stored) || !versionCacheAnswers(storedTime, stored, lastWriteTime)) {
    return false;
  }
  version = stored;
  return true;
}

bool verifyJavaExeVersion(SearchPlatform& platform, AnsiText& path, std::string& version,
                          const std::string& minimum, const std::string& maximum, bool allowBeta) {
  std::string given = path;
  path = platform.normalizePath(path);
  version.clear();
  std::uint64_t time = 0;
  if (path.empty() || !platform.fileTime(path, time)) {
    trace("candidate %s: no such file", given.c_str());
    return false;
  }
  // Checked before the cache and the probe: a 64-bit runtime named by
  // JAVA_HOME must not stop a 32-bit launcher's search as a damaged one. A
  // header that cannot be read leaves the decision to the probe.
  std::uint16_t machine = 0;
  if (platform.executableMachine(path, machine) && machine != platform.ownMachine()) {
    trace("candidate %s: rejected, built for another processor (machine 0x%x, this launcher 0x%x)", path.c_str(),
          static_cast<unsigned>(machine), static_cast<unsigned>(platform.ownMachine()));
    if (otherProcessorStore.get().empty()) otherProcessorStore.get() = path;
    return false;
  }
  if (lookupJvmVersion(platform, path, time, version)) {
    trace("candidate %s: cached version \"%s\"", path.c_str(), version.c_str());
  } else if (platform.probeVersion(path, version)) {
    storeJvmVersion(platform, path, time, version);
  } else {
    trace("candidate %s: rejected, probe failed", path.c_str());
    return false;
  }
  if (!versionAcceptable(version, minimum, maximum, allowBeta)) {
    trace("candidate %s: rejected, version \"%s\" outside [%s, %s]%s", path.c_str(), version.c_str(),
          minimum.c_str(), maximum.c_str(), allowBeta ? "" : " or beta");
    return false;
  }
  if (getConfigInt(cfg::APPLICATION_TYPE) == 1) {
    path = windowedJavaExe(path);
    if (!platform.fileExists(path)) {
      trace("candidate %s: rejected, no windowed runtime", path.c_str());
      return false;
    }
  }
  trace("candidate %s: accepted, version \"%s\"", path.c_str(), version.c_str());
  return true;
}

bool verifyJavaExe(SearchPlatform& platform, AnsiText& path, const std::string& minimum,
                   const std::string& maximum, bool allowBeta) {
  std::string version;
  return verifyJavaExeVersion(platform, path, version, minimum, maximum, allowBeta);
}

bool bestLocatedJvm(SearchPlatform& platform, AnsiText& path, std::string& version, const std::string& minimum,
                    const std::string& maximum) {
  std::string userPath, userVersion, machinePath, machineVersion;
  bool user = bestLocatedJvmUnder(platform, RegistryRoot::CurrentUser, userPath, userVersion, minimum, maximum);
  bool machine =
      bestLocatedJvmUnder(platform, RegistryRoot::LocalMachine, machinePath, machineVersion, minimum, maximum);
  if (!user && !machine) return false;
  if (firstWins(user, userVersion, machine, machineVersion)) {
    path = userPath;
    version = userVersion;
  } else {
    path = machinePath;
    version = machineVersion;
  }
  trace("located list: best %s, version \"%s\"", path.c_str(), version.c_str());
  return true;
}

bool readPreferredJre(SearchPlatform& platform, AnsiText& line) {
  std::string base = platform.normalizePath(getConfigString(cfg::BASE_DIRECTORY));
  // Without a base the name would start at the root of the current drive and
  // read some other program's file.
  if (base.empty()) {
    trace("preferred runtime file: no usable base directory");
    return false;
  }
  // Normalised again rather than collapsed here: the platform knows the ANSI
  // code page, in which a base ending in a double-byte character may end in a
  // 0x5C byte that is no separator.
  std::string file = platform.normalizePath(base + "\\.sorbilane\\pref_jre.cfg");
  std::string first;
  if (!platform.readFirstLine(file, first)) {
    trace("preferred runtime file %s: absent or empty", file.c_str());
    return false;
  }
  line = withoutLineEnd(first);
  trace("preferred runtime file %s: names \"%s\"", file.c_str(), line.c_str());
  return true;
}

bool jvmFromEnvironment(SearchPlatform& platform, AnsiText& candidate, const PageText& name,
                        const std::string& minimum, const std::string& maximum) {
  std::string value;
  if (!platform.environmentValue(name, value)) {
    trace("variable %s: not set, or too long", name.c_str());
    return false;
  }
  trace("variable %s: home %s", name.c_str(), value.c_str());
  candidate = javaExeForHome(platform, value);
  return verifyJavaExe(platform, candidate, minimum, maximum, false);
}

bool jvmFromDirectory(SearchPlatform& platform, AnsiText& candidate, const std::string& directory,
                      const std::string& minimum, const std::string& maximum) {
  std::string home = platform.normalizePath(directory);
  trace("directory \"%s\": home %s", directory.c_str(), home.c_str());
  if (home.empty()) return false;
  candidate = javaExeForHome(platform, home);
  return verifyJavaExe(platform, candidate, minimum, maximum, true);
}

bool jvmFromSearchPath(SearchPlatform& platform, AnsiText& candidate, const std::string& minimum,
                       const std::string& maximum) {
  if (!platform.javaExeOnSearchPath(candidate)) {
    trace("search path: no java.exe");
    return false;
  }
  trace("search path: %s", candidate.c_str());
  return verifyJavaExe(platform, candidate, minimum, maximum, false);
}

bool jvmFromCurrentVersion(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                           const std::string& minimum, const std::string& maximum, const char* devKitFamily,
                           const char* runtimeFamily) {
  // A family's CurrentVersion counts only when it is in the range.
  auto currentVersion = [&](const char* family) {
    std::string name;
    if (!platform.registryString(RegistryRoot::LocalMachine, family, "CurrentVersion", name,
                                 CURRENT_VERSION_CAPACITY) ||
        !versionNameInRange(name, minimum, maximum)) {
      name.clear();
    }
    return name;
  };
  std::string devKit = currentVersion(devKitFamily);
  std::string runtime = currentVersion(runtimeFamily);
  std::string key = compareVersions(devKit, runtime) > 0 ? std::string(devKitFamily) + "\\" + devKit
                                                          : std::string(runtimeFamily) + "\\" + runtime;
  trace("registry: CurrentVersion \"%s\" (%s), \"%s\" (%s): trying %s", devKit.c_str(), devKitFamily,
        runtime.c_str(), runtimeFamily, key.c_str());
  std::string home;
  if (!platform.registryString(RegistryRoot::LocalMachine, key, "JavaHome", home, VALUE_BUFFER_SIZE)) {
    trace("registry: %s has no JavaHome", key.c_str());
    return false;
  }
  candidate = javaExeForHome(platform, home);
  return verifyJavaExeVersion(platform, candidate, version, minimum, maximum, false);
}

bool jvmFromJavaSoftSubkeys(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                            const std::string& minimum, const std::string& maximum, const char* familyKey) {
  std::vector<std::string> subkeys;
  if (!platform.registrySubkeys(RegistryRoot::LocalMachine, familyKey, subkeys)) {
    trace("registry: no %s", familyKey);
    return false;
  }
  // In range, ascending by version, equal versions in listing order. A family
  // holds a handful of versions: sorting as they come keeps the library's
  // merge sort out of the stub.
  std::vector<std::string> names;
  for (const std::string& name : subkeys) {
    if (!versionNameInRange(name, minimum, maximum)) {
      trace("registry: %s\\%s outside the range", familyKey, name.c_str());
      continue;
    }
    auto at = names.end();
    while (at != names.begin() && compareVersions(*(at - 1), name) > 0) --at;
    names.insert(at, name);
  }
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    std::string key = std::string(familyKey) + "\\" + *it;
    std::string home;
    if (!platform.registryString(RegistryRoot::LocalMachine, key, "JavaHome", home, VALUE_BUFFER_SIZE)) {
      trace("registry: %s has no JavaHome", key.c_str());
      continue;
    }
    trace("registry: %s names %s", key.c_str(), home.c_str());
    candidate = javaExeForHome(platform, home);
    if (verifyJavaExeVersion(platform, candidate, version, minimum, maximum, false)) return true;
  }
  return false;
}

bool jvmFromJavaSoft(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                     const std::string& minimum, const std::string& maximum) {
  if (jvmFromCurrentVersion(platform, candidate, version, minimum, maximum) ||
      jvmFromJavaSoftSubkeys(platform, candidate, version, minimum, maximum, JAVASOFT_JRE_KEY) ||
      jvmFromJavaSoftSubkeys(platform, candidate, version, minimum, maximum, JAVASOFT_JDK_KEY)) {
    return true;
  }
  // Java 9 and later register under shorter family names.
  return jvmFromCurrentVersion(platform, candidate, version, minimum, maximum, JAVASOFT_MODERN_JDK_KEY,
                               JAVASOFT_MODERN_JRE_KEY) ||
         jvmFromJavaSoftSubkeys(platform, candidate, version, minimum, maximum, JAVASOFT_MODERN_JRE_KEY) ||
         jvmFromJavaSoftSubkeys(platform, candidate, version, minimum, maximum, JAVASOFT_MODERN_JDK_KEY);
}

bool jvmFromRegistry(SearchPlatform& platform, AnsiText& candidate, const std::string& minimum,
                     const std::string& maximum) {
  std::string javaSoftPath, javaSoftVersion, locatedPath, locatedVersion;
  bool javaSoft = jvmFromJavaSoft(platform, javaSoftPath, javaSoftVersion, minimum, maximum);
  bool located = bestLocatedJvm(platform, locatedPath, locatedVersion, minimum, maximum);
  if (!javaSoft && !located) return false;
  candidate = firstWins(javaSoft, javaSoftVersion, located, locatedVersion) ? javaSoftPath : locatedPath;
  trace("registry: chose %s", candidate.c_str());
  return true;
}

JvmSourceKind runSearchSequence(SearchPlatform& platform, AnsiText& candidate, std::string& sourceName) {
  std::string sequence = getConfigString(cfg::SEARCH_SEQUENCE);
  std::string minimum = getConfigString(cfg::MIN_VERSION);
  std::string maximum = getConfigString(cfg::MAX_VERSION);
  trace("search: sequence \"%s\", range [%s, %s]", sequence.c_str(), minimum.c_str(), maximum.c_str());

  std::string line;
  if (readPreferredJre(platform, line) && jvmFromDirectory(platform, candidate, line, minimum, maximum)) {
    sourceName = line;
    return JvmSourceKind::FromDefinedPath;
  }
  for (const SearchEntry& entry : parseSearchSequence(sequence)) {
    trace("search: entry %c \"%s\"", entry.letter, entry.argument.c_str());
    switch (entry.letter) {
      case 'E':
        if (jvmFromEnvironment(platform, candidate, entry.argument, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromEnvironment;
        }
        break;
      case 'A':
      case 'R':
        if (jvmFromDirectory(platform, candidate, entry.argument, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromDefinedPath;
        }
        break;
      case 'S':
        if (jvmFromSearchPath(platform, candidate, minimum, maximum)) {
          sourceName = entry.argument;
          return JvmSourceKind::FromSearchPath;
        }
        break;
      case 'Y':
        if (jvmFromRegistry(platform, candidate, minimum, maximum)) return JvmSourceKind::FromRegistry;
        break;
      default:
        trace("search: entry ignored");
        break;
    }
  }
  if (const char* variable = fallbackVariable(launcherKind())) {
    if (jvmFromEnvironment(platform, candidate, variable, minimum, maximum)) {
      sourceName = variable;
      return JvmSourceKind::FromEnvironment;
    }
  }
  return JvmSourceKind::NotFound;
}

void* loadJvmLibrary(SearchPlatform& platform, const AnsiText& javaExe) {
  std::string preferredType = getConfigString(cfg::PREFERRED_VM_TYPE);
  for (const std::string& exe : {javaExe, privateJreJavaExe(javaExe)}) {
    for (const std::string& library : jvmLibrariesBeside(exe, preferredType)) {
      if (void* module = platform.loadLibrary(library, exe)) return module;
    }
  }
  return nullptr;
}

const AnsiText& otherProcessorRuntime() { return otherProcessorStore.get(); }

bool locateJvm(SearchPlatform& platform, bool reportErrors, const char* ansiGivenPath, bool givenIsJavaExe) {
  otherProcessorStore.get().clear();
  std::string candidate;
  std::string sourceName;
  JvmSourceKind kind = JvmSourceKind::NotFound;
  if (ansiGivenPath != nullptr) {
    std::string minimum = getConfigString(cfg::MIN_VERSION);
    std::string maximum = getConfigString(cfg::MAX_VERSION);
    trace("search: given %s \"%s\"", givenIsJavaExe ? "runtime" : "home", ansiGivenPath);
    candidate = ansiGivenPath;
    if ((givenIsJavaExe && verifyJavaExe(platform, candidate, minimum, maximum, true)) ||
        jvmFromDirectory(platform, candidate, ansiGivenPath, minimum, maximum)) {
      kind = JvmSourceKind::FromDefinedPath;
      sourceName = ansiGivenPath;
    }
  } else {
    kind = runSearchSequence(platform, candidate, sourceName);
  }
  if (kind == JvmSourceKind::NotFound) {
    trace("search: no runtime found");
    if (reportErrors) showConfigMessage(msg::NO_JVM, nullptr, nullptr);
    return false;
  }
  trace("search: %s from %s \"%s\"", candidate.c_str(), sourceKindName(kind), sourceName.c_str());
  void* module = loadJvmLibrary(platform, candidate);
  if (module != nullptr && platform.bindCreateJavaVm(module)) {
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
