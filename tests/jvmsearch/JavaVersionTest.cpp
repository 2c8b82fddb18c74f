#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "jvmsearch/JavaVersion.h"

namespace plimo {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string toCrLf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

VersionScan scanAll(const std::string& output, std::string& version) {
  return scanVersionOutput(output.data(), output.size(), true, version);
}

// Every recorded "java -version" output yields the version its index lists,
// with LF and CRLF line ends, whole or arriving in pieces.
TEST(JavaVersion, EveryRecordedRuntimeOutputYieldsItsVersion) {
  const std::filesystem::path dir = std::filesystem::path(PLIMO_SHARED_DIR) / "vectors" / "java-version";
  std::string index = readAll((dir / "INDEX.md").string());
  ASSERT_FALSE(index.empty());
  std::map<std::string, std::string> expectedOf;
  std::regex row(R"(^\| (`[^|]*`) \| `([^`]*)` \|)");
  std::regex file("`([^`]+\\.txt)`");
  std::istringstream lines(index);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, row)) continue;
    std::string names = m[1].str();
    for (std::sregex_iterator it(names.begin(), names.end(), file), end; it != end; ++it) {
      expectedOf[(*it)[1].str()] = m[2].str();
    }
  }
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(name);
    ++files;
    auto listed = expectedOf.find(name);
    ASSERT_NE(listed, expectedOf.end()) << "not in INDEX.md";
    const std::string& expected = listed->second;
    std::string output = readAll(entry.path().string());
    ASSERT_FALSE(output.empty());
    for (const std::string& variant : {output, toCrLf(output)}) {
      std::string version;
      EXPECT_EQ(scanAll(variant, version), VersionScan::Found);
      EXPECT_EQ(version, expected);
      // Bytes arrive in pieces: nothing is decided before the line is whole.
      std::size_t lineEnd = variant.find_first_of("\r\n", variant.find(" version \""));
      ASSERT_NE(lineEnd, std::string::npos);
      version.clear();
      EXPECT_EQ(scanVersionOutput(variant.data(), lineEnd, false, version), VersionScan::NeedMore);
      EXPECT_EQ(scanVersionOutput(variant.data(), lineEnd + 1, false, version), VersionScan::Found);
      EXPECT_EQ(version, expected);
    }
  }
  EXPECT_EQ(files, static_cast<int>(expectedOf.size()));
  EXPECT_GE(files, 80);  // a broken pattern or path must not pass quietly
}

TEST(JavaVersion, OutputsWithoutAUsableVersionLine) {
  struct Case {
    const char* name;
    std::string output;
    bool ended;
    VersionScan expected;
    const char* version;
  } cases[] = {
      {"classic line with CR", "java version \"1.4.2_03\"\r\n", true, VersionScan::Found, "1.4.2_03"},
      {"classic line, CR only, output open", "java version \"1.4.2_03\"\r", false, VersionScan::Found, "1.4.2_03"},
      {"LF-only line is complete", "openjdk version \"17.0.15\" 2025-04-15\n", false, VersionScan::Found, "17.0.15"},
      {"last line without end, output ended", "java version \"1.5.0\"", true, VersionScan::Found, "1.5.0"},
      {"last line without end, output open", "java version \"1.5.0\"", false, VersionScan::NeedMore, ""},
      {"empty version", "java version \"\"\r\n", true, VersionScan::NoVersion, ""},
      {"empty version, output open", "java version \"\"\r\n", false, VersionScan::NoVersion, ""},
      {"no closing quote", "java version \"1.4.2\r\nmore \"x\"\r\n", true, VersionScan::NoVersion, ""},
      {"nothing", "", true, VersionScan::NoVersion, ""},
      {"nothing yet", "", false, VersionScan::NeedMore, ""},
      {"other program", "Usage: foo [-options]\r\n", true, VersionScan::NoVersion, ""},
      {"warnings first", "Picked up JAVA_TOOL_OPTIONS: -Dx=\"y\"\r\nwarning\r\njava version \"1.8.0_25\"\r\n", true,
       VersionScan::Found, "1.8.0_25"},
      {"prefix must start the line", " java version \"1.8\"\r\n", true, VersionScan::NoVersion, ""},
      {"upper case is another program", "Java version \"1.8\"\r\n", true, VersionScan::NoVersion, ""},
      {"control byte inside quotes", std::string("java version \"1.8\0x\"\r\n", 22), true, VersionScan::NoVersion,
       ""},
      {"first version line wins", "openjdk version \"11\"\njava version \"1.8\"\n", true, VersionScan::Found, "11"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string version;
    EXPECT_EQ(scanVersionOutput(c.output.data(), c.output.size(), c.ended, version), c.expected);
    EXPECT_EQ(version, c.version);
  }
}

TEST(JavaVersion, RangeComparesNumbersOverTheBoundsComponents) {
  struct Case {
    const char* version;
    const char* minimum;
    const char* maximum;
    bool acceptable;
  } cases[] = {
      // Results of the character-wise rule that stay.
      {"1.4.2_03", "1.4", "", true},
      {"1.4.2_03", "", "1.4", true},
      {"1.3.1_09", "1.4", "", false},
      {"1.4", "1.4.2_03", "", false},
      {"1.4", "1.4.1", "", false},
      {"1.4.2", "", "1.4.1", false},
      {"1.5.0", "", "1.4", false},
      {"1.4.2", "1.4.2", "1.4.2", true},
      {"anything", "", "", true},
      // Where numbers differ from characters.
      {"1.10", "1.4", "", true},
      {"17.0.15", "1.8", "", true},
      {"9.0.4", "11", "", false},
      {"11.0.2", "", "9", false},
      {"1.8.0_101", "1.8.0_25", "", true},
      {"1.8.0_25", "", "1.8.0_101", true},
      {"1.4.2_3", "1.4.2_03", "1.4.2_03", true},
      {"21-ea", "21", "21", true},
      {"16", "16.0.0", "", true},
      {"1.8.0-zing_20.03.0.0", "1.8.0_1", "", false},
      {"99999999999999999999999", "1.8", "", true},
      {"1.8", "", "99999999999999999999999", true},
      // A bound that is no number compares by characters; a version without
      // a number fails a numeric bound.
      {"abc", "abb", "", true},
      {"abc", "abd", "", false},
      {"", "1.4", "", false},
      {"beta", "", "1.8", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(versionAcceptable(c.version, c.minimum, c.maximum, true), c.acceptable)
        << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
  }
}

TEST(JavaVersion, BetaNeedsPermission) {
  EXPECT_FALSE(versionAcceptable("1.5.0-beta", "1.4", "", false));
  EXPECT_TRUE(versionAcceptable("1.5.0-beta", "1.4", "", true));
  EXPECT_FALSE(versionAcceptable("1.5.0-beta", "1.4", "1.4", true));
  EXPECT_TRUE(versionAcceptable("1.5.0-Beta", "", "", false));  // the word is matched as written
}

TEST(JavaVersion, RegistryNamesCompareOverTheShorterOfTheTwo) {
  struct Case {
    const char* name;
    const char* minimum;
    const char* maximum;
    bool inRange;
  } cases[] = {
      {"1.4", "1.4.2_03", "", true},   {"1.3.1", "1.4", "", false},   {"1.3", "1.4.2", "", false},
      {"1.8.0_202", "", "1.8", true},  {"1.10", "1.4", "", true},      {"9", "", "1.8", false},
      {"11", "1.8", "", true},         {"17.0.1", "11", "17", true},   {"1.5", "", "1.4", false},
      {"1.4", "", "1.4.2", true},      {"", "1.4", "", false},         {"1.4", "", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(versionNameInRange(c.name, c.minimum, c.maximum), c.inRange)
        << c.name << " in [" << c.minimum << ", " << c.maximum << "]";
  }
}

TEST(JavaVersion, HighestVersionIsChosenByNumbers) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  } cases[] = {
      {"1.10", "1.9", 1},         {"11", "9.0.4", 1},         {"1.4.2_05", "1.4.2_05", 0},
      {"1.4.2_06", "1.4.2_05", 1}, {"1.8.0_101", "1.8.0_25", 1}, {"17", "17.0.1", -1},
      {"", "1.4", -1},            {"1.4", "", 1},             {"", "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(compareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
  }
}

}  // namespace
}  // namespace plimo
