// plimo-pack in-process: project file to installer and back, validation,
// determinism and the bundled runtime archive. The stub here is a small PE
// image generated in code; tests with the real stub run as scripts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <zlib.h>

#include "block/BlockFormat.h"
#include "block/Limits.h"
#include "block/PayloadFormat.h"
#include "jvmsearch/JavaVersion.h"
#include "provision/DownloadProgress.h"
#include "provision/TarReader.h"
#include "tests/provision/TarTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"
#include "tools/plimo-pack/Catalogue.h"
#include "tools/plimo-pack/CodePage.h"
#include "tools/plimo-pack/Commands.h"
#include "tools/plimo-pack/Installer.h"
#include "tools/plimo-pack/JarReader.h"
#include "tools/plimo-pack/Project.h"
#include "tools/plimo-pack/RuntimeArchive.h"
#include "tools/plimo-pack/Sha256.h"
#include "tools/plimo-pack/ZipRuntime.h"

namespace plimo::pack {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A PE image with one section whose raw data ends at 0x300, plus some bytes
// after the image that must not be copied into installers.
std::string fakeStub(std::uint16_t machine = 0x14c) {
  std::string s(0x300, '\x90');
  s[0] = 'M';
  s[1] = 'Z';
  put32(s, 0x3C, 0x40);
  s.replace(0x40, 4, std::string("PE\0\0", 4));
  s[0x44] = static_cast<char>(machine & 0xFF);
  s[0x45] = static_cast<char>(machine >> 8);
  s[0x46] = 1;  // one section
  s[0x47] = 0;
  s[0x54] = 0;  // no optional header
  s[0x55] = 0;
  std::size_t section = 0x40 + 24;
  put32(s, section + 16, 0x100);  // raw size
  put32(s, section + 20, 0x200);  // raw offset
  return s + "OLD BLOCK";
}

// A stub as a signing tool leaves it: a full optional header (PE32 or PE32+)
// with a checksum and a certificate entry pointing at the signature after the
// image, which ends at 0x400.
std::string signedStub(std::uint16_t magic, std::uint16_t machine) {
  std::string s(0x400, '\x90');
  s[0] = 'M';
  s[1] = 'Z';
  put32(s, 0x3C, 0x40);
  s.replace(0x40, 4, std::string("PE\0\0", 4));
  s[0x44] = static_cast<char>(machine & 0xFF);
  s[0x45] = static_cast<char>(machine >> 8);
  s[0x46] = 1;
  s[0x47] = 0;
  std::size_t optionalSize = magic == 0x20B ? 0xF0 : 0xE0;
  s[0x54] = static_cast<char>(optionalSize);
  s[0x55] = 0;
  std::size_t optional = 0x58;
  s[optional] = static_cast<char>(magic & 0xFF);
  s[optional + 1] = static_cast<char>(magic >> 8);
  put32(s, optional + 64, 0x1234ABCD);  // checksum
  std::size_t countAt = magic == 0x20B ? 108 : 92;
  put32(s, optional + countAt, 16);
  put32(s, optional + countAt + 4 + 4 * 8, 0x400);  // certificate table: file offset
  put32(s, optional + countAt + 4 + 4 * 8 + 4, 9);  // and size
  std::size_t section = optional + optionalSize;
  put32(s, section + 16, 0x200);
  put32(s, section + 20, 0x200);
  return s + "SIGNATURE";
}

void put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void append32(std::string& s, std::uint32_t v) {
  put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
  put16(s, static_cast<std::uint16_t>(v >> 16));
}

// A zip file as jar tools write it: each entry stored or deflated, a local
// header before its data, the central directory and its end record last
// (with comment, when given).
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& entries, bool deflated,
                  const std::string& comment = "") {
  std::string out, central;
  for (const auto& [name, data] : entries) {
    std::string body = data;
    if (deflated) {
      z_stream z{};
      EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
      body.assign(deflateBound(&z, data.size()), '\0');
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
      z.avail_in = static_cast<uInt>(data.size());
      z.next_out = reinterpret_cast<Bytef*>(&body[0]);
      z.avail_out = static_cast<uInt>(body.size());
      EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
      body.resize(z.total_out);
      deflateEnd(&z);
    }
    auto crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    std::string common;
    put16(common, 20);  // version needed
    put16(common, 0);   // flags
    put16(common, deflated ? 8 : 0);
    append32(common, 0);  // time and date
    append32(common, crc);
    append32(common, static_cast<std::uint32_t>(body.size()));
    append32(common, static_cast<std::uint32_t>(data.size()));
    put16(common, static_cast<std::uint16_t>(name.size()));
    put16(common, 0);  // extra
    append32(out, 0x04034b50);
    out += common + name + body;
    append32(central, 0x02014b50);
    put16(central, 20);  // made by
    central += common;
    put16(central, 0);  // comment
    put16(central, 0);  // disk
    put16(central, 0);  // internal attributes
    append32(central, 0);
    append32(central, offset);
    central += name;
  }
  std::uint32_t directory = static_cast<std::uint32_t>(out.size());
  out += central;
  append32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<std::uint16_t>(entries.size()));
  put16(out, static_cast<std::uint16_t>(entries.size()));
  append32(out, static_cast<std::uint32_t>(central.size()));
  append32(out, directory);
  put16(out, static_cast<std::uint16_t>(comment.size()));
  return out + comment;
}

// The files of a runtime that the build reads: java.exe and its library,
// each a PE header of machine.
void writeRuntime(const std::filesystem::path& home, std::uint16_t machine = 0x14C) {
  writeAll(home / "bin" / "java.exe", fakeStub(machine));
  writeAll(home / "bin" / "server" / "jvm.dll", fakeStub(machine));
}

class PlimoPack : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/plimo-pack-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    writeAll(dir / "stub.exe", fakeStub());
  }
  void TearDown() override { fs::remove_all(dir); }

  // Builds project text (written to project.toml) into setup.exe.
  int build(const std::string& projectText, std::string* errors = nullptr, const std::string& arch = "") {
    writeAll(dir / "project.toml", projectText);
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = dir / "setup.exe";
    options.stub = dir / "stub.exe";
    if (!arch.empty()) options.arch = arch;
    std::ostringstream out, err;
    int code = runBuild(options, out, err);
    if (errors) *errors = err.str();
    return code;
  }

  // Builds projectText into setup.exe and reads that back; false (with the
  // reason reported) when either fails.
  bool buildAndRead(const std::string& projectText, InstallerContents& contents) {
    std::string errors, error;
    if (build(projectText, &errors) != EXIT_OK) {
      ADD_FAILURE() << "the build failed: " << errors;
      return false;
    }
    if (!readInstaller(dir / "setup.exe", contents, error)) {
      ADD_FAILURE() << error;
      return false;
    }
    return true;
  }

  std::set<std::string> filesIn(const fs::path& d) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(d)) names.insert(e.path().filename().string());
    return names;
  }

  fs::path dir;
};

std::string allBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
  return s;
}

TEST_F(PlimoPack, RoundTripsTextsInEachCodePageAndPayloadBytes) {
  struct Case {
    const char* codePage;
    std::string text;
    const char* recorded;  // entry 154, the Windows code page number
  };
  const std::string wideText = "\xF0\x9F\x98\x80 outside the BMP \xF0\x9D\x84\x9E and \xE6\x97\xA5\xE6\x9C\xAC";
  for (const Case& c : {Case{"windows-1252", "Caf\xC3\xA9 \xE2\x80\x93 na\xC3\xAFve \xE2\x82\xAC 5", "1252"},
                        Case{"cp932", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE8\xA8\xAD\xE5\xAE\x9A "
                                      "\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85", "932"}}) {
    SCOPED_TRACE(c.codePage);
    const std::string sizes[] = {allBytes(), std::string(8192, 'x'), std::string(8193, '\xA7'), std::string(1, '\0')};
    for (int i = 0; i < 4; ++i) writeAll(dir / ("p" + std::to_string(i) + ".bin"), sizes[i]);
    std::string project = std::string("code_page = \"") + c.codePage + "\"\n" +
                          "payload = [\"p0.bin\", \"p1.bin\", { source = \"p2.bin\", name = \"renamed.dat\" }, \"p3.bin\"]\n"
                          "[launch]\nmain_class = \"com.example.Main\"\nvm_parameters = \"-Dx=" + c.text + "\"\n"
                          "program_arguments = \"\"\nbase_directory = \"" + c.text + "\"\n"
                          "[runtime]\nmin_version = \"\"\nmax_version = \"\"\n"
                          "[messages]\nno_jvm = \"" + c.text + "\"\nerror_caption = \"\"\n"
                          "[wide_messages]\ncaption = \"" + wideText + "\"\npreparing = \"\"\n";
    InstallerContents contents;
    ASSERT_TRUE(buildAndRead(project, contents));
    EXPECT_EQ(contents.imageEnd, 0x300u);
    EXPECT_EQ(readAll(dir / "setup.exe").substr(0, 0x300), fakeStub().substr(0, 0x300));
    auto decoded = [&](std::int32_t id) {
      std::string utf8;
      EXPECT_EQ(fromCodePage(contents.store.narrow[id], c.codePage, utf8), Conversion::Ok) << id;
      return utf8;
    };
    EXPECT_EQ(decoded(123), "-Dx=" + c.text);
    EXPECT_EQ(decoded(10003), c.text);
    EXPECT_EQ(decoded(1001), c.text);
    for (std::int32_t empty : {124, 126, 127, 1000}) {
      ASSERT_TRUE(contents.store.narrow.count(empty)) << empty;
      EXPECT_EQ(contents.store.narrow[empty], "") << empty;
    }
    EXPECT_EQ(contents.store.wide[20013], utf16FromUtf8(wideText));
    EXPECT_EQ(contents.store.wide[20007], u"");
    EXPECT_EQ(contents.store.narrow[2002], "4");
    EXPECT_EQ(contents.store.narrow[2003], "p0.bin;p1.bin;renamed.dat;p3.bin;");
    EXPECT_EQ(contents.store.narrow[154], c.recorded);
    // inspect reads the texts in the recorded code page unless told otherwise.
    std::ostringstream shown, errors;
    EXPECT_EQ(runInspect(dir / "setup.exe", false, "", shown, errors), 0) << errors.str();
    EXPECT_NE(shown.str().find("\"" + c.text + "\""), std::string::npos) << shown.str();

    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(extractInstaller(dir / "setup.exe", dir / "out", c.codePage, written, error)) << error;
    EXPECT_EQ(written, (std::vector<std::string>{"p0.bin", "p1.bin", "renamed.dat", "p3.bin"}));
    EXPECT_EQ(readAll(dir / "out" / "p0.bin"), sizes[0]);
    EXPECT_EQ(readAll(dir / "out" / "p1.bin"), sizes[1]);
    EXPECT_EQ(readAll(dir / "out" / "renamed.dat"), sizes[2]);
    EXPECT_EQ(readAll(dir / "out" / "p3.bin"), sizes[3]);
    fs::remove_all(dir / "out");

    // Stored as the launcher reads them: the length, then every byte under the key.
    std::string installer = readAll(dir / "setup.exe");
    ASSERT_EQ(contents.payload.size(), 4u);
    for (int i = 0; i < 4; ++i) {
      const PayloadEntry& entry = contents.payload[i];
      ASSERT_EQ(entry.length, static_cast<std::int32_t>(sizes[i].size()));
      EXPECT_EQ(int32FromBytes(reinterpret_cast<const unsigned char*>(&installer[entry.offset - INT32_FIELD_SIZE])),
                entry.length);
      for (std::size_t k = 0; k < sizes[i].size(); ++k) {
        ASSERT_EQ(static_cast<unsigned char>(installer[entry.offset + k]),
                  static_cast<unsigned char>(sizes[i][k]) ^ PAYLOAD_KEY)
            << "record " << i << " byte " << k;
      }
    }
  }
}

// The Windows code page recorded for a project's code_page, and the iconv
// name inspect reads an installer with.
TEST(CodePageNumbers, FromIconvNamesAndBack) {
  struct Case {
    const char* name;
    int page;
  } cases[] = {{"windows-1252", 1252}, {"CP1251", 1251}, {"cp932", 932},  {"Shift_JIS", 932},
               {"GBK", 936},           {"big5", 950},    {"UTF-8", 65001}, {"ISO-8859-2", 28592},
               {"klingon-1", 0},       {"cp", 0},        {"windows-", 0}, {"cp12x2", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(windowsCodePage(c.name), c.page);
    if (c.page == 0) continue;
    // The name given back is one iconv knows, for the same page.
    std::string probe;
    EXPECT_EQ(toCodePage("a", iconvNameOf(c.page), probe), Conversion::Ok) << iconvNameOf(c.page);
    EXPECT_EQ(windowsCodePage(iconvNameOf(c.page)), c.page);
  }
}

TEST_F(PlimoPack, WritesEveryMessageWithItsPlaceholderAndTakesOverrides) {
  InstallerContents contents;
  ASSERT_TRUE(
      buildAndRead("[launch]\nmain_class = \"a.B\"\n[messages]\ninternal_error = \"code %ERROR_CODE%!\"\n"
                   "[wide_messages]\ncancel_button = \"Abbrechen\"\n",
                   contents));
  for (std::int32_t id = 1000; id <= 1011; ++id) {
    ASSERT_TRUE(contents.store.narrow.count(id)) << id;
    EXPECT_FALSE(contents.store.narrow[id].empty()) << id;
  }
  for (const MessageInfo& m : narrowMessages())
    if (m.placeholder) EXPECT_NE(contents.store.narrow[m.id].find(m.placeholder), std::string::npos) << m.id;
  for (std::int32_t id = 20001; id <= 20014; ++id) {
    ASSERT_TRUE(contents.store.wide.count(id)) << id;
    EXPECT_FALSE(contents.store.wide[id].empty()) << id;
  }
  std::string why;
  EXPECT_TRUE(isSafeProgressFormat(utf8FromUtf16(contents.store.wide[20008]), why)) << why;
  EXPECT_EQ(contents.store.narrow[1009], "code %ERROR_CODE%!");
  EXPECT_EQ(contents.store.wide[20012], u"Abbrechen");
  // Defaults of the other entries: a graphical installer.
  EXPECT_EQ(contents.store.narrow[107], "5");
  EXPECT_EQ(contents.store.narrow[2001], "i");
  EXPECT_EQ(contents.store.narrow[122], "a.B");
  EXPECT_FALSE(contents.store.narrow.count(2002));
}

TEST_F(PlimoPack, ReadableKeysBecomeTheLauncherForms) {
  InstallerContents contents;
  ASSERT_TRUE(
      buildAndRead("[launch]\nmain_class = \"a.B\"\nforward_j_options = true\napplication_type = \"console\"\n"
                   "launcher_kind = \"application\"\n"
                   "class_path = [\"A1lib/app.jar\", { kind = \"scan\", path = \"lib\" },\n"
                   "  { kind = \"environment\", variable = \"CP\", required = true }]\n"
                   "[runtime]\nsearch_sequence = [\"Y\", { kind = \"environment\", variable = \"JAVA_HOME\" },\n"
                   "  { kind = \"directory\", path = \"jre\" }, { kind = \"search_path\" }, { kind = \"registry\" }]\n"
                   "download_url = \"http://example.com/jre.tar.gz\"\nallow_unverified_download = true\n"
                   "preferred_vm_type = \"client\"\n",
                   contents));
  EXPECT_EQ(contents.store.narrow[125], "1");
  EXPECT_EQ(contents.store.narrow[107], "0");
  EXPECT_EQ(contents.store.narrow[2001], "e");
  EXPECT_EQ(contents.store.narrow[121], "A1lib/app.jar;S0lib;E1CP");
  EXPECT_EQ(contents.store.narrow[128], "Y;EJAVA_HOME;Ajre;S;Y;");
  EXPECT_EQ(contents.store.narrow[150], "http://example.com/jre.tar.gz");
  EXPECT_EQ(contents.store.narrow[152], "client");
}

struct Invalid {
  const char* label;
  std::string project;
  std::string expected;  // part of the error message
};

TEST_F(PlimoPack, InvalidProjectsWriteNothingAndExitWithTwo) {
  writeAll(dir / "a.jar", "jar");
  writeAll(dir / "A.JAR", "JAR");
  fs::create_directories(dir / "jre" / "bin");
  writeAll(dir / "jre" / "bin" / "java.exe", "exe");
  const std::string main = "[launch]\nmain_class = \"a.B\"\n";
  const Invalid cases[] = {
      {"unknown top-level key", "colour = 1\n" + main, "unknown key \"colour\""},
      {"unknown key in a table", "[launch]\nmain_class = \"a.B\"\nmian_class = \"x\"\n", "unknown key \"launch.mian_class\""},
      {"unknown message", main + "[messages]\nno_jvn = \"x\"\n", "unknown key \"messages.no_jvn\""},
      {"unknown field of a payload table", "payload = [{ source = \"a.jar\", nam = \"b\" }]\n" + main,
       "unknown key \"payload[0].nam\""},
      {"missing payload file", "payload = [\"missing.jar\"]\n" + main, "does not exist"},
      {"name with a slash", "payload = [{ source = \"a.jar\", name = \"sub/a.jar\" }]\n" + main, "not a plain file name"},
      {"name with a backslash", "payload = [{ source = \"a.jar\", name = \"sub\\\\a.jar\" }]\n" + main,
       "not a plain file name"},
      {"name climbing up", "payload = [{ source = \"a.jar\", name = \"..\" }]\n" + main, "not a plain file name"},
      {"name with the list separator", "payload = [{ source = \"a.jar\", name = \"a;b.jar\" }]\n" + main,
       "not a plain file name"},
      {"device name", "payload = [{ source = \"a.jar\", name = \"con.txt\" }]\n" + main, "device name"},
      {"name with a double-byte character ending in 0x5C", "code_page = \"cp932\"\npayload = [{ source = \"a.jar\", "
       "name = \"\xE8\xA1\xA8.txt\" }]\n" + main, "folder separator"},
      {"duplicate names", "payload = [\"a.jar\", { source = \"a.jar\", name = \"a.jar\" }]\n" + main, "occurs twice"},
      {"duplicate names ignoring case", "payload = [\"a.jar\", \"A.JAR\"]\n" + main, "occurs twice"},
      {"name of the bundled runtime", "payload = [{ source = \"a.jar\", name = \"JRE.tar.gz\" }]\n" + main +
                                          "[runtime]\nbundle = \"jre\"\n",
       "taken by the bundled runtime"},
      {"narrow value over 8191 bytes", "[launch]\nmain_class = \"a.B\"\nvm_parameters = \"" + std::string(8192, 'v') + "\"\n",
       "launch.vm_parameters: 8192 bytes"},
      {"narrow value over the limit after conversion", "code_page = \"cp932\"\n[launch]\nmain_class = \"a.B\"\n"
                                                       "vm_parameters = \"" + [] { std::string s; for (int i = 0; i < 4096; ++i) s += "\xE6\x97\xA5"; return s; }() + "\"\n",
       "launch.vm_parameters: 8192 bytes"},
      {"wide value over 8191 units", main + "[wide_messages]\ncaption = \"" + std::string(8192, 'w') + "\"\n",
       "wide_messages.caption: 8192 UTF-16"},
      {"main class with slashes", "[launch]\nmain_class = \"com/example/Main\"\n", "not a dotted Java class name"},
      {"main class with an empty part", "[launch]\nmain_class = \"com..Main\"\n", "not a dotted Java class name"},
      {"main class starting with a digit", "[launch]\nmain_class = \"1st.Main\"\n", "not a dotted Java class name"},
      {"empty main class", "[launch]\nmain_class = \"\"\n", "not a dotted Java class name"},
      {"no main class", "[launch]\nvm_parameters = \"\"\n", "launch.main_class: missing"},
      {"text outside the code page", main + "[messages]\nno_jvm = \"\xE6\x97\xA5\xE6\x9C\xAC\"\n",
       "messages.no_jvm: the text cannot be written in code page windows-1252"},
      {"unknown code page", "code_page = \"klingon-1\"\n" + main, "not a code page"},
      {"code page iconv has but Windows numbers not", "code_page = \"EUC-JP\"\n" + main, "not a code page"},
      {"NUL in a value", "[launch]\nmain_class = \"a.B\"\nprogram_arguments = \"a\\u0000b\"\n", "NUL"},
      {"unsafe progress format", main + "[wide_messages]\nprogress_format = \"%s of %f\"\n", "not a floating conversion"},
      {"too many conversions", main + "[wide_messages]\nprogress_format = \"%f %f %f %f %f\"\n", "more than four"},
      {"class path item with a separator", "[launch]\nmain_class = \"a.B\"\nclass_path = [\"A1a.jar;b.jar\"]\n",
       "contains ';'"},
      {"bad class path kind", "[launch]\nmain_class = \"a.B\"\nclass_path = [{ kind = \"zip\", path = \"x\" }]\n",
       "class_path[0].kind"},
      {"class path that is not an array", "[launch]\nmain_class = \"a.B\"\nclass_path = \"A1a.jar\"\n",
       "launch.class_path: expected an array of items"},
      {"class path item of another type", "[launch]\nmain_class = \"a.B\"\nclass_path = [\"A1a.jar\", 3]\n",
       "launch.class_path[1]: expected a string or a table"},
      {"class path table with a separator",
       "[launch]\nmain_class = \"a.B\"\nclass_path = [{ kind = \"environment\", variable = \"A;B\" }]\n",
       "launch.class_path[0]: \"E0A;B\" contains ';', which separates class path items"},
      {"search sequence that is not an array", main + "[runtime]\nsearch_sequence = \"Y\"\n",
       "runtime.search_sequence: expected an array of entries"},
      {"search entry of another type", main + "[runtime]\nsearch_sequence = [true]\n",
       "runtime.search_sequence[0]: expected a string or a table"},
      {"search entry with a separator", main + "[runtime]\nsearch_sequence = [\"S\", \"Aa;b\"]\n",
       "runtime.search_sequence[1]: \"Aa;b\" contains ';', which separates search entries"},
      {"search entry table with a separator",
       main + "[runtime]\nsearch_sequence = [{ kind = \"directory\", path = \"a;b\" }]\n",
       "runtime.search_sequence[0]: \"Aa;b\" contains ';', which separates search entries"},
      {"registry entry with a path", main + "[runtime]\nsearch_sequence = [{ kind = \"registry\", path = \"x\" }]\n",
       "runtime.search_sequence[0]: kind registry takes no further fields"},
      {"runtime directory missing", main + "[runtime]\nbundle = \"nojre\"\n", "is not a directory"},
      {"wrong type", "[launch]\nmain_class = \"a.B\"\nforward_j_options = \"yes\"\n", "expected true or false"},
      {"not TOML", "[launch\n", "not valid TOML"},
      {"payload folder", "payload = [\"jre/\"]\n" + main, "\"jre/\" is a folder"},
      {"class path item without its kind letter", "[launch]\nmain_class = \"a.B\"\nclass_path = [\"lib/app.jar\"]\n",
       "\"lib/app.jar\" does not start with its kind letter (A, D, S or E) and required flag (0 or 1); "
       "write it as \"A1lib/app.jar\""},
      {"search entry without its kind letter", main + "[runtime]\nsearch_sequence = [\"Y\", \"yJAVA_HOME\"]\n",
       "search_sequence[1]: \"yJAVA_HOME\" does not start with its kind letter"},
      {"version with a suffix", main + "[runtime]\nmin_version = \"1.8+\"\n",
       "runtime.min_version: \"1.8+\" is not a version such as \"1.8\", \"11\", \"17.0.2\" or \"1.8.0_201\" (line 4)"},
      {"early-access version", main + "[runtime]\nmax_version = \"17-ea\"\n", "runtime.max_version: \"17-ea\" is not"},
      {"version with an empty component", main + "[runtime]\nmin_version = \"1..8\"\n", "is not a version"},
      {"update number not last", main + "[runtime]\nmin_version = \"1_8.0\"\n", "is not a version"},
      {"maximum below the minimum", main + "[runtime]\nmin_version = \"11\"\nmax_version = \"1.8\"\n",
       "runtime.max_version: \"1.8\" is below runtime.min_version \"11\"; no runtime could fit (line 5)"},
      {"maximum below the minimum by numbers, not text", main + "[runtime]\nmin_version = \"1.10\"\nmax_version = \"1.9\"\n",
       "is below runtime.min_version"},
      {"maximum one update below", main + "[runtime]\nmin_version = \"1.8.0_201\"\nmax_version = \"1.8.0_200\"\n",
       "is below runtime.min_version"},
      {"download over ftp", main + "[runtime]\ndownload_url = \"ftp://example.com/jre.tar.gz\"\n",
       "runtime.download_url: \"ftp://example.com/jre.tar.gz\": the launcher downloads over http:// or https:// only (line 4)"},
      {"download without a server", main + "[runtime]\ndownload_url = \"https:///jre.tar.gz\"\n", "names no server"},
      {"download of a zip", main + "[runtime]\ndownload_url = \"https://example.com/jre.zip\"\n",
       "does not name a .tar.gz archive"},
      {"download with .tar.gz only in its query", main + "[runtime]\ndownload_url = \"http://example.com/get?f=jre.tar.gz\"\n",
       "does not name a .tar.gz archive"},
      {"plain http download without a digest", main + "[runtime]\ndownload_url = \"http://example.com/jre.tar.gz\"\n",
       "runtime.download_url: over plain http:// anyone on the network path can replace the runtime"},
      {"digest that is not hexadecimal",
       main + "[runtime]\ndownload_url = \"https://example.com/jre.tar.gz\"\ndownload_sha256 = \"" + std::string(63, 'a') +
           "g\"\n",
       "is not a SHA-256 digest (64 hexadecimal digits) (line 5)"},
      {"digest without an address", main + "[runtime]\ndownload_sha256 = \"" + std::string(64, 'a') + "\"\n",
       "there is no runtime.download_url whose archive it could pin"},
      {"local archive that does not exist",
       main + "[runtime]\ndownload_url = \"https://example.com/jre.tar.gz\"\ndownload_archive = \"absent.tar.gz\"\n",
       "absent.tar.gz\" cannot be read"},
      // Each error about a value names its line.
      {"missing payload file, its line", "payload = [\"missing.jar\"]\n" + main, "is not a regular file (line 1)"},
      {"value too long, its line", main + "vm_parameters = \"" + std::string(8192, 'v') + "\"\n",
       "launch.vm_parameters: 8192 bytes, longer than the launcher's limit of 8191 (line 3)"},
      {"wide value too long, its line", main + "[messages]\ncaption = \"" + std::string(8192, 'w') + "\"\n",
       "messages.caption: 8192 UTF-16 code units, longer than the launcher's limit of 8191 (line 4)"},
      {"unknown code page, its line", "# cp\ncode_page = \"klingon-1\"\n" + main, "not a code page plimo-pack knows (it takes the names that have a Windows code page number"},
      {"runtime directory missing, its line", main + "[runtime]\nbundle = \"nojre\"\n", "is not a directory (line 4)"},
      {"text outside the code page, its line", main + "[messages]\n\nerror_caption = \"\xE6\x97\xA5\"\n",
       "messages.error_caption: the text cannot be written in code page windows-1252 (line 5)"},
      {"payload name outside the code page, its line",
       "code_page = \"cp1251\"\npayload = [{ source = \"a.jar\", name = \"\xC3\xA9.jar\" }]\n" + main,
       "payload (names): the text cannot be written in code page cp1251 (line 2)"},
      // A slip of the keyboard, or a key in the wrong table, gets a suggestion.
      {"misspelt key", "[launch]\nmain_clas = \"a.B\"\n", "unknown key \"launch.main_clas\" (line 2); did you mean launch.main_class?"},
      {"swapped letters", main + "[runtime]\nbudnle = \"jre\"\n", "did you mean runtime.bundle?"},
      {"key in the wrong table", main + "bundle = \"jre\"\n", "unknown key \"launch.bundle\" (line 3); did you mean [runtime] bundle?"},
      {"misspelt message", main + "[messages]\nno_jvn = \"x\"\n", "did you mean messages.no_jvm?"},
      {"misspelt wide message", main + "[wide_messages]\ncaptoin = \"x\"\n", "did you mean wide_messages.caption?"},
      {"no suggestion for another word", main + "[runtime]\ncolour = \"red\"\n", "unknown key \"runtime.colour\" (line 4)\n"},
      {"sha256sum's whole line pasted",
       main + "[runtime]\ndownload_url = \"https://example.com/jre.tar.gz\"\ndownload_sha256 = \"" + std::string(64, 'a') +
           "  jre.tar.gz\"\n",
       "it looks like a whole line of sha256sum's output: write only its first 64 digits, \"" + std::string(64, 'a') + "\""},
      // One messages table for every message; the older table for wide ones.
      {"narrow message in the wide table", main + "[wide_messages]\nerror_caption = \"x\"\n",
       "wide_messages.error_caption: a narrow message; write it in [messages] (line 4)"},
      {"a message in both tables", main + "[messages]\ncaption = \"a\"\n[wide_messages]\ncaption = \"b\"\n",
       "wide_messages.caption: set in [messages] as well (line 4); keep one of them (line 6)"},
      {"unsafe progress format in the messages table", main + "[messages]\nprogress_format = \"%s\"\n",
       "messages.progress_format: unsafe format"},
      {"opt-out that is not true or false",
       main + "[runtime]\ndownload_url = \"http://example.com/jre.tar.gz\"\nallow_unverified_download = \"yes\"\n",
       "runtime.allow_unverified_download: expected true or false"},
  };
  writeAll(dir / "setup.exe", "previous installer");
  for (const Invalid& c : cases) {
    SCOPED_TRACE(c.label);
    std::string errors;
    EXPECT_EQ(build(c.project, &errors), EXIT_INVALID);
    EXPECT_NE(errors.find(c.expected), std::string::npos) << errors;
    EXPECT_TRUE(readAll(dir / "setup.exe") == "previous installer") << "the existing installer was replaced";
    EXPECT_EQ(filesIn(dir), (std::set<std::string>{"stub.exe", "project.toml", "setup.exe", "a.jar", "A.JAR", "jre"}));
  }
}

// plimo-pack stores only progress formats the launcher fills, by the
// launcher's own rule; beyond it, only a line that could be cut is refused.
// Java 5 to 8 report their versions as 1.5 to 1.8: a bound written "8" is
// stored as "1.8", so that the launcher's comparison means what the author did.
TEST_F(PlimoPack, VersionBoundsOfJavaFiveToEightAreWrittenAsJavaReportsThem) {
  struct Case {
    const char* minimum;
    const char* maximum;
    const char* written[2];
    const char* accepted;  // versions as java -version reports them, held against the written range
    const char* refused;
  } cases[] = {
      {"8", "", {"1.8", ""}, "1.8.0_402", "1.7.0_80"},
      {"5", "8", {"1.5", "1.8"}, "1.8.0_202", "9.0.4"},
      {"8.0_201", "", {"1.8.0_201", ""}, "1.8.0_202", "1.8.0_200"},
      {"1.8", "11", {"1.8", "11"}, "11.0.2", "17.0.1"},
      {"9", "", {"9", ""}, "9.0.4", "1.8.0_402"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.minimum) + " .. " + c.maximum);
    writeAll(dir / "project.toml", std::string("[launch]\nmain_class = \"a.B\"\n[runtime]\nmin_version = \"") + c.minimum +
                                       "\"\nmax_version = \"" + c.maximum + "\"\n");
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = dir / "setup.exe";
    options.stub = dir / "stub.exe";
    std::ostringstream out, err;
    ASSERT_EQ(runBuild(options, out, err), EXIT_OK) << err.str();
    InstallerContents contents;
    std::string error;
    ASSERT_TRUE(readInstaller(dir / "setup.exe", contents, error)) << error;
    EXPECT_EQ(contents.store.narrow[126], c.written[0]);
    EXPECT_EQ(contents.store.narrow[127], c.written[1]);
    EXPECT_EQ(out.str().find("is written as \"1.") != std::string::npos, std::string(c.written[0]) != c.minimum) << out.str();
    EXPECT_TRUE(versionAcceptable(c.accepted, contents.store.narrow[126], contents.store.narrow[127], true));
    EXPECT_FALSE(versionAcceptable(c.refused, contents.store.narrow[126], contents.store.narrow[127], true));
  }
}

// [messages] takes narrow and wide messages alike, each written as its entry
// needs; a wide text holds what the code page cannot.
TEST_F(PlimoPack, OneMessagesTableHoldsNarrowAndWideTexts) {
  InstallerContents contents;
  ASSERT_TRUE(buildAndRead("[launch]\nmain_class = \"a.B\"\n[messages]\nerror_caption = \"Fehler \xC3\xA9\"\n"
                           "caption = \"\xE6\x97\xA5\xE6\x9C\xAC\"\ncancel_button = \"Abbrechen\"\n"
                           "[wide_messages]\npreparing = \"Bitte warten\"\n",
                           contents));
  EXPECT_EQ(contents.store.narrow[1000], "Fehler \xE9");
  EXPECT_EQ(contents.store.wide[20013], u"\u65E5\u672C");
  EXPECT_EQ(contents.store.wide[20012], u"Abbrechen");
  EXPECT_EQ(contents.store.wide[20007], u"Bitte warten");
  EXPECT_FALSE(contents.store.narrow.count(20013));
}

TEST(JarReader, NamesAndTheManifestsMainClassOfStoredAndDeflatedJars) {
  const std::string manifest = "Manifest-Version: 1.0\r\nCreated-By: 17\r\nMain-Class: com.example.dee\r\n p.Main\r\n\r\n"
                               "Name: other\r\nMain-Class: not.This\r\n";
  struct Case {
    const char* what;
    std::string zip;
    bool read;
    std::vector<std::string> names;
    const char* mainClass;
  } cases[] = {
      {"stored, manifest with a continuation line", zipOf({{"META-INF/MANIFEST.MF", manifest}, {"a/B.class", "x"}}, false),
       true, {"META-INF/MANIFEST.MF", "a/B.class"}, "com.example.deep.Main"},
      {"deflated, with a zip comment", zipOf({{"a/B.class", "x"}, {"meta-inf/manifest.mf", manifest}}, true, "comment"),
       true, {"a/B.class", "meta-inf/manifest.mf"}, "com.example.deep.Main"},
      {"LF line ends, Main-Class only in a later section",
       zipOf({{"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\n\nName: x\nMain-Class: a.B\n"}}, true), true,
       {"META-INF/MANIFEST.MF"}, ""},
      {"no manifest", zipOf({{"a/B.class", "x"}}, false), true, {"a/B.class"}, ""},
      {"not a zip file", std::string(300, 'j'), false, {}, ""},
      {"central directory cut off", zipOf({{"a/B.class", "x"}}, false).substr(0, 40) + zipOf({{"a/B.class", "x"}}, false).substr(79), false, {}, ""},
      {"end record pointing past the file", [] { std::string z = zipOf({{"a/B.class", "x"}}, false); put32(z, z.size() - 6, 0x7FFFFFFF); return z; }(),
       false, {}, ""},
      {"manifest of another method", [&] { std::string z = zipOf({{"META-INF/MANIFEST.MF", manifest}}, false); z[8] = 12; z[z.find("PK\x01\x02") + 10] = 12; return z; }(),
       false, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryByteSource source(c.zip);
    JarListing listing;
    std::string why;
    EXPECT_EQ(readJar(source, listing, why), c.read) << why;
    if (!c.read) {
      EXPECT_FALSE(why.empty());
      continue;
    }
    EXPECT_EQ(listing.names, c.names);
    EXPECT_EQ(listing.mainClass, c.mainClass);
  }
}

// The main class against the payload jars: an error where the class path is
// only those jars, a warning where it takes more from outside the build, and
// a manifest's Main-Class where none is set.
TEST_F(PlimoPack, TheMainClassIsCheckedAgainstThePayloadJars) {
  const std::string withMain = zipOf({{"META-INF/MANIFEST.MF", "Main-Class: a.b.Main\r\n"}, {"a/b/Main.class", "c"}}, true);
  struct Case {
    const char* what;
    std::string jar;   // app.jar
    std::string launch;
    int exit;
    const char* said;  // part of the output; "" nothing at all
    const char* entry122;
  } cases[] = {
      {"found", withMain, "main_class = \"a.b.Main\"\nlauncher_kind = \"application\"\n", EXIT_OK, "", "a.b.Main"},
      {"missing, nothing else on the class path", withMain,
       "main_class = \"a.b.Missing\"\nlauncher_kind = \"application\"\n", EXIT_INVALID,
       "error: launch.main_class: \"a.b.Missing\" is in none of the payload jars (app.jar): none holds a/b/Missing.class, "
       "and the class path has nothing else (line 3)", ""},
      {"missing, the installer's runtime jar follows", withMain, "main_class = \"a.b.Missing\"\n", EXIT_OK,
       "warning: launch.main_class: \"a.b.Missing\" is in none of the payload jars (app.jar); whether the class path "
       "finds it at run time cannot be checked here, as it also takes the installer runtime jar", "a.b.Missing"},
      {"missing, class path items follow", withMain,
       "main_class = \"a.b.Missing\"\nlauncher_kind = \"application\"\nclass_path = [\"A1lib/x.jar\"]\n", EXIT_OK,
       "as it also takes the items of launch.class_path", "a.b.Missing"},
      {"taken from the manifest", withMain, "launcher_kind = \"application\"\n", EXIT_OK,
       "launch.main_class: not set; taking \"a.b.Main\", the Main-Class of the manifest of app.jar", "a.b.Main"},
      {"none set, none in a manifest", zipOf({{"a/b/Main.class", "c"}}, false), "launcher_kind = \"application\"\n",
       EXIT_INVALID, "launch.main_class: missing", ""},
      {"a path", withMain, "main_class = \"a/b/Main\"\n", EXIT_INVALID,
       "that is a file name: write the class name, \"a.b.Main\"", ""},
      {"a class file", withMain, "main_class = \"Main.class\"\n", EXIT_INVALID,
       "\"Main.class\" is not a dotted Java class name (such as com.example.Main) (line 3); that is a file name: write "
       "the class name, \"Main\"", ""},
      {"a jar Java cannot read", "not a zip", "main_class = \"a.b.Main\"\nlauncher_kind = \"application\"\n", EXIT_OK,
       "warning: payload: \"app.jar\" is not a jar Java can read", "a.b.Main"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeAll(dir / "app.jar", c.jar);
    writeAll(dir / "project.toml", "payload = [\"app.jar\"]\n[launch]\n" + c.launch);
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = dir / "setup.exe";
    options.stub = dir / "stub.exe";
    std::ostringstream out, err;
    ASSERT_EQ(runBuild(options, out, err), c.exit) << err.str();
    std::string said = out.str() + err.str();
    if (*c.said) EXPECT_NE(said.find(c.said), std::string::npos) << said;
    else EXPECT_EQ(said.find("main_class"), std::string::npos) << said;
    if (c.exit != EXIT_OK) continue;
    InstallerContents contents;
    std::string error;
    ASSERT_TRUE(readInstaller(dir / "setup.exe", contents, error)) << error;
    EXPECT_EQ(contents.store.narrow[122], c.entry122);
  }
}

TEST(ProgressFormat, PlimoPackStoresOnlyWhatTheLauncherFills) {
  struct Case {
    const char* format;
    bool stored;
    const char* why;
  } cases[] = {
      {"%.1f MB of %.1f MB received (%.0f%%), %.0f kb/s", true, ""},
      {"%1000.1f", true, ""},  // a width of four digits is clamped by the launcher
      {"%.979f", true, ""},
      {"%.1234f", false, "could exceed 999"},  // clamped to 999, plus the figure's digits
      {"%0999f", true, ""},
      {"%500f %500f", false, "the formatted line could exceed 999 characters"},
      {"%.1000f %f", false, "could exceed 999"},
      {"%s of %f", false, "the conversion at offset 0 is not a floating conversion"},
      {"\xE3\x83\x80\xE3\x82\xA6\xE3\x83\xB3 %d", false, "the conversion at offset 4 is not"},  // counted in characters
      {"%f %f %f %f %f", false, "more than four conversions"},
      {"%*f", false, "not a floating conversion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::string why;
    EXPECT_EQ(isSafeProgressFormat(c.format, why), c.stored);
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    if (c.stored) EXPECT_TRUE(plimo::isSafeProgressFormat(utf16FromUtf8(c.format)));
  }
}

TEST_F(PlimoPack, ValuesAtTheLimitAreAccepted) {
  InstallerContents contents;
  ASSERT_TRUE(buildAndRead("[launch]\nmain_class = \"a.B\"\nvm_parameters = \"" + std::string(8191, 'v') +
                               "\"\n[wide_messages]\ncaption = \"" + std::string(8191, 'w') + "\"\n",
                           contents));
  EXPECT_EQ(contents.store.narrow[123].size(), 8191u);
  EXPECT_EQ(contents.store.wide[20013].size(), 8191u);
}

TEST_F(PlimoPack, TheDownloadedArchiveIsPinnedByItsDigest) {
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  std::string upper = abc;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  writeAll(dir / "jre.tar.gz", "abc");
  // A local copy is read as the launcher would unpack it: a real runtime archive.
  writeRuntime(dir / "tree");
  ASSERT_TRUE(writeRuntimeArchive(dir / "tree", dir / "real.tar.gz").ok);
  const std::string real = *fileSha256(dir / "real.tar.gz");
  const std::string head = "[launch]\nmain_class = \"a.B\"\n[runtime]\ndownload_url = \"http://example.com/jre.tar.gz\"\n";
  struct Case {
    const char* what;
    std::string runtimeKeys;
    std::string entry153;
  } cases[] = {
      {"given, in capitals with blanks", "download_sha256 = \" " + upper + " \"\n", abc},
      {"computed from the local archive", "download_archive = \"real.tar.gz\"\n", real},
      {"given and computed agree", "download_sha256 = \"" + real + "\"\ndownload_archive = \"real.tar.gz\"\n", real},
      {"no digest, the author opted out", "allow_unverified_download = true\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallerContents contents;
    ASSERT_TRUE(buildAndRead(head + c.runtimeKeys, contents));
    EXPECT_EQ(contents.store.narrow.count(153) ? contents.store.narrow[153] : std::string(), c.entry153);
  }
  std::string errors;
  std::string other = std::string(64, '0');
  EXPECT_EQ(build(head + "download_sha256 = \"" + other + "\"\ndownload_archive = \"jre.tar.gz\"\n", &errors), EXIT_INVALID);
  EXPECT_NE(errors.find("the digest differs from that of"), std::string::npos) << errors;
  EXPECT_NE(errors.find(abc), std::string::npos) << "the message names the archive's digest: " << errors;
}

TEST_F(PlimoPack, VersionRangesAndAddressesTheLauncherCanUseAreAccepted) {
  struct Accepted {
    const char* minimum;
    const char* maximum;
    const char* address;
  };
  const Accepted cases[] = {
      {"1.8", "1.8", "http://example.com/jre.tar.gz"},
      // The maximum is compared over its own components: "1.8" admits 1.8.0_201.
      {"1.8.0_201", "1.8", "https://example.com/java/17/jre.tar.gz"},
      {"9", "11", "HTTPS://Example.COM/JRE.TAR.GZ?token=1#x"},
      {"1.8", "17.0.2", "http://10.0.0.1:8080/a/b/jre.tar.gz"},
      {"", "1.4", ""},
      {"11", "", ""},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(std::string(c.minimum) + " .. " + c.maximum + " " + c.address);
    InstallerContents contents;
    ASSERT_TRUE(buildAndRead(std::string("[launch]\nmain_class = \"a.B\"\n[runtime]\nmin_version = \"") + c.minimum +
                                 "\"\nmax_version = \"" + c.maximum + "\"\ndownload_url = \"" + c.address +
                                 "\"\nallow_unverified_download = true\n",
                             contents));
    EXPECT_EQ(contents.store.narrow[126], c.minimum);
    EXPECT_EQ(contents.store.narrow[127], c.maximum);
    EXPECT_EQ(contents.store.narrow[150], c.address);
  }
}

TEST_F(PlimoPack, ApplicationLaunchersGetDefaultsWithoutSetupWording) {
  for (const char* kind : {"installer", "application"}) {
    SCOPED_TRACE(kind);
    InstallerContents contents;
    ASSERT_TRUE(
        buildAndRead(std::string("[launch]\nmain_class = \"a.B\"\nlauncher_kind = \"") + kind + "\"\n", contents));
    std::vector<std::string> texts;
    for (const auto& [id, text] : contents.store.narrow)
      if (id >= 1000 && id <= 1011) texts.push_back(text);
    for (const auto& [id, text] : contents.store.wide) texts.push_back(utf8FromUtf16(text));
    ASSERT_EQ(texts.size(), 12u + 17u);
    int setupWording = 0;
    for (std::string text : texts) {
      std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
      if (text.find("setup") != std::string::npos || text.find("installation") != std::string::npos) ++setupWording;
    }
    if (std::string(kind) == "application") {
      EXPECT_EQ(setupWording, 0);
    } else {
      // The installer wording is unchanged.
      EXPECT_EQ(contents.store.narrow[1000], "Setup error");
      EXPECT_EQ(contents.store.wide[20013], u"Setup");
      EXPECT_EQ(setupWording, 9);
    }
  }
}

TEST_F(PlimoPack, EntriesTheLauncherWouldIgnoreAreWarnings) {
  struct Warned {
    std::string project;
    const char* expected;
  };
  const Warned cases[] = {
      {"[runtime]\nsearch_sequence = [\"\"]\n", "empty entry"},
      {"[launch]\nclass_path = [\"A1\"]\n", "names no path"},
      {"[messages]\nclass_path_entry_missing = \"missing\"\n", "lacks %FILE_NAME%"},
  };
  for (const Warned& c : cases) {
    SCOPED_TRACE(c.project);
    std::string errors;
    std::string project = c.project;
    // main_class lives in [launch]; add it to whichever form the case uses.
    if (project.find("[launch]") != std::string::npos)
      project.replace(project.find("[launch]"), 8, "[launch]\nmain_class = \"a.B\"");
    else
      project += "[launch]\nmain_class = \"a.B\"\n";
    EXPECT_EQ(build(project, &errors), EXIT_OK) << errors;
    EXPECT_NE(errors.find("warning: "), std::string::npos) << errors;
    EXPECT_NE(errors.find(c.expected), std::string::npos) << errors;
  }
}

TEST_F(PlimoPack, AnOutputThatIsAnInputIsRefusedAndMissingFoldersAreCreated) {
  writeAll(dir / "app.jar", "app");
  writeRuntime(dir / "runtime");
  fs::create_hard_link(dir / "app.jar", dir / "linked.jar");
  fs::create_directories(dir / "sub");
  const std::string project = "payload = [\"app.jar\"]\n[launch]\nmain_class = \"a.B\"\n[runtime]\nbundle = \"runtime\"\n";
  writeAll(dir / "project.toml", project);
  struct Refused {
    fs::path output;
    const char* expected;
  };
  const Refused cases[] = {
      {dir / "sub" / ".." / "project.toml", "it is the project file"},
      {dir / "app.jar", "it is the payload file"},
      {dir / "linked.jar", "it is the payload file"},
      {dir / "." / "stub.exe", "it is the stub"},
      {dir / "runtime" / "bin" / "java.exe", "inside the runtime directory"},
      {dir / "runtime" / "setup.exe", "inside the runtime directory"},  // would pack itself
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.output.string());
    std::map<fs::path, std::string> before;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) before[e.path()] = readAll(e.path());
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = c.output;
    options.stub = dir / "stub.exe";
    std::ostringstream out, err;
    EXPECT_EQ(runBuild(options, out, err), EXIT_INVALID);
    EXPECT_NE(err.str().find(c.expected), std::string::npos) << err.str();
    std::map<fs::path, std::string> after;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) after[e.path()] = readAll(e.path());
    EXPECT_TRUE(before == after) << "a file was changed or added";
  }

  BuildOptions options;
  options.project = dir / "project.toml";
  options.output = dir / "new" / "deeper" / "setup.exe";
  options.stub = dir / "stub.exe";
  std::ostringstream out, err;
  EXPECT_EQ(runBuild(options, out, err), EXIT_OK) << err.str();
  std::string error;
  InstallerContents contents;
  EXPECT_TRUE(readInstaller(options.output, contents, error)) << error;

  // A project file that is not there is an input that cannot be read.
  options.project = dir / "missing.toml";
  err.str("");
  EXPECT_EQ(runBuild(options, out, err), EXIT_FAILED);
  EXPECT_NE(err.str().find("cannot read the project file \"" + options.project.string() + "\": no such file"),
            std::string::npos)
      << err.str();
}

TEST_F(PlimoPack, TheStarterProjectBuildsWithoutWarningsAndIsNeverOverwritten) {
  std::ostringstream out, err;
  ASSERT_EQ(runInit(dir / "starter", out, err), EXIT_OK) << err.str();
  fs::path project = dir / "starter" / STARTER_PROJECT_NAME;
  std::string written = readAll(project);
  // The starter's placeholder class is not in a jar that lacks it: a warning
  // (the installer's runtime jar may hold it), never silence.
  writeAll(dir / "starter" / "app.jar", zipOf({{"app/Main.class", "class"}}, true));
  writeAll(dir / "stub.exe", fakeStub(0x8664));  // init chooses x64
  {
    Project loaded;
    Diagnostics diagnostics;
    EXPECT_TRUE(loadProject(project, loaded, diagnostics));
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_NE(diagnostics.warnings[0].find("\"com.example.Main\" is in none of the payload jars (app.jar)"), std::string::npos)
        << diagnostics.warnings[0];
  }
  writeAll(dir / "starter" / "app.jar", zipOf({{"com/example/Main.class", "class"}}, true));
  BuildOptions options;
  options.project = project;
  options.output = dir / "starter" / "setup.exe";
  options.stub = dir / "stub.exe";
  err.str("");
  ASSERT_EQ(runBuild(options, out, err), EXIT_OK) << err.str();
  Project loaded;
  Diagnostics diagnostics;
  EXPECT_TRUE(loadProject(project, loaded, diagnostics));
  EXPECT_TRUE(diagnostics.warnings.empty()) << diagnostics.warnings.front();
  InstallerContents contents;
  std::string error;
  ASSERT_TRUE(readInstaller(options.output, contents, error)) << error;
  EXPECT_EQ(contents.store.narrow[2003], "app.jar;");

  writeAll(project, "edited");
  err.str("");
  EXPECT_EQ(runInit(dir / "starter", out, err), EXIT_INVALID);
  EXPECT_NE(err.str().find("exists"), std::string::npos) << err.str();
  EXPECT_EQ(readAll(project), "edited");
  EXPECT_NE(written, "edited");
}

TEST_F(PlimoPack, StubArchitectureMustMatch) {
  std::string errors;
  EXPECT_EQ(build("[launch]\nmain_class = \"a.B\"\n", &errors, "x64"), EXIT_INVALID);
  EXPECT_NE(errors.find("is x86, not x64"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(dir / "setup.exe"));
  EXPECT_EQ(build("[launch]\nmain_class = \"a.B\"\n", &errors, "x86"), EXIT_OK) << errors;
}

// A signed stub's certificate entry and checksum would point a verifier into
// the block; every installer has them cleared, unbranded ones included.
TEST_F(PlimoPack, AnInstallerFromASignedStubCarriesNoCertificateEntryOrChecksum) {
  struct Case {
    std::uint16_t magic, machine;
    std::size_t countAt;
  } cases[] = {{0x10B, 0x14C, 92}, {0x20B, 0x8664, 108}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.magic);
    std::string stub = signedStub(c.magic, c.machine);
    writeAll(dir / "stub.exe", stub);
    InstallerContents contents;
    ASSERT_TRUE(buildAndRead("[launch]\nmain_class = \"a.B\"\n", contents));
    ASSERT_EQ(contents.imageEnd, 0x400u);
    std::string image = readAll(dir / "setup.exe").substr(0, 0x400);
    std::size_t checksum = 0x58 + 64, certificate = 0x58 + c.countAt + 4 + 4 * 8;
    EXPECT_EQ(image.substr(checksum, 4), std::string(4, '\0'));
    EXPECT_EQ(image.substr(certificate, 8), std::string(8, '\0'));
    // Nothing else of the image changes.
    std::string expected = stub.substr(0, 0x400);
    expected.replace(checksum, 4, std::string(4, '\0'));
    expected.replace(certificate, 8, std::string(8, '\0'));
    EXPECT_TRUE(image == expected);
  }
}

// The stub's processor: --arch wins over the project's arch; without either
// the x86 stub is taken, and the build says so. The message about runtimes of
// the other processor follows the stub that was taken.
TEST_F(PlimoPack, TheStubFollowsArchAndTheWrongProcessorMessageFollowsTheStub) {
  writeAll(dir / "plimo-x86.exe", fakeStub(0x14C));
  writeAll(dir / "plimo-x64.exe", fakeStub(0x8664));
  struct Case {
    const char* projectArch;  // "" none
    const char* commandArch;  // "" none
    const char* stub;         // "" found beside the tool
    const char* kind;
    int exit;
    const char* said;         // part of the output or the errors
    const char* message;      // start of message 20017
  } cases[] = {
      {"x64", "", "", "installer", EXIT_OK, "(x64,", "No 64-bit Java runtime was found on this computer. The Java runtime below is built\r\nfor 32-bit Windows, which this setup"},
      {"x64", "x86", "", "installer", EXIT_OK, "(x86,", "No 32-bit Java runtime was found on this computer. The Java runtime below is built\r\nfor 64-bit Windows, which this setup"},
      {"", "", "", "application", EXIT_OK, "using the default x86 stub", "No 32-bit Java runtime was found on this computer. The Java runtime below is built\r\nfor 64-bit Windows, which this program"},
      {"x86", "x64", "", "application", EXIT_OK, "(x64,", "No 64-bit Java runtime was found on this computer. The Java runtime below is built\r\nfor 32-bit Windows, which this program"},
      {"", "", "plimo-x64.exe", "installer", EXIT_OK, "(x64,", "No 64-bit"},
      {"x64", "", "plimo-x86.exe", "installer", EXIT_INVALID, "is x86, not x64 (arch = \"x64\" (line 1))", ""},
      {"arm64", "", "", "installer", EXIT_INVALID, "arch: \"arm64\" is neither \"x86\" nor \"x64\" (line 1)", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.projectArch) + "/" + c.commandArch + "/" + c.stub + "/" + c.kind);
    std::string text = *c.projectArch ? std::string("arch = \"") + c.projectArch + "\"\n" : "";
    writeAll(dir / "project.toml", text + "[launch]\nmain_class = \"a.B\"\nlauncher_kind = \"" + c.kind + "\"\n");
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = dir / "setup.exe";
    options.toolDirectory = dir;
    if (*c.commandArch) options.arch = c.commandArch;
    if (*c.stub) options.stub = dir / c.stub;
    std::ostringstream out, err;
    ASSERT_EQ(runBuild(options, out, err), c.exit) << err.str();
    EXPECT_NE((out.str() + err.str()).find(c.said), std::string::npos) << out.str() << err.str();
    if (c.exit != EXIT_OK) continue;
    EXPECT_EQ(out.str().find("default") != std::string::npos, std::string(c.said).find("default") != std::string::npos);
    InstallerContents contents;
    std::string error;
    ASSERT_TRUE(readInstaller(dir / "setup.exe", contents, error)) << error;
    EXPECT_EQ(utf8FromUtf16(contents.store.wide[20017]).rfind(c.message, 0), 0u) << utf8FromUtf16(contents.store.wide[20017]);
  }
  // An author's own text is kept whatever the stub.
  InstallerContents contents;
  ASSERT_TRUE(buildAndRead("[launch]\nmain_class = \"a.B\"\n[wide_messages]\nruntime_wrong_processor = \"own\"\n", contents));
  EXPECT_EQ(contents.store.wide[20017], u"own");
}

TEST_F(PlimoPack, StubSearchLooksBesideTheToolThenInDistFolders) {
  auto candidates = stubCandidates("/opt/plimo/build/native/bin", "x64");
  ASSERT_GE(candidates.size(), 4u);
  EXPECT_EQ(candidates[0], fs::path("/opt/plimo/build/native/bin/plimo-x64.exe"));
  EXPECT_EQ(candidates[1], fs::path("/opt/plimo/build/native/bin/dist/plimo-x64.exe"));
  EXPECT_NE(std::find(candidates.begin(), candidates.end(), fs::path("/opt/plimo/dist/plimo-x64.exe")), candidates.end());
  EXPECT_EQ(candidates.back(), fs::path("dist/plimo-x64.exe"));
}

// The tar stream inside a gzip file, inflated independently of the writer.
std::string inflated(const std::string& gzip) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  z.avail_in = static_cast<uInt>(gzip.size());
  std::string tar;
  char out[65536];
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = sizeof out;
    rc = inflate(&z, Z_NO_FLUSH);
    tar.append(out, sizeof out - z.avail_out);
  } while (rc == Z_OK);
  EXPECT_EQ(rc, Z_STREAM_END);
  inflateEnd(&z);
  return tar;
}

// Checks every header of a tar stream the way strict readers do (checksum,
// octal fields) and the fixed metadata; returns the entries' types and modes
// in stream order.
std::vector<std::string> checkedHeaders(const std::string& tar) {
  std::vector<std::string> seen;
  std::size_t at = 0;
  while (at + 512 <= tar.size() && tar.compare(at + 257, 5, "ustar") == 0) {
    const char* h = tar.data() + at;
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(h[i]);
    EXPECT_EQ(parseTarOctal(h + 148, 8), static_cast<std::int32_t>(sum)) << "checksum at " << at;
    EXPECT_EQ(parseTarOctal(h + 136, 12), 0) << "mtime at " << at;
    EXPECT_EQ(parseTarOctal(h + 108, 8), 0) << "uid at " << at;
    EXPECT_EQ(parseTarOctal(h + 116, 8), 0) << "gid at " << at;
    std::int32_t size = parseTarOctal(h + 124, 12);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(parseTarOctal(h + 100, 8)));
    seen.push_back(std::string(1, h[156]) + " " + mode);
    at += 512 + (static_cast<std::size_t>(size) + 511) / 512 * 512;
  }
  EXPECT_EQ(tar.substr(at), std::string(1024, '\0')) << "the stream does not end in two zero blocks";
  return seen;
}

TEST_F(PlimoPack, BundledRuntimeIsASortedArchiveWithItsUnpackedSizeAndTheSameBytesEachTime) {
  fs::path jre = dir / "runtime";
  writeAll(jre / "release", "JAVA_VERSION=\"17\"");
  const std::string javaExe = fakeStub() + std::string(100000, 'j');
  writeAll(jre / "bin" / "java.exe", javaExe);
  fs::permissions(jre / "bin" / "java.exe", fs::perms::owner_exec, fs::perm_options::add);
  writeAll(jre / "bin" / "server" / "jvm.dll", fakeStub());
  writeAll(jre / "lib" / "modules", std::string(70000, 'm'));
  writeAll(jre / "a" / "b" / "c.txt", "c");
  writeAll(dir / "app.jar", "app");
  const std::string project =
      "payload = [\"app.jar\"]\n[launch]\nmain_class = \"a.B\"\n[runtime]\nbundle = \"runtime\"\n";
  std::string errors;
  ASSERT_EQ(build(project, &errors), EXIT_OK) << errors;
  std::string first = readAll(dir / "setup.exe");

  InstallerContents contents;
  std::string error;
  ASSERT_TRUE(readInstaller(dir / "setup.exe", contents, error)) << error;
  EXPECT_EQ(contents.store.narrow[2003], "app.jar;jre.tar.gz;");
  std::vector<std::string> written;
  ASSERT_TRUE(extractInstaller(dir / "setup.exe", dir / "out", "windows-1252", written, error)) << error;
  std::string tar = inflated(readAll(dir / "out" / "jre.tar.gz"));
  EXPECT_EQ(contents.store.narrow[151], std::to_string(tar.size()));
  EXPECT_EQ(checkedHeaders(tar), (std::vector<std::string>{"5 755", "5 755", "0 644", "5 755", "0 755", "5 755",
                                                           "0 644", "5 755", "0 644", "0 644"}));
  // The launcher's reader, into a target that refuses a file before its
  // folder: the entries come in sorted order, each folder first.
  test::MemoryTarget target;
  ASSERT_EQ(extractTarGzFile((dir / "out" / "jre.tar.gz").c_str(), target, nullptr, 0), TarStatus::Ok);
  EXPECT_EQ(target.requested, (std::vector<std::string>{"a", "a/b", "a/b/c.txt", "bin", "bin/java.exe", "bin/server",
                                                        "bin/server/jvm.dll", "lib", "lib/modules", "release"}));
  EXPECT_EQ(target.files.at("bin/java.exe"), javaExe);
  EXPECT_EQ(target.files.at("lib/modules"), std::string(70000, 'm'));

  // Other time stamps, the same inputs otherwise: the same bytes.
  fs::last_write_time(jre / "bin" / "java.exe", fs::file_time_type::clock::now() - std::chrono::hours(50));
  fs::remove(dir / "setup.exe");
  ASSERT_EQ(build(project, &errors), EXIT_OK) << errors;
  EXPECT_TRUE(readAll(dir / "setup.exe") == first);
  // Only the installer is left: no temporary files beside it.
  EXPECT_EQ(filesIn(dir), (std::set<std::string>{"stub.exe", "project.toml", "setup.exe", "runtime", "app.jar", "out"}));
}

// A bundled runtime and a pinned download are read at build time with the
// launcher's rules; what would fail on the user's machine fails the build.
TEST_F(PlimoPack, RuntimesAreCheckedWithTheLaunchersRulesWhenBuilt) {
  constexpr std::uint16_t X86 = 0x14C, X64 = 0x8664, TEXT = 0;
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::uint16_t>> files;
    std::string keys;  // more [runtime] and [launch] keys
    bool pinned;       // as runtime.download_archive rather than runtime.bundle
    int exit;
    const char* said;  // "" nothing about the runtime
  } cases[] = {
      {"a runtime at the top", {{"bin/java.exe", X86}, {"bin/server/jvm.dll", X86}}, "", false, EXIT_OK, ""},
      {"a nested jre first", {{"jre/bin/java.exe", X86}, {"jre/bin/client/jvm.dll", X86}, {"bin/java.exe", X64}}, "", false,
       EXIT_OK, ""},
      {"a JDK's private library", {{"bin/java.exe", X86}, {"jre/bin/server/jvm.dll", X86}}, "", false, EXIT_OK, ""},
      {"names in other cases", {{"BIN/Java.exe", X86}, {"Bin/Hotspot/JVM.DLL", X86}}, "", false, EXIT_OK, ""},
      {"the preferred type's folder", {{"bin/java.exe", X86}, {"bin/custom/jvm.dll", X86}},
       "preferred_vm_type = \"custom\"\n", false, EXIT_OK, ""},
      {"one top folder, as vendors ship it", {{"jdk-17.0.2+8-jre/bin/java.exe", X86}, {"jdk-17.0.2+8-jre/bin/server/jvm.dll", X86}},
       "", false, EXIT_OK, "holds its runtime in one folder, \"jdk-17.0.2+8-jre\"; packed from inside that folder"},
      {"no java.exe", {{"lib/modules", TEXT}, {"bin/server/jvm.dll", X86}}, "", false, EXIT_INVALID,
       "there is no bin\\java.exe (nor jre\\bin\\java.exe) at its top, where the launcher looks for it (line 4)"},
      {"a folder that holds a folder without a runtime", {{"docs/readme.txt", TEXT}}, "", false, EXIT_INVALID,
       "there is no bin\\java.exe"},
      {"a 64-bit runtime in the x86 installer", {{"bin/java.exe", X64}, {"bin/server/jvm.dll", X64}}, "", false, EXIT_INVALID,
       "bin\\java.exe is built for x64 (64-bit Windows), but the installer's stub is x86 (32-bit Windows), which can "
       "never load it: take a runtime built for x86 (32-bit Windows), or build with arch = \"x64\""},
      {"a library of the other processor", {{"bin/java.exe", X86}, {"bin/server/jvm.dll", X64}}, "", false, EXIT_INVALID,
       "bin\\server\\jvm.dll is built for another processor"},
      {"no library where the launcher looks", {{"bin/java.exe", X86}, {"bin/jvm.dll", X86}}, "", false, EXIT_INVALID,
       "there is no jvm.dll in the folders the launcher tries"},
      {"java.exe that is no program", {{"bin/java.exe", TEXT}, {"bin/server/jvm.dll", X86}}, "", false, EXIT_INVALID,
       "bin\\java.exe is not a Windows program"},
      {"gui-javaw without javaw.exe", {{"bin/java.exe", X86}, {"bin/server/jvm.dll", X86}},
       "[launch]\napplication_type = \"gui-javaw\"\n", false, EXIT_INVALID, "needs javaw.exe beside bin\\java.exe"},
      {"gui-javaw with javaw.exe", {{"bin/java.exe", X86}, {"bin/javaw.exe", X86}, {"bin/server/jvm.dll", X86}},
       "[launch]\napplication_type = \"gui-javaw\"\n", false, EXIT_OK, ""},
      {"a pinned archive", {{"bin/java.exe", X86}, {"bin/server/jvm.dll", X86}}, "", true, EXIT_OK, ""},
      {"a pinned archive with a top folder", {{"jdk/bin/java.exe", X86}, {"jdk/bin/server/jvm.dll", X86}}, "", true,
       EXIT_INVALID, "the runtime stands inside one folder, \"jdk\", and the launcher unpacks the download as it is"},
      {"a pinned archive of the other processor", {{"bin/java.exe", X64}, {"bin/server/jvm.dll", X64}}, "", true,
       EXIT_INVALID, "runtime.download_archive: \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "rt");
    fs::create_directories(dir / "rt");
    for (const auto& [name, machine] : c.files) writeAll(dir / "rt" / name, machine ? fakeStub(machine) : "text");
    std::string runtime = "bundle = \"rt\"\n";
    if (c.pinned) {
      ASSERT_TRUE(writeRuntimeArchive(dir / "rt", dir / "dl.tar.gz").ok);
      runtime = "download_url = \"https://example.com/jre.tar.gz\"\ndownload_archive = \"dl.tar.gz\"\n";
    }
    std::string keys = c.keys;
    std::string launch = "[launch]\nmain_class = \"a.B\"\n";
    if (keys.rfind("[launch]\n", 0) == 0) {
      launch += keys.substr(9);
      keys.clear();
    }
    std::string errors;
    fs::remove(dir / "setup.exe");
    writeAll(dir / "project.toml", launch + "[runtime]\n" + runtime + keys);
    BuildOptions options;
    options.project = dir / "project.toml";
    options.output = dir / "setup.exe";
    options.stub = dir / "stub.exe";
    std::ostringstream out, err;
    ASSERT_EQ(runBuild(options, out, err), c.exit) << err.str();
    std::string said = out.str() + err.str();
    if (*c.said) EXPECT_NE(said.find(c.said), std::string::npos) << said;
    else EXPECT_EQ(said.find(c.pinned ? "runtime.download_archive" : "runtime.bundle"), std::string::npos) << said;
    EXPECT_EQ(fs::exists(dir / "setup.exe"), c.exit == EXIT_OK);
  }
  // The top folder left behind: the archive holds the runtime at its top.
  fs::remove_all(dir / "rt");
  writeAll(dir / "rt" / "jdk-17" / "bin" / "java.exe", fakeStub());
  writeAll(dir / "rt" / "jdk-17" / "bin" / "server" / "jvm.dll", fakeStub());
  ASSERT_EQ(build("[launch]\nmain_class = \"a.B\"\n[runtime]\nbundle = \"rt\"\n"), EXIT_OK);
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(extractInstaller(dir / "setup.exe", dir / "out", "windows-1252", written, error)) << error;
  test::MemoryTarget target;
  ASSERT_EQ(extractTarGzFile((dir / "out" / "jre.tar.gz").c_str(), target, nullptr, 0), TarStatus::Ok);
  EXPECT_EQ(target.requested, (std::vector<std::string>{"bin", "bin/java.exe", "bin/server", "bin/server/jvm.dll"}));
  // A pinned file the launcher cannot unpack at all.
  writeAll(dir / "dl.tar.gz", zipOf({{"bin/java.exe", fakeStub()}}, false));
  std::string errors;
  EXPECT_EQ(build("[launch]\nmain_class = \"a.B\"\n[runtime]\ndownload_url = \"https://example.com/jre.tar.gz\"\n"
                  "download_archive = \"dl.tar.gz\"\n",
                  &errors),
            EXIT_INVALID);
  EXPECT_NE(errors.find("it is a zip file, and the launcher unpacks only a gzip-compressed tar"), std::string::npos) << errors;
}

// plimo-pack runtime: a vendor's runtime folder becomes the archive the
// launcher unpacks, checked, with the digest a project pins.
TEST_F(PlimoPack, TheRuntimeCommandPacksACheckedRuntimeAndPrintsItsDigest) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::uint16_t>> files;
    const char* arch;
    std::string source, output;  // relative to dir
    int exit;
    const char* said;
  } cases[] = {
      {"a vendor's folder", {{"jdk-21-jre/bin/java.exe", 0x8664}, {"jdk-21-jre/bin/server/jvm.dll", 0x8664}}, "", "vendor",
       "jre.tar.gz", EXIT_OK, "the runtime stands in \"jdk-21-jre\"; packed from inside that folder"},
      {"an x86 runtime", {{"bin/java.exe", 0x14C}, {"bin/client/jvm.dll", 0x14C}}, "", "vendor", "jre.tar.gz", EXIT_OK,
       "(x86 runtime,"},
      {"the other processor than asked", {{"bin/java.exe", 0x14C}, {"bin/client/jvm.dll", 0x14C}}, "x64", "vendor",
       "jre.tar.gz", EXIT_INVALID, "bin\\java.exe is built for x86 (32-bit Windows), but the installer's stub is x64"},
      {"no runtime", {{"readme.txt", 0}}, "", "vendor", "jre.tar.gz", EXIT_INVALID, "there is no bin\\java.exe"},
      {"not a folder", {{"bin/java.exe", 0x8664}}, "", "vendor/bin/java.exe", "jre.tar.gz", EXIT_INVALID,
       "is neither a folder nor a .zip file"},
      {"an archive inside the runtime", {{"bin/java.exe", 0x8664}, {"bin/server/jvm.dll", 0x8664}}, "", "vendor",
       "vendor/jre.tar.gz", EXIT_INVALID, "inside the runtime it packs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir / "vendor");
    fs::remove(dir / "jre.tar.gz");
    for (const auto& [name, machine] : c.files) writeAll(dir / "vendor" / name, machine ? fakeStub(machine) : "text");
    RuntimeOptions options;
    options.source = dir / c.source;
    options.output = dir / c.output;
    if (*c.arch) options.arch = c.arch;
    std::ostringstream out, err;
    ASSERT_EQ(runRuntime(options, out, err), c.exit) << err.str();
    EXPECT_NE((out.str() + err.str()).find(c.said), std::string::npos) << out.str() << err.str();
    EXPECT_EQ(fs::exists(options.output), c.exit == EXIT_OK);
    if (c.exit != EXIT_OK) continue;
    test::MemoryTarget target;
    ASSERT_EQ(extractTarGzFile(options.output.c_str(), target, nullptr, 0), TarStatus::Ok);
    EXPECT_EQ(target.files.count("bin/java.exe"), 1u);
    // The printed line pins the archive in a project as it is.
    std::string printed = out.str().substr(out.str().find("download_sha256 = "));
    std::string errors;
    EXPECT_EQ(build("[launch]\nmain_class = \"a.B\"\n[runtime]\ndownload_url = \"https://example.com/jre.tar.gz\"\n"
                    "download_archive = \"jre.tar.gz\"\n" + printed,
                    &errors, c.files[0].second == 0x14C ? "x86" : ""),
              c.files[0].second == 0x14C ? EXIT_OK : EXIT_INVALID)
        << errors;
  }
}

// A vendor's .zip (one top folder, deflated entries) becomes the same archive
// as its folder would; names that would leave the folder are refused.
TEST_F(PlimoPack, TheRuntimeCommandReadsAVendorsZip) {
  const std::vector<std::pair<std::string, std::string>> runtime = {
      {"jdk-21.0.2+13-jre/bin/java.exe", fakeStub(0x8664)},
      {"jdk-21.0.2+13-jre/bin/server/jvm.dll", fakeStub(0x8664)},
      {"jdk-21.0.2+13-jre/lib/modules", std::string(100000, 'm')}};
  struct Case {
    const char* what;
    std::string zip;
    int exit;
    const char* said;
  } cases[] = {
      {"deflated", zipOf(runtime, true), EXIT_OK, "packed from inside that folder"},
      {"stored", zipOf(runtime, false), EXIT_OK, "(x64 runtime,"},
      {"a name climbing out", zipOf({{"../evil/bin/java.exe", fakeStub(0x8664)}}, true), EXIT_INVALID, "unsafe name"},
      {"damaged", zipOf(runtime, true).substr(0, 300), EXIT_INVALID, "JDK.zip"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeAll(dir / "JDK.zip", c.zip);
    fs::remove(dir / "jre.tar.gz");
    RuntimeOptions options;
    options.source = dir / "JDK.zip";
    options.output = dir / "jre.tar.gz";
    std::ostringstream out, err;
    if (!zipRuntimesSupported()) {
      EXPECT_EQ(runRuntime(options, out, err), EXIT_INVALID);
      EXPECT_NE(err.str().find("reads no .zip files: unpack it first"), std::string::npos) << err.str();
      continue;
    }
    ASSERT_EQ(runRuntime(options, out, err), c.exit) << err.str();
    EXPECT_NE((out.str() + err.str()).find(c.said), std::string::npos) << out.str() << err.str();
    EXPECT_FALSE(fs::exists(dir / "evil"));
    if (c.exit != EXIT_OK) continue;
    test::MemoryTarget target;
    ASSERT_EQ(extractTarGzFile(options.output.c_str(), target, nullptr, 0), TarStatus::Ok);
    EXPECT_EQ(target.files.at("bin/java.exe"), fakeStub(0x8664));
    EXPECT_EQ(target.files.at("lib/modules"), std::string(100000, 'm'));
  }
  // The scratch folder is gone.
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path()))
    EXPECT_EQ(e.path().filename().string().rfind("plimo-pack-runtime-", 0), std::string::npos) << e.path();
}

TEST_F(PlimoPack, RuntimeArchiveNamesOfEveryLengthReachTheLauncherWhole) {
  // Names around the limits of the ustar name field (100 bytes) and its
  // prefix (155 bytes); beyond them only a pax record carries the name.
  const std::string part(40, 'p');
  const std::vector<std::string> names = {
      std::string(100, 'a'),                                   // fills the name field
      std::string(99, 'd') + "/f",                             // a directory name of 100 with its slash
      std::string(100, 'e') + "/f",                            // a directory name of 101 with its slash
      part + "/" + part + "/" + part + "/" + part + "/x.jar",  // 169: prefix and name
      std::string(155, 'q') + "/" + std::string(100, 'r'),     // both fields full
      std::string(156, 's') + "/t",                            // prefix one too long
      std::string(120, 'u'),                                   // one long component
      part + "/" + std::string(101, 'v'),                      // a last component over 100
      part + "/" + part + "/" + part + "/" + part + "/" + part + "/" + part + "/" + part + "/last.txt",
  };
  fs::path tree = dir / "tree";
  std::map<std::string, std::string> expected;
  for (std::size_t i = 0; i < names.size(); ++i) {
    writeAll(tree / names[i], "content " + std::to_string(i));
    expected[names[i]] = "content " + std::to_string(i);
  }
  ArchiveResult result = writeRuntimeArchive(tree, dir / "jre.tar.gz");
  ASSERT_TRUE(result.ok) << result.error;
  std::string tar = inflated(readAll(dir / "jre.tar.gz"));
  EXPECT_EQ(result.decompressedSize, tar.size());
  checkedHeaders(tar);
  test::MemoryTarget target;
  ASSERT_EQ(extractTarGzFile((dir / "jre.tar.gz").c_str(), target, nullptr, 0), TarStatus::Ok);
  EXPECT_EQ(target.files, expected);
}

TEST_F(PlimoPack, ReadingTakesNamesAndCountAsTheLauncherDoes) {
  std::string stub = fakeStub().substr(0, 0x300);
  const std::string contentOf[] = {"first", "second", "third"};
  std::string records;
  for (const std::string& content : contentOf) records += payloadRecord(content);
  struct Case {
    const char* count;
    const char* names;
    std::vector<std::string> read;
  } cases[] = {
      {"3", "a.jar;b.jar;c.jar;", {"a.jar", "b.jar", "c.jar"}},
      {"5", "a.jar;;b.jar;", {"a.jar", "b.jar"}},  // empty fields are skipped
      {"1", "a;b;c;", {"a"}},
      {" 2x", "a;b;c", {"a", "b"}},
      {"-1", "a;", {}},
      {"2", ";;", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.count) + " / " + c.names);
    BlockWriter block;
    block.addNarrow(2002, c.count);
    block.addNarrow(2003, c.names);
    writeAll(dir / "names.exe", stub + block.tables() + records);
    InstallerContents contents;
    std::string error;
    ASSERT_TRUE(readInstaller(dir / "names.exe", contents, error)) << error;
    std::vector<std::string> read;
    std::uint64_t end = contents.payloadOffset;
    for (std::size_t i = 0; i < contents.payload.size(); ++i) {
      read.push_back(contents.payload[i].name);
      EXPECT_EQ(contents.payload[i].length, static_cast<std::int32_t>(contentOf[i].size()));
      end += INT32_FIELD_SIZE + contentOf[i].size();
    }
    EXPECT_EQ(read, c.read);
    EXPECT_EQ(contents.payloadEnd, end);
  }
}

TEST_F(PlimoPack, ReadingRefusesOtherFilesDamagedInstallersAndUnsafeNames) {
  std::string stub = fakeStub().substr(0, 0x300);
  struct Refused {
    const char* label;
    std::string file;
    const char* expected;
  };
  BlockWriter climbing;
  climbing.addNarrow(2002, "1");
  climbing.addNarrow(2003, "..\\evil.dll;");
  BlockWriter truncated;
  truncated.addNarrow(2002, "2");
  truncated.addNarrow(2003, "a;b;");
  const char* notInstaller = "is not a plimo installer (no data block found)";
  const Refused cases[] = {
      {"bare stub", stub, notInstaller},
      {"project file", "[launch]\nmain_class = \"a.B\"\n", notInstaller},
      {"signed stub", stub + std::string(600, '\x30'), notInstaller},
      {"three bytes after the image", stub + "abc", notInstaller},
      {"record longer than the file",
       stub + truncated.tables() + payloadRecord("aaaa") + std::string("\x10\x00\x00\x00", 4) + "bb",
       "the payload record of \"b\" runs past the end of the file"},
      {"record without a length", stub + truncated.tables() + payloadRecord("aaaa") + "\x01",
       "the payload record of \"b\" is cut short"},
      {"block cut inside its tables", stub + truncated.tables().substr(0, 20), "carries a damaged data block"},
      {"name leaving the directory", stub + climbing.tables() + payloadRecord("x"), "refusing the payload name"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.label);
    writeAll(dir / "bad.exe", c.file);
    std::vector<std::string> written;
    std::string error;
    EXPECT_FALSE(extractInstaller(dir / "bad.exe", dir / "out", "windows-1252", written, error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_TRUE(written.empty());
    EXPECT_FALSE(fs::exists(dir / "evil.dll"));
  }
}

// A target that takes bytes until it holds a given number, then refuses.
class LimitedSink final : public ByteSink {
 public:
  explicit LimitedSink(std::size_t limit) : limit_(limit) {}
  bool write(const void* data, std::size_t n, std::size_t& written) override {
    written = 0;
    if (out.size() + n > limit_) return false;
    out.append(static_cast<const char*>(data), n);
    written = n;
    return true;
  }
  std::string out;

 private:
  std::size_t limit_;
};

std::string patterned(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return s;
}

TEST(BlockWriter, PayloadRecordIsTheLengthThenEveryByteUnderTheKey) {
  constexpr std::size_t C = PAYLOAD_CHUNK_SIZE;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, C - 1, C,
                           C + 1, 2 * C + 5}) {
    SCOPED_TRACE(size);
    std::string content = patterned(size);
    std::string record = payloadRecord(content);
    ASSERT_EQ(record.size(), INT32_FIELD_SIZE + size);
    EXPECT_EQ(int32FromBytes(reinterpret_cast<const unsigned char*>(record.data())), static_cast<std::int32_t>(size));
    for (std::size_t i = 0; i < size; ++i) {
      ASSERT_EQ(static_cast<unsigned char>(record[INT32_FIELD_SIZE + i]),
                static_cast<unsigned char>(content[i]) ^ PAYLOAD_KEY)
          << "byte " << i;
    }
  }
}

TEST(BlockWriter, StreamedRecordStopsWhereTheContentOrTheTargetDoes) {
  struct Case {
    const char* name;
    std::size_t contentBytes;  // what the source holds
    std::uint64_t length;      // what the record states
    std::size_t targetTakes;   // bytes the target takes before refusing
    CopyResult result;
  } cases[] = {
      {"content as long as stated", 5000, 5000, SIZE_MAX, CopyResult::Done},
      {"content longer than stated", 5000, 4000, SIZE_MAX, CopyResult::Done},
      {"content shorter than stated", 100, 5000, SIZE_MAX, CopyResult::SourceEnded},
      {"target refuses the length field", 5000, 5000, 3, CopyResult::WriteFailed},
      {"target refuses the data", 5000, 5000, INT32_FIELD_SIZE + 10, CopyResult::WriteFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string content = patterned(c.contentBytes);
    MemoryByteSource source(content);
    LimitedSink sink(c.targetTakes);
    EXPECT_EQ(writePayloadRecord(source, c.length, sink), c.result);
    if (c.result == CopyResult::Done) {
      ASSERT_EQ(sink.out.size(), INT32_FIELD_SIZE + c.length);
      EXPECT_EQ(int32FromBytes(reinterpret_cast<const unsigned char*>(sink.out.data())),
                static_cast<std::int32_t>(c.length));
      for (std::size_t i = 0; i < c.length; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(sink.out[INT32_FIELD_SIZE + i]),
                  static_cast<unsigned char>(content[i]) ^ PAYLOAD_KEY)
            << "byte " << i;
      }
      EXPECT_EQ(source.position(), c.length) << "nothing beyond the record is read";
    }
  }
}

}  // namespace
}  // namespace plimo::pack

namespace plimo::pack {
namespace {

TEST(Sha256, KnownDigestsAcrossBlockBoundaries) {
  struct Case {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // 56 bytes: the length no longer fits the first block.
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    Sha256 whole;
    whole.update(c.text.data(), c.text.size());
    EXPECT_EQ(hexDigest(whole.finish()), c.digest);
    Sha256 pieces;  // the same bytes in uneven pieces
    for (std::size_t at = 0; at < c.text.size(); at += 7) pieces.update(c.text.data() + at, std::min<std::size_t>(7, c.text.size() - at));
    EXPECT_EQ(hexDigest(pieces.finish()), c.digest);
  }
}

}  // namespace
}  // namespace plimo::pack
