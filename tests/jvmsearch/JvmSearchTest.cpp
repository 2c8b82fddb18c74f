// The runtime search's decisions against a system made of tables: source
// order, registry family and version, the version cache, the located list,
// library order and the messages. The real registry, files, probe and
// libraries are exercised under Wine (WinSearchTest, WinVerifyTest).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "block/BlockFormat.h"
#include "block/ConfigStore.h"
#include "jvmsearch/JvmSearch.h"
#include "jvmsearch/PathText.h"
#include "tests/support/FatalTrap.h"

namespace plimo::test {
namespace {

const std::string JRE = JAVASOFT_JRE_KEY;
const std::string JDK = JAVASOFT_JDK_KEY;

class TableSearchPlatform : public SearchPlatform {
 public:
  // Files by normalised path, with their last-write times.
  std::map<std::string, std::uint64_t> files;
  // What each java.exe's probe finds; a java.exe not listed prints no version.
  std::map<std::string, std::string> versions;
  std::map<std::string, int> probes;
  // The machine in each java.exe's header; one not listed cannot be read.
  std::map<std::string, std::uint16_t> machines;
  std::uint16_t own = PE_MACHINE_X86;
  std::map<std::string, std::string> firstLines;
  std::map<std::string, std::string> environment;
  std::string onSearchPath;
  // Keys as "HKLM\<key>" / "HKCU\<key>", values as "<key>|<name>".
  std::set<std::string> keys;
  std::map<std::string, std::string> values;
  std::map<std::string, std::pair<std::string, std::string>> cache;
  // Libraries that load, and whether they have the entry point.
  std::map<std::string, bool> libraries;
  std::vector<std::string> triedLibraries;
  std::string boundLibrary;

  // A Java home with bin\java.exe (or jre\bin\java.exe) printing version.
  std::string addRuntime(const std::string& home, const std::string& version, bool nested = false,
                         bool javaw = false) {
    std::string bin = home + (nested ? "\\jre\\bin\\" : "\\bin\\");
    files[bin + "java.exe"] = 1000;
    if (javaw) files[bin + "javaw.exe"] = 1000;
    versions[bin + "java.exe"] = version;
    machines[bin + "java.exe"] = own;
    libraries[bin + "server\\jvm.dll"] = true;
    return bin + "java.exe";
  }
  void addKey(RegistryRoot root, std::string key) {
    for (;;) {
      keys.insert(rootPrefix(root) + key);
      std::size_t cut = key.rfind('\\');
      if (cut == std::string::npos) return;
      key.resize(cut);
    }
  }
  void setValue(RegistryRoot root, const std::string& key, const std::string& name, const std::string& value) {
    addKey(root, key);
    values[rootPrefix(root) + key + "|" + name] = value;
  }
  void registerJavaSoft(const std::string& family, const std::string& name, const std::string& home) {
    setValue(RegistryRoot::LocalMachine, family + "\\" + name, "JavaHome", home);
  }
  void locate(RegistryRoot root, const std::string& javaExe) {
    addKey(root, registryKeyForPath(javaExe, LOCATED_JVMS_KEY, CodePage(1252)));
  }

  bool fileExists(const std::string& path) override { return files.count(path) != 0; }
  bool fileTime(const std::string& path, std::uint64_t& time) override {
    auto it = files.find(path);
    if (it == files.end()) return false;
    time = it->second;
    return true;
  }
  std::string normalizePath(const std::string& path) override {
    std::string joined = joinWithExeDir("c:\\setup\\", path, CodePage(1252));
    lowerCaseAscii(joined, CodePage(1252));
    return joined;
  }
  bool readFirstLine(const std::string& file, std::string& line) override {
    auto it = firstLines.find(file);
    if (it == firstLines.end()) return false;
    line = it->second;
    return true;
  }
  bool environmentValue(const std::string& name, std::string& value) override {
    auto it = environment.find(name);
    if (it == environment.end() || it->second.empty()) return false;
    value = it->second;
    return true;
  }
  bool javaExeOnSearchPath(std::string& path) override {
    path = onSearchPath;
    return !path.empty();
  }
  bool registryString(RegistryRoot root, const std::string& subkey, const char* name, std::string& value,
                      std::size_t capacity) override {
    auto it = values.find(rootPrefix(root) + subkey + "|" + name);
    if (it == values.end() || it->second.size() >= capacity) return false;
    value = it->second;
    return true;
  }
  bool registrySubkeys(RegistryRoot root, const std::string& key, std::vector<std::string>& names) override {
    std::string parent = rootPrefix(root) + key;
    if (keys.count(parent) == 0) return false;
    names.clear();
    for (const std::string& k : keys) {
      if (k.size() > parent.size() + 1 && k.compare(0, parent.size() + 1, parent + "\\") == 0 &&
          k.find('\\', parent.size() + 1) == std::string::npos) {
        names.push_back(k.substr(parent.size() + 1));
      }
    }
    return true;
  }
  bool readVersionCache(const std::string& path, std::string& storedTime, std::string& version) override {
    auto it = cache.find(path);
    if (it == cache.end()) return false;
    storedTime = it->second.first;
    version = it->second.second;
    return true;
  }
  void writeVersionCache(const std::string& path, const std::string& storedTime,
                         const std::string& version) override {
    cache[path] = {storedTime, version};
  }
  bool probeVersion(const std::string& path, std::string& version) override {
    ++probes[path];
    auto it = versions.find(path);
    if (it == versions.end()) return false;
    version = it->second;
    return true;
  }
  bool executableMachine(const std::string& path, std::uint16_t& machine) override {
    auto it = machines.find(path);
    if (it == machines.end()) return false;
    machine = it->second;
    return true;
  }
  std::uint16_t ownMachine() override { return own; }
  void* loadLibrary(const std::string& library, const std::string&) override {
    // Separators and ".." as the file system would take them.
    std::string full = normalizePath(pathFromKeyName(library));
    for (std::size_t up; (up = full.find("\\..\\")) != std::string::npos;) {
      std::size_t start = full.rfind('\\', up - 1);
      full.erase(start, up + 3 - start);
    }
    triedLibraries.push_back(full);
    auto it = libraries.find(full);
    return it == libraries.end() ? nullptr : const_cast<void*>(static_cast<const void*>(&*it));
  }
  bool bindCreateJavaVm(void* module) override {
    auto* entry = static_cast<std::pair<const std::string, bool>*>(module);
    if (!entry->second) return false;
    boundLibrary = entry->first;
    return true;
  }

  int totalProbes() const {
    int n = 0;
    for (const auto& p : probes) n += p.second;
    return n;
  }

 private:
  static std::string rootPrefix(RegistryRoot root) { return root == RegistryRoot::CurrentUser ? "HKCU\\" : "HKLM\\"; }
};

class SearchDecisions : public ::testing::Test {
 protected:
  void SetUp() override {
    configStore().narrow.clear();
    configStore().wide.clear();
    deriveConfigFlags(configStore());
    clearShownMessages();
  }
  void TearDown() override { SetUp(); }
  void configure(std::int32_t id, const std::string& value) {
    configStore().narrow[id] = value;
    deriveConfigFlags(configStore());
  }

  TableSearchPlatform system;
};

struct Found {
  JvmSourceKind kind;
  std::string candidate;
  std::string source;
};
Found search(SearchPlatform& platform) {
  Found f;
  f.kind = runSearchSequence(platform, f.candidate, f.source);
  return f;
}

TEST_F(SearchDecisions, SourcesAreAskedInTheWrittenOrder) {
  std::string a = system.addRuntime("c:\\a", "1.8.0_1");
  std::string e = system.addRuntime("c:\\e", "1.8.0_2");
  std::string s = system.addRuntime("c:\\s", "1.8.0_3");
  std::string y = system.addRuntime("c:\\y", "1.8.0_4");
  std::string rel = system.addRuntime("c:\\setup\\jre", "1.8.0_5", true);
  std::string fallback = system.addRuntime("c:\\fallback", "1.8.0_6");
  system.environment["PLIMO_TEST_HOME"] = "C:\\E";
  system.environment["EMPTY"] = "";
  system.environment["PLIMO_JAVA_HOME"] = "c:\\fallback";
  system.onSearchPath = "C:\\S\\BIN\\JAVA.EXE";
  system.registerJavaSoft(JRE, "1.8", "c:\\y");
  configure(cfg::LAUNCHER_KIND, "e");
  struct Case {
    std::string sequence;
    JvmSourceKind kind;
    std::string candidate;
    std::string source;
  } cases[] = {
      {"EPLIMO_TEST_HOME;S;Y", JvmSourceKind::FromEnvironment, e, "PLIMO_TEST_HOME"},
      {"EEMPTY;Sx;EPLIMO_TEST_HOME", JvmSourceKind::FromSearchPath, s, "x"},
      {"Y;S", JvmSourceKind::FromRegistry, y, ""},
      {"RC:\\A;Y", JvmSourceKind::FromDefinedPath, a, "C:\\A"},
      {";;Q;Ajre", JvmSourceKind::FromDefinedPath, rel, "jre"},  // against the executable, private jre first
      // Unknown and lower-case letters are passed over; the fallback variable comes last.
      {"y;ePLIMO_TEST_HOME;s;ac:\\a;ENOT_SET;A", JvmSourceKind::FromEnvironment, fallback, "PLIMO_JAVA_HOME"},
      {"", JvmSourceKind::FromEnvironment, fallback, "PLIMO_JAVA_HOME"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    configure(cfg::SEARCH_SEQUENCE, c.sequence);
    Found f = search(system);
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(f.candidate, c.candidate);
    EXPECT_EQ(f.source, c.source);
  }
  // Every runtime was probed once; later looks came from the cache.
  for (const auto& probed : system.probes) EXPECT_EQ(probed.second, 1) << probed.first;
}

TEST_F(SearchDecisions, FallbackVariableFollowsTheLauncherKind) {
  std::string plimo = system.addRuntime("c:\\plimo", "1.8.0_1");
  std::string sorbilane = system.addRuntime("c:\\sorbilane", "1.8.0_2");
  system.environment["PLIMO_JAVA_HOME"] = "c:\\plimo";
  system.environment["SORBILANE_JAVA_HOME"] = "c:\\sorbilane";
  configure(cfg::SEARCH_SEQUENCE, "Y;EJAVA_HOME");
  struct Case {
    const char* kind;
    JvmSourceKind found;
    std::string candidate;
  } cases[] = {{"e", JvmSourceKind::FromEnvironment, plimo},
               {"i", JvmSourceKind::FromEnvironment, sorbilane},
               {"x", JvmSourceKind::NotFound, ""},
               {"", JvmSourceKind::NotFound, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    configure(cfg::LAUNCHER_KIND, c.kind);
    Found f = search(system);
    EXPECT_EQ(f.kind, c.found);
    EXPECT_EQ(f.candidate, c.candidate);
  }
}

TEST_F(SearchDecisions, PreferredRuntimeFileComesFirst) {
  std::string preferred = system.addRuntime("c:\\preferred", "1.5.0-beta");  // a person chose it: beta passes
  std::string variable = system.addRuntime("c:\\variable", "1.8.0_25");
  system.environment["JAVA_HOME"] = "c:\\variable";
  configure(cfg::SEARCH_SEQUENCE, "EJAVA_HOME");
  struct Case {
    std::string base;
    std::string file;  // where the file is, empty for none
    std::string line;
    std::string candidate;
  } cases[] = {
      {"c:\\base", "c:\\base\\.sorbilane\\pref_jre.cfg", "C:\\Preferred\r\n", preferred},
      {"Base", "c:\\setup\\base\\.sorbilane\\pref_jre.cfg", "c:\\preferred\n", preferred},
      {"c:\\", "c:\\.sorbilane\\pref_jre.cfg", "c:\\preferred", preferred},  // no doubled separator
      // An empty line names the executable's directory, which holds no runtime.
      {"c:\\base", "c:\\base\\.sorbilane\\pref_jre.cfg", "\n", variable},
      {"c:\\base", "", "", variable},
      // No base: the executable's directory.
      {"", "c:\\setup\\.sorbilane\\pref_jre.cfg", "c:\\preferred", preferred},
      // A base that cannot be made absolute reads no file at all, not one at
      // the root of some drive.
      {std::string(9000, 'b'), "c:\\setup\\.sorbilane\\pref_jre.cfg", "c:\\preferred", variable},
      {std::string(9000, 'b'), "\\.sorbilane\\pref_jre.cfg", "c:\\preferred", variable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.base.substr(0, 10) + " " + c.file);
    system.firstLines.clear();
    if (!c.file.empty()) system.firstLines[c.file] = c.line;
    configure(cfg::BASE_DIRECTORY, c.base);
    Found f = search(system);
    EXPECT_EQ(f.candidate, c.candidate);
    EXPECT_EQ(f.kind, c.candidate == preferred ? JvmSourceKind::FromDefinedPath : JvmSourceKind::FromEnvironment);
  }
}

TEST_F(SearchDecisions, BetaVersionsPassOnlyWhereAPersonChoseTheRuntime) {
  std::string beta = system.addRuntime("c:\\beta", "1.5.0-beta");
  system.environment["JAVA_HOME"] = "c:\\beta";
  system.onSearchPath = beta;
  system.registerJavaSoft(JRE, "1.5", "c:\\beta");
  std::string candidate, version;
  EXPECT_TRUE(jvmFromDirectory(system, candidate, "c:\\beta", "", ""));
  EXPECT_FALSE(jvmFromEnvironment(system, candidate, "JAVA_HOME", "", ""));
  EXPECT_FALSE(jvmFromSearchPath(system, candidate, "", ""));
  EXPECT_FALSE(jvmFromJavaSoft(system, candidate, version, "", ""));
  system.locate(RegistryRoot::CurrentUser, beta);
  EXPECT_TRUE(jvmFromRegistry(system, candidate, "", ""));  // picked by hand: counts
  EXPECT_EQ(system.probes[beta], 1);
}

// Which registry entry a search tries: CurrentVersion of both families held
// against the range, then each family's subkeys from the greatest version,
// the classic family names before the modern ones.
TEST_F(SearchDecisions, RegistryFamilyAndVersion) {
  const std::string MJRE = JAVASOFT_MODERN_JRE_KEY;
  const std::string MJDK = JAVASOFT_MODERN_JDK_KEY;
  // Each entry's home is c:\<family tag>-<name>.
  auto tagOf = [&](const std::string& family) {
    return family == JRE ? "jre" : family == JDK ? "jdk" : family == MJRE ? "mjre" : "mjdk";
  };
  struct Registered {
    std::string family, name, version;
    bool current;  // the family's CurrentVersion names it
    bool broken;   // its java.exe prints no version
  };
  struct Case {
    const char* what;
    std::vector<Registered> entries;
    std::string minimum, maximum;
    std::string expected;  // home of the chosen entry, empty for none
  } cases[] = {
      {"current versions, range picks the kit",
       {{JRE, "1.5", "1.5.0", true, false}, {JDK, "1.4", "1.4.2_05", true, false}}, "", "1.4", "jdk-1.4"},
      {"current versions, greater wins",
       {{JRE, "1.5", "1.5.0", true, false}, {JDK, "1.4", "1.4.2_05", true, false}}, "", "", "jre-1.5"},
      {"current versions compare by numbers",
       {{JRE, "1.5", "1.5.0", true, false}, {JDK, "1.10", "1.10.0", true, false}}, "", "", "jdk-1.10"},
      {"subkeys from the greatest",
       {{JRE, "1.4", "1.4.2_05", false, false}, {JRE, "1.9", "1.9.0", false, false},
        {JRE, "1.10", "1.10.0", false, false}, {JRE, "1.3", "1.3.1", false, false}}, "1.4", "", "jre-1.10"},
      {"a broken greatest subkey is passed over",
       {{JRE, "1.9", "1.9.0", false, false}, {JRE, "1.10", "1.10.0", false, true}}, "1.4", "", "jre-1.9"},
      {"subkey names are held against the range first",
       {{JRE, "1.4", "1.4.2_05", false, false}, {JRE, "1.9", "1.9.0", false, false}}, "", "1.4", "jre-1.4"},
      {"a current version outside the range falls to the subkeys",
       {{JRE, "1.3", "1.3.1", true, false}, {JRE, "1.6", "1.6.0", false, false}}, "1.4", "", "jre-1.6"},
      {"runtime family before the kit's subkeys",
       {{JRE, "1.6", "1.6.0", false, false}, {JDK, "1.8", "1.8.0", false, false}}, "", "", "jre-1.6"},
      {"modern families only after the classic ones",
       {{MJDK, "17", "17.0.15", false, false}, {JRE, "1.8", "1.8.0_25", false, false}}, "1.8", "", "jre-1.8"},
      {"the modern kit when the classic entries fail",
       {{MJDK, "17", "17.0.15", false, false}, {JRE, "1.8", "1.8.0_25", false, true}}, "1.8", "", "mjdk-17"},
      {"a modern current version", {{MJRE, "21", "21.0.7", true, false}}, "", "", "mjre-21"},
      {"nothing in range", {{JRE, "1.8", "1.8.0_25", true, false}}, "11", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TableSearchPlatform platform;
    for (const Registered& r : c.entries) {
      std::string home = std::string("c:\\") + tagOf(r.family) + "-" + r.name;
      std::string exe = platform.addRuntime(home, r.version);
      if (r.broken) platform.versions.erase(exe);
      platform.registerJavaSoft(r.family, r.name, home);
      if (r.current) platform.setValue(RegistryRoot::LocalMachine, r.family, "CurrentVersion", r.name);
    }
    std::string candidate, version;
    EXPECT_EQ(jvmFromJavaSoft(platform, candidate, version, c.minimum, c.maximum), !c.expected.empty());
    if (!c.expected.empty()) EXPECT_EQ(candidate, "c:\\" + c.expected + "\\bin\\java.exe");
  }
}

TEST_F(SearchDecisions, RegistryPrefersThePickedRuntimeOnEqualVersions) {
  struct Case {
    const char* javaSoftVersion;
    const char* locatedVersion;
    bool locatedWins;
  } cases[] = {{"1.4.2_05", "1.4.2_05", true}, {"1.4.2_06", "1.4.2_05", false}, {"1.4.2_05", "1.4.2_06", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.javaSoftVersion) + " " + c.locatedVersion);
    TableSearchPlatform platform;
    std::string javaSoft = platform.addRuntime("c:\\javasoft", c.javaSoftVersion);
    std::string located = platform.addRuntime("c:\\located", c.locatedVersion);
    platform.registerJavaSoft(JRE, "1.4", "c:\\javasoft");
    platform.locate(RegistryRoot::LocalMachine, located);
    std::string candidate;
    ASSERT_TRUE(jvmFromRegistry(platform, candidate, "1.4", ""));
    EXPECT_EQ(candidate, c.locatedWins ? located : javaSoft);
  }
}

TEST_F(SearchDecisions, LocatedListChoosesTheHighestAcrossBothRoots) {
  std::string older = system.addRuntime("c:\\older", "1.4.2_03");
  std::string newer = system.addRuntime("c:\\newer", "1.4.2_04");
  std::string same = system.addRuntime("c:\\same", "1.4.2_04");
  std::string highest = system.addRuntime("c:\\highest", "1.10");
  std::string beta = system.addRuntime("c:\\beta", "1.12.0-beta");
  std::string gone = "c:\\gone\\bin\\java.exe";
  struct Case {
    const char* what;
    std::vector<std::pair<RegistryRoot, std::string>> listed;
    std::string minimum, maximum;
    std::string expected;
  } cases[] = {
      {"the higher of the roots", {{RegistryRoot::LocalMachine, newer}, {RegistryRoot::CurrentUser, older}}, "1.4", "",
       newer},
      {"equal versions: the machine's", {{RegistryRoot::LocalMachine, newer}, {RegistryRoot::CurrentUser, same}},
       "1.4", "", newer},
      {"a strictly higher user entry", {{RegistryRoot::LocalMachine, newer}, {RegistryRoot::CurrentUser, highest}},
       "1.4", "", highest},
      {"the range applies", {{RegistryRoot::LocalMachine, newer}, {RegistryRoot::CurrentUser, highest}}, "1.4", "1.4",
       newer},
      {"nothing in range", {{RegistryRoot::LocalMachine, newer}}, "1.11", "", ""},
      {"beta counts", {{RegistryRoot::LocalMachine, newer}, {RegistryRoot::LocalMachine, beta}}, "", "", beta},
      {"a listed runtime that is gone", {{RegistryRoot::CurrentUser, gone}, {RegistryRoot::CurrentUser, older}}, "",
       "", older},
      {"first of equals within a root", {{RegistryRoot::CurrentUser, same}, {RegistryRoot::CurrentUser, newer}}, "",
       "", newer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    system.keys.clear();
    for (const auto& entry : c.listed) system.locate(entry.first, entry.second);
    std::string path, version;
    EXPECT_EQ(bestLocatedJvm(system, path, version, c.minimum, c.maximum), !c.expected.empty());
    EXPECT_EQ(path, c.expected);
    if (!c.expected.empty()) EXPECT_EQ(version, system.versions[c.expected]);
  }
}

TEST_F(SearchDecisions, VersionCacheAnswersOnlyForTheFileTimeItWasWrittenFor) {
  std::string exe = system.addRuntime("c:\\cached", "1.8.0_25");
  system.files[exe] = 0x0102030405060708ull;
  EXPECT_EQ(fileTimeBytes(0x0102030405060708ull), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
  struct Case {
    const char* what;
    bool entry;
    std::string storedTime;
    std::string version;
    bool probed;
    std::string learnt;
  } cases[] = {
      {"no entry", false, "", "", true, "1.8.0_25"},
      {"same time", true, fileTimeBytes(0x0102030405060708ull), "9.9", false, "9.9"},
      {"another time", true, fileTimeBytes(0x0102030405060709ull), "9.9", true, "1.8.0_25"},
      {"time of another size", true, fileTimeBytes(0x0102030405060708ull).substr(0, 4), "9.9", true, "1.8.0_25"},
      {"time with more bytes", true, fileTimeBytes(0x0102030405060708ull) + std::string(4, '\0'), "9.9", true,
       "1.8.0_25"},
      {"empty version", true, fileTimeBytes(0x0102030405060708ull), "", true, "1.8.0_25"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    system.cache.clear();
    system.probes.clear();
    if (c.entry) system.cache[exe] = {c.storedTime, c.version};
    std::string path = "C:\\Cached\\bin\\java.exe";
    std::string version;
    EXPECT_TRUE(verifyJavaExeVersion(system, path, version, "", "", false));
    EXPECT_EQ(path, exe);
    EXPECT_EQ(version, c.learnt);
    EXPECT_EQ(system.probes[exe], c.probed ? 1 : 0);
    // A probe's answer replaces the entry; a rejected version is kept too.
    EXPECT_EQ(system.cache[exe].first, c.probed ? fileTimeBytes(0x0102030405060708ull) : c.storedTime);
    EXPECT_EQ(system.cache[exe].second, c.learnt);
    EXPECT_FALSE(verifyJavaExe(system, path, "11", "", false));
    EXPECT_EQ(system.probes[exe], c.probed ? 1 : 0);
  }
  // A missing file is never probed; a broken runtime is not cached.
  std::string path = "c:\\none\\bin\\java.exe";
  EXPECT_FALSE(verifyJavaExe(system, path, "", "", true));
  system.files["c:\\broken\\bin\\java.exe"] = 5;
  path = "c:\\broken\\bin\\java.exe";
  EXPECT_FALSE(verifyJavaExe(system, path, "", "", true));
  EXPECT_EQ(system.probes[path], 1);
  EXPECT_EQ(system.cache.count(path), 0u);
}

// A runtime built for another processor cannot load into this process: it is
// passed over, unprobed, so that a later source can answer.
TEST_F(SearchDecisions, ARuntimeForAnotherProcessorIsPassedOver) {
  struct Case {
    const char* what;
    std::uint16_t own;
    std::uint16_t variableRuntime;  // 0: its header cannot be read
    std::string expected;
    int variableProbes;
  } cases[] = {
      {"64-bit runtime, 32-bit launcher", PE_MACHINE_X86, PE_MACHINE_X64, "c:\\registered\\bin\\java.exe", 0},
      {"32-bit runtime, 64-bit launcher", PE_MACHINE_X64, PE_MACHINE_X86, "c:\\registered\\bin\\java.exe", 0},
      {"ARM64 runtime, 64-bit launcher", PE_MACHINE_X64, 0xAA64, "c:\\registered\\bin\\java.exe", 0},
      {"same processor", PE_MACHINE_X64, PE_MACHINE_X64, "c:\\variable\\bin\\java.exe", 1},
      {"unreadable header: the probe decides", PE_MACHINE_X86, 0, "c:\\variable\\bin\\java.exe", 1},
  };
  configure(cfg::SEARCH_SEQUENCE, "EJAVA_HOME;Y");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TableSearchPlatform platform;
    platform.own = c.own;
    std::string variable = platform.addRuntime("c:\\variable", "17.0.15");
    platform.addRuntime("c:\\registered", "1.8.0_25");
    if (c.variableRuntime == 0) {
      platform.machines.erase(variable);
    } else {
      platform.machines[variable] = c.variableRuntime;
    }
    platform.environment["JAVA_HOME"] = "c:\\variable";
    platform.registerJavaSoft(JRE, "1.8", "c:\\registered");
    EXPECT_EQ(search(platform).candidate, c.expected);
    EXPECT_EQ(platform.probes[variable], c.variableProbes);
    // The whole search remembers the runtime it passed over, for the message
    // that names it; a later search starts afresh.
    locateJvm(platform, false, nullptr, false);
    EXPECT_EQ(otherProcessorRuntime(), c.variableProbes == 0 ? variable : "");
    // Not even a cached version lets it through.
    platform.cache[variable] = {fileTimeBytes(1000), "17.0.15"};
    std::string path = variable;
    EXPECT_EQ(verifyJavaExe(platform, path, "", "", true), c.variableProbes == 1);
  }
}

TEST_F(SearchDecisions, HomesAndWindowedApplications) {
  std::string plain = system.addRuntime("c:\\jdk", "1.8.0_25");
  EXPECT_EQ(javaExeForHome(system, "c:\\jdk"), plain);
  std::string nested = system.addRuntime("c:\\jdk", "1.8.0_25", true);
  EXPECT_EQ(javaExeForHome(system, "c:\\jdk"), nested);  // the private jre is preferred
  EXPECT_EQ(javaExeForHome(system, "C:\\None"), "C:\\None\\bin\\java.exe");  // text as written

  std::string with = system.addRuntime("c:\\w", "1.8.0_25", false, true);
  std::string without = system.addRuntime("c:\\nw", "1.8.0_25");
  struct Case {
    const char* type;
    std::string exe;
    bool accepted;
    std::string handedBack;
  } cases[] = {{"1", with, true, "c:\\w\\bin\\javaw.exe"},
               {"1", without, false, ""},
               {"5", with, true, with},
               {"0", without, true, without}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.exe);
    configure(cfg::APPLICATION_TYPE, c.type);
    std::string path = c.exe;
    EXPECT_EQ(verifyJavaExe(system, path, "", "", false), c.accepted);
    if (c.accepted) EXPECT_EQ(path, c.handedBack);
  }
}

TEST_F(SearchDecisions, LibrariesAreTriedInTheirOrder) {
  const std::string exe = "c:\\jdk\\bin\\java.exe";
  struct Case {
    const char* what;
    std::string preferredType;
    std::map<std::string, bool> libraries;
    std::string bound;  // empty: nothing bound
    std::size_t tried;
  } cases[] = {
      {"the configured type first", "server",
       {{"c:\\jdk\\bin\\client\\jvm.dll", true}, {"c:\\jdk\\bin\\server\\jvm.dll", true}},
       "c:\\jdk\\bin\\server\\jvm.dll", 1},
      {"then the table from its start", "",
       {{"c:\\jdk\\bin\\client\\jvm.dll", true}, {"c:\\jdk\\bin\\server\\jvm.dll", true}},
       "c:\\jdk\\bin\\client\\jvm.dll", 2},
      {"the first that loads decides, entry point or not", "",
       {{"c:\\jdk\\bin\\client\\jvm.dll", false}, {"c:\\jdk\\bin\\server\\jvm.dll", true}}, "", 2},
      {"a private jre after the whole table", "",
       {{"c:\\jdk\\jre\\bin\\classic\\jvm.dll", true}}, "c:\\jdk\\jre\\bin\\classic\\jvm.dll", 8},
      {"nothing loads", "", {}, "", 8},
      {"an unknown configured type first, then the table", "j9",
       {{"c:\\jdk\\bin\\j9\\jvm.dll", true}}, "c:\\jdk\\bin\\j9\\jvm.dll", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    configure(cfg::PREFERRED_VM_TYPE, c.preferredType);
    TableSearchPlatform platform;
    platform.libraries = c.libraries;
    void* module = loadJvmLibrary(platform, exe);
    bool bound = module != nullptr && platform.bindCreateJavaVm(module);
    EXPECT_EQ(platform.boundLibrary, c.bound);
    EXPECT_EQ(bound, !c.bound.empty());
    EXPECT_EQ(platform.triedLibraries.size(), c.tried);
  }
}

TEST_F(SearchDecisions, AnUnusableLibraryIsReportedByItsSource) {
  configure(1001, "1001: none");
  configure(1002, "1002: path damaged");
  configure(1003, "1003: %ENV_VAR_NAME% points nowhere");
  configure(1004, "1004: %DEFINED_PATH% damaged");
  configure(1005, "1005: not started");
  std::string exe = system.addRuntime("c:\\rt", "1.8.0_25");
  system.libraries["c:\\rt\\bin\\server\\jvm.dll"] = false;  // loads, no entry point
  system.environment["JAVA_HOME"] = "c:\\rt";
  system.onSearchPath = exe;
  system.registerJavaSoft(JRE, "1.8", "c:\\rt");
  struct Case {
    std::string sequence;
    std::string message;
  } cases[] = {
      {"S", "1002: path damaged"},
      {"EJAVA_HOME", "1003: JAVA_HOME points nowhere"},
      {"Ac:\\rt", "1004: c:\\rt damaged"},
      {"Y", "1005: not started"},
      {"ENOT_SET", "1001: none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sequence);
    configure(cfg::SEARCH_SEQUENCE, c.sequence);
    clearShownMessages();
    EXPECT_FALSE(locateJvm(system, false, nullptr, false));
    EXPECT_TRUE(shownMessages().empty());
    EXPECT_FALSE(locateJvm(system, true, nullptr, false));
    ASSERT_EQ(shownMessages().size(), 1u);
    EXPECT_EQ(shownMessages()[0].text, c.message);
  }
  // A given runtime: checked as a file, then as a home; beta allowed.
  system.libraries["c:\\rt\\bin\\server\\jvm.dll"] = true;
  std::string beta = system.addRuntime("c:\\picked", "1.6.0-beta");
  configure(cfg::MIN_VERSION, "1.4");
  clearShownMessages();
  EXPECT_TRUE(locateJvm(system, true, "C:\\Picked\\bin\\java.exe", true));
  EXPECT_EQ(system.boundLibrary, "c:\\picked\\bin\\server\\jvm.dll");
  EXPECT_TRUE(locateJvm(system, true, "c:\\picked", true));
  EXPECT_TRUE(locateJvm(system, true, "c:\\rt", false));
  EXPECT_EQ(system.boundLibrary, "c:\\rt\\bin\\server\\jvm.dll");
  EXPECT_TRUE(shownMessages().empty());
  configure(cfg::MIN_VERSION, "1.7");
  EXPECT_FALSE(locateJvm(system, true, beta.c_str(), true));
  ASSERT_EQ(shownMessages().size(), 1u);
  EXPECT_EQ(shownMessages()[0].text, "1001: none");
}

}  // namespace
}  // namespace plimo::test
