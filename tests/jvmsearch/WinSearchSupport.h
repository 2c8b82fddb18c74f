#pragma once
// Runtime homes built from the doubles, the registry keys the search reads,
// and a clean state for every test of the runtime search.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block/ConfigStore.h"
#include "jvmsearch/WinSearchPlatform.h"
#include "tests/support/FatalTrap.h"
#include "tests/support/WinTestSupport.h"

namespace plimo::test {

std::string doubleDir();

enum class JvmLibrary { None, Loads, NoEntry, NeedsBinDependency, Broken };

// Builds a Java home: <home>\bin\java.exe (or <home>\jre\bin\java.exe when
// nested) printing `version`'s line, with a jvm.dll double in bin\<vmType>.
struct RuntimeHome {
  std::string home;     // as created (original case)
  std::string binDir;   // directory of java.exe
  std::string javaExe;  // full path of java.exe
  std::string normalizedJavaExe() const;
  int starts() const;   // how often java.exe ran
  std::vector<std::string> startLines() const;
  void setOutput(const std::string& stderrBytes) const;
};
RuntimeHome makeHome(const std::string& home, const std::string& version, JvmLibrary library = JvmLibrary::Loads,
                     bool nestedJre = false, const std::string& vmType = "server", bool javaw = false);
std::string versionOutput(const std::string& version);  // a current runtime's lines, CRLF

bool setRegistryString(HKEY root, const std::string& key, const char* name, const std::string& value);
bool createRegistryKey(HKEY root, const std::string& key);
void deleteRegistryTree(HKEY root, const std::string& key);
// JavaSoft family key with a version subkey naming home.
void registerJavaSoft(const std::string& family, const std::string& versionName, const std::string& home);

// Resets configuration, messages, variables and the registry areas the search
// reads and writes, before and after each test.
class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void configure(std::int32_t id, const std::string& value);
  void setVariable(const char* name, const std::string& value);

  ScratchDir scratch;
  // The search runs against the real system here.
  SearchPlatform& system = windowsSearchPlatform();

 private:
  void reset();
  std::vector<std::pair<std::string, std::string>> savedVariables_;
};

}  // namespace plimo::test
