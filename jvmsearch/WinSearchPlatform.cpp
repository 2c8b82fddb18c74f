// The runtime search against the real system: files, variables, the program
// search path, the registry (JavaSoft families, the located list and the
// version cache), the probe and library loading. The decisions are in
// JvmSearch.cpp.
#include "jvmsearch/WinSearchPlatform.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/Trace.h"
#include "base/WinExeFile.h"
#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/BlockFormat.h"
#include "block/Lasting.h"
#include "block/Limits.h"
#include "jvmsearch/JniEntry.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/WinPaths.h"
#include "jvmsearch/WinRegistry.h"

namespace plimo {

namespace {

UniqueKey openKey(HKEY root, const AnsiText& subkey, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) return UniqueKey();
  return UniqueKey(key);
}

UniqueKey createKey(HKEY root, const AnsiText& subkey) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return UniqueKey();
  }
  return UniqueKey(key);
}

class WinSearchPlatform final : public SearchPlatform {
 public:
  bool fileExists(const AnsiText& path) override { return plimo::fileExists(path.c_str()); }

  bool fileTime(const AnsiText& path, std::uint64_t& time) override { return findFileTime(path.c_str(), &time); }

  AnsiText normalizePath(const AnsiText& path) override { return plimo::normalizePath(path); }

  bool readFirstLine(const AnsiText& file, AnsiText& line) override {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rt"), &std::fclose);
    if (!in) return false;
    char buffer[VALUE_BUFFER_SIZE];
    if (std::fgets(buffer, sizeof buffer, in.get()) == nullptr) return false;
    line = buffer;
    return true;
  }

  bool environmentValue(const AnsiText& name, AnsiText& value) override {
    wchar_t wide[VALUE_BUFFER_SIZE];
    DWORD n = GetEnvironmentVariableW(wideFrom(name.c_str(), CP_ACP).c_str(), wide, VALUE_BUFFER_SIZE);
    if (n == 0 || n >= VALUE_BUFFER_SIZE) return false;
    // Read wide: a home in a folder the ANSI code page cannot hold is taken by
    // its short name instead of a garbled one.
    value = ansiValue(wide);
    return true;
  }

  bool javaExeOnSearchPath(AnsiText& path) override {
    wchar_t found[PATH_BUFFER_SIZE];
    DWORD n = SearchPathW(nullptr, L"java.exe", nullptr, PATH_BUFFER_SIZE, found, nullptr);
    if (n == 0 || n >= PATH_BUFFER_SIZE) return false;
    path = ansiValue(found);
    return true;
  }

  bool registryString(RegistryRoot root, const AnsiText& subkey, const char* valueName, AnsiText& value,
                      std::size_t capacity) override {
    UniqueKey key = openKey(rootKey(root), subkey, KEY_READ);
    if (!key) return false;
    // Read wide, like the variables.
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

  bool registrySubkeys(RegistryRoot root, const AnsiText& key, std::vector<AnsiText>& names) override {
    UniqueKey opened = openKey(rootKey(root), key, KEY_READ);
    if (!opened) return false;
    names.clear();
    for (DWORD index = 0;; ++index) {
      char name[PATH_BUFFER_SIZE];
      DWORD size = sizeof name;
      LONG result = RegEnumKeyExA(opened.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
      // A name longer than a path buffer names no version and no path.
      if (result == ERROR_MORE_DATA) continue;
      if (result != ERROR_SUCCESS) break;
      names.emplace_back(name, size);
    }
    return true;
  }

  bool readVersionCache(const AnsiText& path, std::string& storedTime, std::string& version) override {
    UniqueKey key = openKey(HKEY_CURRENT_USER, registryKeyForPath(path, VERSION_CACHE_KEY, ansiCodePage()), KEY_READ);
    if (!key) return false;
    unsigned char stored[16];
    DWORD size = sizeof stored;
    if (RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, stored, &size) != ERROR_SUCCESS) return false;
    storedTime.assign(reinterpret_cast<const char*>(stored), size);
    char text[VALUE_BUFFER_SIZE];
    size = sizeof text - 1;
    if (RegQueryValueExA(key.get(), "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    text[size] = '\0';
    version = text;
    return true;
  }

  void writeVersionCache(const AnsiText& path, const std::string& storedTime,
                         const std::string& version) override {
    std::string keyName = registryKeyForPath(path, VERSION_CACHE_KEY, ansiCodePage());
    UniqueKey key = createKey(HKEY_CURRENT_USER, keyName);
    if (!key) {
      trace("cache: cannot create %s", keyName.c_str());
      return;
    }
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(storedTime.data()),
                   static_cast<DWORD>(storedTime.size()));
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>(version.size() + 1));
  }

  bool probeVersion(const AnsiText& path, std::string& version) override {
    return probeJavaVersion(path, version);
  }

  bool executableMachine(const AnsiText& path, std::uint16_t& machine) override {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!isValid(file)) return false;
    WinFileByteSource source(file.get());
    PeHeader header;
    if (readPeHeader(source, header) != LoadError::None) return false;
    machine = header.machine;
    return true;
  }

  std::uint16_t ownMachine() override { return sizeof(void*) == 8 ? PE_MACHINE_X64 : PE_MACHINE_X86; }

  void* loadLibrary(const AnsiText& library, const AnsiText& javaExe) override {
    return loadRuntimeLibrary(library, javaExe);
  }

  bool bindCreateJavaVm(void* module) override {
    FARPROC entry = GetProcAddress(static_cast<HMODULE>(module), "JNI_CreateJavaVM");
    if (entry == nullptr) {
      trace("library: no JNI_CreateJavaVM");
      return false;
    }
    createJavaVmEntry = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
    return true;
  }
};

}  // namespace

SearchPlatform& windowsSearchPlatform() {
  // Never destroyed: the worker may still search while the process ends.
  static Lasting<WinSearchPlatform> platform;
  return platform.get();
}

bool locateJvm(bool reportErrors, const char* ansiGivenPath, bool givenIsJavaExe) {
  return locateJvm(windowsSearchPlatform(), reportErrors, ansiGivenPath, givenIsJavaExe);
}

void recordLocatedJvm(const char* ansiJavaExe) {
  std::string keyName = registryKeyForPath(ansiJavaExe, LOCATED_JVMS_KEY, ansiCodePage());
  UniqueKey key = createKey(HKEY_LOCAL_MACHINE, keyName);
  if (!key) key = createKey(HKEY_CURRENT_USER, keyName);
  trace("located list: %s %s", ansiJavaExe, key ? "recorded" : "not recorded");
}

}  // namespace plimo
