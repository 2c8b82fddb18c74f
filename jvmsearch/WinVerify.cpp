#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "jvmsearch/JavaVersion.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/JvmSearch.h"
#include "jvmsearch/WinRegistry.h"
#include "jvmsearch/PathText.h"
#include "jvmsearch/Paths.h"
#include "launcher/ConfigStore.h"
#include "launcher/LaunchState.h"
#include "launcher/Limits.h"
#include "launcher/Trace.h"
#include "launcher/WinHandles.h"

namespace plimo {

namespace {

// A runtime that has not printed its version line by then is taken as broken:
// the launcher must not hang on it.
unsigned probeLimitMs = 5000;
// How long an ended child is given to go away.
const DWORD CHILD_END_WAIT_MS = 5000;
// The child of a probe in progress, for endRunningProbe. Whoever takes it out
// first owns ending it; the probe then leaves the handle to the exit.
std::atomic<HANDLE> runningProbe{nullptr};

// Clears runningProbe when the probe returns; if the exit took the child
// meanwhile, the handle stays open for it.
class RunningProbe {
 public:
  explicit RunningProbe(UniqueHandle& process) : process_(process) { runningProbe = process.get(); }
  ~RunningProbe() {
    if (runningProbe.exchange(nullptr) == nullptr) process_.release();
  }

 private:
  UniqueHandle& process_;
};

const char* rootName(RegistryRoot root) { return root == RegistryRoot::CurrentUser ? "HKCU" : "HKLM"; }

UniqueKey openKey(HKEY root, const std::string& subkey, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) return UniqueKey();
  return UniqueKey(key);
}

UniqueKey createKey(HKEY root, const std::string& subkey) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return UniqueKey();
  }
  return UniqueKey(key);
}

// The list key itself, opened without the separator that ends its prefix.
std::string locatedListKey() {
  std::string key = LOCATED_JVMS_KEY;
  key.pop_back();
  return key;
}

// A probed child never outlives the probe: it is ended, and waited for so that
// its files and current directory are released when the probe returns.
void endChild(HANDLE process) {
  TerminateProcess(process, 1);
  WaitForSingleObject(process, CHILD_END_WAIT_MS);
}

// After the version line: lets the child end by itself within the probe's time
// limit, reading on so that it never blocks on a full pipe, and ends it when
// the limit passes.
void awaitChild(const std::string& path, HANDLE process, HANDLE readEnd, DWORD started) {
  char discard[4096];
  for (;;) {
    if (WaitForSingleObject(process, 2) == WAIT_OBJECT_0) return;
    DWORD available = 0;
    if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      DWORD got = 0;
      ReadFile(readEnd, discard, std::min<DWORD>(available, sizeof discard), &got, nullptr);
    }
    if (GetTickCount() - started >= probeLimitMs) {
      trace("probe %s: still running after %u ms; ended the child", path.c_str(), probeLimitMs);
      endChild(process);
      return;
    }
  }
}

}  // namespace

void endRunningProbe() {
  HANDLE process = runningProbe.exchange(nullptr);
  if (process == nullptr) return;
  trace("exit: ending the java.exe of a probe in progress");
  endChild(process);
}

void setProbeTimeLimit(unsigned milliseconds) { probeLimitMs = milliseconds; }

std::string javaExeForHome(const std::string& home) {
  std::string nested = home + "\\jre\\bin\\java.exe";
  if (fileExists(nested.c_str())) return nested;
  return home + "\\bin\\java.exe";
}

bool probeJavaVersion(const std::string& path, std::string& version) {
  // Quoted: unquoted, "c:\program files\..." would first run "c:\program.exe".
  std::string commandLine = "\"" + path + "\" -version";
  if (commandLine.size() > MAX_VALUE_LENGTH) {
    trace("probe %s: command line too long", path.c_str());
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readInheritable = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&readInheritable, &write, &inherit, 0)) {
    trace("probe %s: no pipe (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  UniqueHandle writeEnd(write);
  UniqueHandle readInheritableEnd(readInheritable);
  HANDLE read = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), readInheritable, GetCurrentProcess(), &read, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    trace("probe %s: pipe not duplicated (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  UniqueHandle readEnd(read);
  readInheritableEnd.reset();

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdError = write;
  PROCESS_INFORMATION child{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  // A probe started after the exit handler ended the last one would outlive
  // the launcher.
  if (processEnding) return false;
  // The child starts in its own folder: a runtime that outlives the probe must
  // not hold the launcher's temporary directory as its current directory.
  std::string folder = directoryPart(path);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &child)) {
    trace("probe %s: not started (error %lu)", path.c_str(), GetLastError());
    return false;
  }
  UniqueHandle process(child.hProcess);
  UniqueHandle thread(child.hThread);
  RunningProbe running(process);
  // Only the child may hold the write end, so that its end of output shows.
  writeEnd.reset();

  char buffer[VALUE_BUFFER_SIZE];
  std::size_t used = 0;
  DWORD started = GetTickCount();
  for (;;) {
    DWORD available = 0;
    bool ended = !PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr);
    if (!ended && available > 0) {
      DWORD want = static_cast<DWORD>(std::min<std::size_t>(available, sizeof buffer - used));
      DWORD got = 0;
      if (!ReadFile(readEnd.get(), buffer + used, want, &got, nullptr) || got == 0) {
        ended = true;
      } else {
        used += got;
      }
    }
    bool full = used == sizeof buffer;
    VersionScan scan = scanVersionOutput(buffer, used, ended || full, version);
    if (scan == VersionScan::Found) {
      trace("probe %s: version \"%s\"", path.c_str(), version.c_str());
      // The version stands even if the child then has to be ended.
      awaitChild(path, process.get(), readEnd.get(), started);
      return true;
    }
    if (scan == VersionScan::NoVersion) {
      trace("probe %s: no version line in %u bytes of output", path.c_str(), static_cast<unsigned>(used));
      endChild(process.get());
      return false;
    }
    if (available == 0) {
      if (GetTickCount() - started >= probeLimitMs) {
        endChild(process.get());
        trace("probe %s: no version line within %u ms; ended the child", path.c_str(), probeLimitMs);
        return false;
      }
      Sleep(2);
    }
  }
}

void storeJvmVersion(const std::string& path, std::uint64_t lastWriteTime, const std::string& version) {
  std::string keyName = registryKeyForPath(path, VERSION_CACHE_KEY);
  UniqueKey key = createKey(HKEY_CURRENT_USER, keyName);
  if (!key) {
    trace("cache: cannot create %s", keyName.c_str());
    return;
  }
  unsigned char time[8];
  for (int i = 0; i < 8; ++i) time[i] = static_cast<unsigned char>(lastWriteTime >> (8 * i));
  RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, time, sizeof time);
  RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                 static_cast<DWORD>(version.size() + 1));
}

bool lookupJvmVersion(const std::string& path, std::uint64_t lastWriteTime, std::string& version) {
  UniqueKey key = openKey(HKEY_CURRENT_USER, registryKeyForPath(path, VERSION_CACHE_KEY), KEY_READ);
  if (!key) return false;
  unsigned char stored[16];
  DWORD size = sizeof stored;
  if (RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, stored, &size) != ERROR_SUCCESS || size != 8) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (stored[i] != static_cast<unsigned char>(lastWriteTime >> (8 * i))) return false;
  }
  char text[VALUE_BUFFER_SIZE];
  size = sizeof text - 1;
  if (RegQueryValueExA(key.get(), "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  text[size] = '\0';
  // An empty entry was not written by a probe; probing again is the safe way.
  if (text[0] == '\0') return false;
  version = text;
  return true;
}

bool verifyJavaExeVersion(std::string& path, std::string& version, const std::string& minimum,
                          const std::string& maximum, bool allowBeta) {
  std::string given = path;
  path = normalizePath(path);
  version.clear();
  std::uint64_t time = 0;
  if (path.empty() || !findFileTime(path.c_str(), &time)) {
    trace("candidate %s: no such file", given.c_str());
    return false;
  }
  if (lookupJvmVersion(path, time, version)) {
    trace("candidate %s: cached version \"%s\"", path.c_str(), version.c_str());
  } else if (probeJavaVersion(path, version)) {
    storeJvmVersion(path, time, version);
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
    if (!fileExists(path.c_str())) {
      trace("candidate %s: rejected, no windowed runtime", path.c_str());
      return false;
    }
  }
  trace("candidate %s: accepted, version \"%s\"", path.c_str(), version.c_str());
  return true;
}

bool verifyJavaExe(std::string& path, const std::string& minimum, const std::string& maximum, bool allowBeta) {
  std::string version;
  return verifyJavaExeVersion(path, version, minimum, maximum, allowBeta);
}

void recordLocatedJvm(const char* path) {
  std::string keyName = registryKeyForPath(path, LOCATED_JVMS_KEY);
  UniqueKey key = createKey(HKEY_LOCAL_MACHINE, keyName);
  if (!key) key = createKey(HKEY_CURRENT_USER, keyName);
  trace("located list: %s %s", path, key ? "recorded" : "not recorded");
}

bool bestLocatedJvmUnder(RegistryRoot root, std::string& path, std::string& version, const std::string& minimum,
                         const std::string& maximum) {
  std::string best;
  UniqueKey list = openKey(rootKey(root), locatedListKey(), KEY_READ);
  if (!list) return false;
  bool found = false;
  for (DWORD index = 0;; ++index) {
    char name[PATH_BUFFER_SIZE];
    char keyClass[PATH_BUFFER_SIZE];
    DWORD nameSize = sizeof name;
    DWORD classSize = sizeof keyClass;
    LONG result = RegEnumKeyExA(list.get(), index, name, &nameSize, nullptr, keyClass, &classSize, nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    std::string candidate = pathFromKeyName(std::string(name, nameSize));
    std::string candidateVersion;
    trace("located list %s: %s", rootName(root), candidate.c_str());
    if (verifyJavaExeVersion(candidate, candidateVersion, minimum, maximum, true) &&
        compareVersions(candidateVersion, best) > 0) {
      best = candidateVersion;
      version = candidateVersion;
      path = candidate;
      found = true;
    }
  }
  return found;
}

bool bestLocatedJvm(std::string& path, std::string& version, const std::string& minimum,
                    const std::string& maximum) {
  std::string userPath, userVersion, machinePath, machineVersion;
  bool user = bestLocatedJvmUnder(RegistryRoot::CurrentUser, userPath, userVersion, minimum, maximum);
  bool machine = bestLocatedJvmUnder(RegistryRoot::LocalMachine, machinePath, machineVersion, minimum, maximum);
  if (!user && !machine) return false;
  if (user && (!machine || compareVersions(userVersion, machineVersion) > 0)) {
    path = userPath;
    version = userVersion;
  } else {
    path = machinePath;
    version = machineVersion;
  }
  trace("located list: best %s, version \"%s\"", path.c_str(), version.c_str());
  return true;
}

}  // namespace plimo
