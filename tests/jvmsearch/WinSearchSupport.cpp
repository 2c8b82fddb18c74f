#include "tests/jvmsearch/WinSearchSupport.h"

#include <fstream>
#include <sstream>

#include "jvmsearch/JniEntry.h"
#include "jvmsearch/SearchRules.h"
#include "jvmsearch/WinPaths.h"
#include "jvmsearch/WinSearchPlatform.h"

namespace plimo::test {

namespace {

const char* const SEARCH_VARIABLES[] = {"JAVA_HOME", "JDK_HOME", "PLIMO_JAVA_HOME", "SORBILANE_JAVA_HOME", "PATH",
                                        "PLIMO_TEST_HOME"};

void makeDirs(const std::string& path) {
  std::string partial;
  std::istringstream parts(path);
  for (std::string part; std::getline(parts, part, '\\');) {
    partial += part;
    CreateDirectoryA(partial.c_str(), nullptr);
    partial += '\\';
  }
}

std::string lowerCase(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

std::string doubleDir() { return binDir() + "jvmsearch-doubles\\"; }

std::string versionOutput(const std::string& version) {
  return "openjdk version \"" + version + "\" 2025-04-15\r\nOpenJDK Runtime Environment (build " + version +
         ")\r\nOpenJDK Server VM (build " + version + ", mixed mode)\r\n";
}

std::string RuntimeHome::normalizedJavaExe() const { return lowerCase(javaExe); }

std::vector<std::string> RuntimeHome::startLines() const {
  std::vector<std::string> lines;
  std::istringstream in(readFile(javaExe + ".starts"));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int RuntimeHome::starts() const { return static_cast<int>(startLines().size()); }

void RuntimeHome::setOutput(const std::string& stderrBytes) const {
  EXPECT_TRUE(writeFile(javaExe + ".stderr", stderrBytes));
}

RuntimeHome makeHome(const std::string& home, const std::string& version, JvmLibrary library, bool nestedJre,
                     const std::string& vmType, bool javaw) {
  RuntimeHome runtime;
  runtime.home = home;
  runtime.binDir = home + (nestedJre ? "\\jre\\bin" : "\\bin");
  runtime.javaExe = runtime.binDir + "\\java.exe";
  makeDirs(runtime.binDir);
  EXPECT_TRUE(CopyFileA((binDir() + "java-double.exe").c_str(), runtime.javaExe.c_str(), FALSE)) << runtime.javaExe;
  if (javaw) EXPECT_TRUE(CopyFileA((binDir() + "java-double.exe").c_str(), (runtime.binDir + "\\javaw.exe").c_str(), FALSE));
  runtime.setOutput(versionOutput(version));
  std::string vmDir = runtime.binDir + "\\" + vmType;
  std::string dll = vmDir + "\\jvm.dll";
  switch (library) {
    case JvmLibrary::None:
      break;
    case JvmLibrary::Loads:
      makeDirs(vmDir);
      EXPECT_TRUE(CopyFileA((doubleDir() + "jvm-load-double.dll").c_str(), dll.c_str(), FALSE));
      break;
    case JvmLibrary::NoEntry:
      makeDirs(vmDir);
      EXPECT_TRUE(CopyFileA((doubleDir() + "jvm-noentry-double.dll").c_str(), dll.c_str(), FALSE));
      break;
    case JvmLibrary::NeedsBinDependency:
      makeDirs(vmDir);
      EXPECT_TRUE(CopyFileA((doubleDir() + "jvm-dep-double.dll").c_str(), dll.c_str(), FALSE));
      EXPECT_TRUE(CopyFileA((doubleDir() + "plimo-runtime-dep.dll").c_str(),
                            (runtime.binDir + "\\plimo-runtime-dep.dll").c_str(), FALSE));
      break;
    case JvmLibrary::Broken:
      makeDirs(vmDir);
      EXPECT_TRUE(writeFile(dll, "MZ this is no library"));
      break;
  }
  return runtime;
}

bool createRegistryKey(HKEY root, const std::string& key) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(k);
  return true;
}

bool setRegistryString(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY k = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG r = RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
  return r == ERROR_SUCCESS;
}

void deleteRegistryTree(HKEY root, const std::string& key) {
  RegDeleteTreeA(root, key.c_str());
  RegDeleteKeyA(root, key.c_str());
}

void registerJavaSoft(const std::string& family, const std::string& versionName, const std::string& home) {
  ASSERT_TRUE(setRegistryString(HKEY_LOCAL_MACHINE, family + "\\" + versionName, "JavaHome", home));
}

void SearchTest::reset() {
  configStore() = ConfigStore();
  clearShownMessages();
  createJavaVmEntry = nullptr;
  setProbeTimeLimit(5000);
  deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
  deleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms");
  deleteRegistryTree(HKEY_CURRENT_USER, "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms");
  deleteRegistryTree(HKEY_CURRENT_USER, "SOFTWARE\\kaldor-codework\\plimo\\jvms");
}

void SearchTest::SetUp() {
  for (const char* name : SEARCH_VARIABLES) {
    char value[32768];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    savedVariables_.push_back({name, n > 0 && n < sizeof value ? std::string(value, n) : std::string("\x01")});
    if (std::string(name) != "PATH") SetEnvironmentVariableA(name, nullptr);
  }
  reset();
  // Nothing beside the test program may count as the preferred runtime.
  configure(cfg::BASE_DIRECTORY, scratch.path());
}

void SearchTest::TearDown() {
  reset();
  for (const auto& saved : savedVariables_) {
    SetEnvironmentVariableA(saved.first.c_str(), saved.second == "\x01" ? nullptr : saved.second.c_str());
  }
}

void SearchTest::configure(std::int32_t id, const std::string& value) {
  configStore().narrow[id] = value;
  deriveConfigFlags(configStore());
}

void SearchTest::setVariable(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value.c_str());
}

}  // namespace plimo::test
