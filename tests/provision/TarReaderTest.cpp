#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provision/TarReader.h"
#include "tests/provision/TarTestSupport.h"

namespace plimo {
namespace {

using test::MemoryTarget;
using test::MemoryTarSource;
using test::RecordingProgress;
using test::tarDir;
using test::tarEnd;
using test::tarEntry;
using test::tarFile;
using test::tarHeader;

TarStatus extract(const std::string& bytes, MemoryTarget& target, TarProgress* progress = nullptr,
                  std::int64_t total = 0, std::size_t step = 1u << 20) {
  MemoryTarSource source(bytes, step);
  return extractTarStream(source, target, progress, total);
}

std::string field(const char* text, std::size_t width) {
  std::string f(width, '\0');
  std::memcpy(&f[0], text, std::min(width, std::strlen(text)));
  return f;
}

TEST(ParseTarOctal, ReadsTheFieldForms) {
  struct Case {
    std::string field;
    std::int32_t expected;
  } cases[] = {
      {field("00000001750 ", 12), 1000},
      {field("     17 ", 12), 15},
      {field("            ", 12), 0},
      {field("", 12), 0},
      {field("00000000000", 12), 0},
      {field("00000001001", 12), 513},
      {field("17777777777", 12), INT32_MAX},
      {field("1750", 2), 15},                  // only width characters are read
      {field("17 50", 12), 15},                // a blank after a digit ends it
      {field("1\0" "7", 12), 1},               // so does a NUL
      {field("00000000009", 12), -1},          // not an octal digit
      {field("0000000001x", 12), -1},
      {field("20000000000", 12), -1},          // above INT32_MAX
      {field("77777777777", 12), -1},
      {std::string("\x80\0\0\0\0\0\0\x04\0\0\0\0", 12), -1},  // base-256 form is not octal
      {std::string("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12), -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseTarOctal(c.field.data(), static_cast<int>(c.field.size())), c.expected) << c.field;
  }
}

TEST(SanitizeTarName, KeepsPlainRelativeNamesAndRefusesEscapes) {
  struct Case {
    std::string name;
    bool accepted;
    std::string result;
  } cases[] = {
      {"bin/java.exe", true, "bin/java.exe"},
      {"./bin//java.exe", true, "bin/java.exe"},
      {"lib\\server\\jvm.dll", true, "lib/server/jvm.dll"},
      {"bin/", true, "bin"},
      {"./", true, ""},
      {"", true, ""},
      {"a..b/..c/c..d", true, "a..b/..c/c..d"},
      {"a/c..", false, ""},
      {"legal/java.base/LICENSE", true, "legal/java.base/LICENSE"},
      {"/etc/passwd", false, ""},
      {"\\Windows\\evil.dll", false, ""},
      {"C:evil", false, ""},
      {"C:\\evil", false, ""},
      {"c:/evil", false, ""},
      {"bin/file:stream", false, ""},
      {"../evil", false, ""},
      {"bin/../../evil", false, ""},
      {"bin/../lib", false, ""},                  // refused even when it stays inside
      {"..\\..\\evil", false, ""},
      {"bin/..", false, ""},
      {"bin/...", false, ""},                     // Windows strips trailing dots
      {"bin/name. ", false, ""},
      {"bin/con", false, ""},
      {"bin/NUL.txt", false, ""},
      {"com1", false, ""},
      {"bin/LPT9.log", false, ""},
      {"bin/console", true, "bin/console"},
      {"bin/com10", true, "bin/com10"},
      {"bin/a\x01z", false, ""},
      {"bin/a?z", false, ""},
      {"bin/a*z", false, ""},
      {"bin/a|z", false, ""},
  };
  for (const Case& c : cases) {
    char out[64];
    bool accepted = sanitizeTarName(c.name.data(), c.name.size(), out, sizeof out);
    EXPECT_EQ(accepted, c.accepted) << c.name;
    if (accepted && c.accepted) EXPECT_EQ(std::string(out), c.result) << c.name;
  }
  char small[8];
  EXPECT_TRUE(sanitizeTarName("abc/def", 7, small, sizeof small));
  EXPECT_FALSE(sanitizeTarName("abc/defg", 8, small, sizeof small));
}

TEST(TarProgressPosition, StaysWithinTheBar) {
  EXPECT_EQ(tarProgressPosition(0, 1000), 0);
  EXPECT_EQ(tarProgressPosition(999, 1000), 99);
  EXPECT_EQ(tarProgressPosition(1000, 1000), 100);
  EXPECT_EQ(tarProgressPosition(5000, 1000), 100);  // entry 151 smaller than the archive
  EXPECT_EQ(tarProgressPosition(5000, 0), 0);       // entry 151 missing
  EXPECT_EQ(tarProgressPosition(5000, -7), 0);
  EXPECT_EQ(tarProgressPosition(38256640, 38256640), 100);
}

TEST(ExtractTarStream, DirectoryAndFileOfARuntimeUnpack) {
  std::string content(1000, 'j');
  std::string archive = tarDir("bin/") + tarFile("bin/java.exe", content) + tarEnd();
  MemoryTarget target;
  RecordingProgress progress;
  progress.tickStep = 1;
  EXPECT_EQ(extract(archive, target, &progress, static_cast<std::int64_t>(archive.size())), TarStatus::Ok);
  EXPECT_EQ(target.directories, std::set<std::string>{"bin"});
  ASSERT_EQ(target.files.size(), 1u);
  EXPECT_EQ(target.files["bin/java.exe"], content);
  // One report at the start of the file, right after its header.
  ASSERT_EQ(progress.positions.size(), 1u);
  EXPECT_EQ(progress.positions[0], 100 * 1024 / static_cast<int>(archive.size()));
}

TEST(ExtractTarStream, StopsAtTheFirstZeroBlockAndNeverReadsOn) {
  std::string archive = tarFile("a", "x") + std::string(512, '\0') + tarFile("b", "y");
  MemoryTarget target;
  MemoryTarSource source(archive);
  EXPECT_EQ(extractTarStream(source, target, nullptr, 0), TarStatus::Ok);
  EXPECT_EQ(target.files.size(), 1u);
  EXPECT_EQ(source.position(), 1536u);
}

TEST(ExtractTarStream, NonTarContentEndsAtOnceWithNothingWritten) {
  MemoryTarget target;
  EXPECT_EQ(extract(std::string(2048, 'G'), target), TarStatus::Ok);
  EXPECT_EQ(extract("", target), TarStatus::Ok);
  EXPECT_TRUE(target.requested.empty());
}

TEST(ExtractTarStream, EntryLayoutsAndNames) {
  std::string longName = std::string(60, 'd') + "/" + std::string(120, 'f');
  std::string prefix = "jdk-17.0.9+9-jre/legal/java.desktop/deeply/nested/directory";
  struct Case {
    const char* what;
    std::string archive;
    std::map<std::string, std::string> files;
  } cases[] = {
      {"GNU magic with two blanks",
       tarEntry({"f", 0, '0', std::string("ustar  \0", 8)}, "gnu") + tarEnd(),
       {{"f", "gnu"}}},
      {"empty file, no padding",
       tarEntry({"e", 0, '0', std::string("ustar\0" "00", 8), "", "00000000000"}, "") + tarFile("n", "next") + tarEnd(),
       {{"e", ""}, {"n", "next"}}},
      {"513 bytes then 511 padding",
       tarFile("big", std::string(513, 'b')) + tarFile("n", "next") + tarEnd(),
       {{"big", std::string(513, 'b')}, {"n", "next"}}},
      {"chunk-sized and larger files",
       tarFile("c", std::string(32768, 'c')) + tarFile("d", std::string(70001, 'd')) + tarEnd(),
       {{"c", std::string(32768, 'c')}, {"d", std::string(70001, 'd')}}},
      {"parent directories not listed are created",
       tarFile("lib/server/jvm.dll", "dll") + tarEnd(),
       {{"lib/server/jvm.dll", "dll"}}},
      {"ustar prefix joined with the name",
       tarEntry({"LICENSE", 0, '0', std::string("ustar\0" "00", 8), prefix}, "lic") + tarEnd(),
       {{prefix + "/LICENSE", "lic"}}},
      {"prefix ignored in GNU headers",
       tarEntry({"g", 0, '0', std::string("ustar  \0", 8), "12345670123"}, "x") + tarEnd(),
       {{"g", "x"}}},
      {"name filling all 100 bytes",
       tarFile(std::string(100, 'n'), "full") + tarEnd(),
       {{std::string(100, 'n'), "full"}}},
      {"GNU long name for the next entry only",
       tarEntry({"././@LongLink", 0, 'L'}, longName + '\0') + tarFile("cut", "long") + tarFile("own", "own") + tarEnd(),
       {{longName, "long"}, {"own", "own"}}},
      {"GNU long name and long link name before the entry",
       tarEntry({"././@LongLink", 0, 'L'}, longName) + tarEntry({"././@LongLink", 0, 'K'}, "target") +
           tarFile("cut", "long") + tarEnd(),
       {{longName, "long"}}},
      {"long name ends at its NUL",
       tarEntry({"././@LongLink", 0, 'L'}, std::string("short\0tail", 10)) + tarFile("cut", "s") + tarEnd(),
       {{"short", "s"}}},
      {"pax path for the next entry only",
       tarEntry({"PaxHeaders/x", 0, 'x'}, test::paxRecord("mtime", "1.5") + test::paxRecord("path", longName)) +
           tarFile("cut", "pax") + tarFile("own", "own") + tarEnd(),
       {{longName, "pax"}, {"own", "own"}}},
      {"pax size overrides the header size",
       tarEntry({"PaxHeaders/x", 0, 'x'}, test::paxRecord("size", "0000999")) +
           tarEntry({"s", 0, '0', std::string("ustar\0" "00", 8), "", "00000000005"}, std::string(999, 's')) +
           tarFile("n", "next") + tarEnd(),
       {{"s", std::string(999, 's')}, {"n", "next"}}},
      {"last pax record without its newline",
       tarEntry({"PaxHeaders/x", 0, 'x'}, "4 x=") + tarFile("empty", "") + tarEnd(),
       {{"empty", ""}}},
      {"global pax header skipped",
       tarEntry({"pax_global_header", 0, 'g'}, test::paxRecord("path", "global")) + tarFile("f", "f") + tarEnd(),
       {{"f", "f"}}},
      {"links skipped without data even with a size field",
       tarHeader({"hard", 5, '1'}) + tarHeader({"sym", 5, '2'}) + tarHeader({"dev", 5, '3'}) +
           tarHeader({"fifo", 5, '6'}) + tarFile("f", "data") + tarEnd(),
       {{"f", "data"}}},
      {"other entries skipped with their data",
       tarEntry({"old", 0, '\0'}, "old style") + tarEntry({"contig", 0, '7'}, std::string(600, '7')) +
           tarEntry({"dump", 0, 'D'}, "dir list") + tarFile("f", "data") + tarEnd(),
       {{"f", "data"}}},
      {"long name consumed by a skipped entry",
       tarEntry({"././@LongLink", 0, 'L'}, longName) + tarHeader({"link", 0, '2'}) + tarFile("own", "own") + tarEnd(),
       {{"own", "own"}}},
      {"pax sparse entry skipped",
       tarEntry({"PaxHeaders/x", 0, 'x'}, test::paxRecord("GNU.sparse.major", "1")) + tarFile("sparse", "map") +
           tarFile("f", "f") + tarEnd(),
       {{"f", "f"}}},
      {"duplicate entries: the last wins",
       tarFile("f", "first version") + tarFile("f", "second") + tarEnd(),
       {{"f", "second"}}},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {std::size_t(1) << 20, std::size_t(7)}) {
      MemoryTarget target;
      EXPECT_EQ(extract(c.archive, target, nullptr, 0, step), TarStatus::Ok) << c.what;
      EXPECT_EQ(target.files, c.files) << c.what << " step " << step;
    }
  }
}

TEST(ExtractTarStream, OldGnuSparseExtensionBlocksAreSkipped) {
  std::string sparse = tarHeader({"sparse", 600, 'S', std::string("ustar  \0", 8)});
  sparse[482] = 1;  // one extension block follows
  std::string extension(512, '\0');
  std::string archive = sparse + extension + test::padded(std::string(600, 's')) + tarFile("f", "f") + tarEnd();
  MemoryTarget target;
  EXPECT_EQ(extract(archive, target), TarStatus::Ok);
  EXPECT_EQ(target.files, (std::map<std::string, std::string>{{"f", "f"}}));
}

TEST(ExtractTarStream, RefusesNamesThatLeaveTheTargetBeforeWritingThem) {
  const std::string evil[] = {"/etc/evil", "\\evil", "C:\\evil", "C:evil", "../evil", "jre/../../evil",
                              std::string(40 * 3, '.').replace(2, 1, "/") + "x", "..\\..\\Temp\\evil"};
  for (const std::string& name : evil) {
    std::vector<std::string> archives = {
        tarFile("good.txt", "good") + tarFile(name, "evil") + tarEnd(),
        tarFile("good.txt", "good") + tarDir(name) + tarFile("after", "x") + tarEnd(),
        tarFile("good.txt", "good") + tarEntry({"././@LongLink", 0, 'L'}, name) + tarFile("cut", "evil") + tarEnd(),
        tarFile("good.txt", "good") + tarEntry({"PaxHeaders/x", 0, 'x'}, test::paxRecord("path", name)) +
            tarFile("cut", "evil") + tarEnd(),
        tarFile("good.txt", "good") +
            tarEntry({"x", 0, '0', std::string("ustar\0" "00", 8), name.substr(0, name.rfind('/') == std::string::npos ? 0 : name.rfind('/'))}, "evil") +
            tarEnd(),
    };
    for (std::size_t i = 0; i < archives.size(); ++i) {
      if (i == 4 && name.find('/') == std::string::npos) continue;  // no prefix to carry it
      MemoryTarget target;
      EXPECT_EQ(extract(archives[i], target), TarStatus::UnsafeName) << name << " form " << i;
      EXPECT_EQ(target.requested, std::vector<std::string>{"good.txt"}) << name << " form " << i;
    }
  }
}

TEST(ExtractTarStream, RefusesFilesWithoutAName) {
  MemoryTarget target;
  EXPECT_EQ(extract(tarFile("./", "x") + tarEnd(), target), TarStatus::UnsafeName);
  EXPECT_EQ(extract(tarEntry({"././@LongLink", 0, 'L'}, std::string(1, '\0')) + tarFile("cut", "x") + tarEnd(), target),
            TarStatus::UnsafeName);
  EXPECT_TRUE(target.files.empty());
  // A directory entry naming the target itself is harmless.
  EXPECT_EQ(extract(tarDir("./") + tarDir("") + tarEnd(), target), TarStatus::Ok);
}

TEST(ExtractTarStream, MalformedHeadersFail) {
  struct Case {
    const char* what;
    std::string archive;
    TarStatus expected;
  } cases[] = {
      {"size not octal", tarEntry({"f", 0, '0', std::string("ustar\0" "00", 8), "", "0000000008"}, "") + tarEnd(),
       TarStatus::BadHeader},
      {"size in base-256", tarEntry({"f", 0, '0', std::string("ustar  \0", 8), "", std::string("\x80\0\0\0\0\0\0\0\0\0\x01\0", 12)}, "") + tarEnd(),
       TarStatus::BadHeader},
      {"pax record without length", tarEntry({"p", 0, 'x'}, "path=x\n") + tarFile("f", "") + tarEnd(), TarStatus::BadHeader},
      {"pax record length zero", tarEntry({"p", 0, 'x'}, "0 \n") + tarFile("f", "") + tarEnd(), TarStatus::BadHeader},
      {"pax record longer than the header", tarEntry({"p", 0, 'x'}, "99 path=x\n") + tarFile("f", "") + tarEnd(),
       TarStatus::BadHeader},
      {"pax record without key", tarEntry({"p", 0, 'x'}, "5 =x\n") + tarFile("f", "") + tarEnd(), TarStatus::BadHeader},
      {"pax path with NUL", tarEntry({"p", 0, 'x'}, std::string("9 path=\0\n", 9)) + tarFile("f", "") + tarEnd(),
       TarStatus::BadHeader},
      {"pax size negative", tarEntry({"p", 0, 'x'}, test::paxRecord("size", "-1")) + tarFile("f", "") + tarEnd(),
       TarStatus::BadHeader},
      {"pax size beyond 2 GiB", tarEntry({"p", 0, 'x'}, test::paxRecord("size", "17179869184")) + tarFile("f", "") + tarEnd(),
       TarStatus::BadHeader},
      {"pax header too large", tarHeader({"p", 70000, 'x'}) + std::string(70144, ' ') + tarEnd(), TarStatus::BadHeader},
      {"long name too long", tarEntry({"././@LongLink", 0, 'L'}, std::string(8192, 'n')) + tarFile("f", "") + tarEnd(),
       TarStatus::NameTooLong},
      {"pax path too long", tarEntry({"p", 0, 'x'}, test::paxRecord("path", std::string(8192, 'n'))) + tarFile("f", "") + tarEnd(),
       TarStatus::NameTooLong},
  };
  for (const Case& c : cases) {
    MemoryTarget target;
    EXPECT_EQ(extract(c.archive, target), c.expected) << c.what;
    EXPECT_TRUE(target.files.empty()) << c.what;
  }
}

// Every prefix of an archive: the reader must end (no loop on zero-byte
// reads), with success only where the cut leaves whole entries behind.
TEST(ExtractTarStream, EveryTruncationEndsAndFailsInsideAnEntry) {
  struct Piece {
    std::string bytes;
    std::size_t unpadded;   // header and data without the padding
    bool completesEntry;    // false for records that describe the next entry
  };
  auto piece = [](const std::string& bytes, std::size_t dataLength, bool completes) {
    return Piece{bytes, 512 + dataLength, completes};
  };
  std::string longName(150, 'L');
  std::string pax = test::paxRecord("path", "d/p");
  std::vector<Piece> pieces = {
      piece(tarDir("d/"), 0, true),
      piece(tarFile("d/a", std::string(700, 'a')), 700, true),
      piece(tarEntry({"././@LongLink", 0, 'L'}, longName), longName.size(), false),
      piece(tarFile("cut", "long"), 4, true),
      piece(tarEntry({"p", 0, 'x'}, pax), pax.size(), false),
      piece(tarFile("cut", "pax"), 3, true),
      piece(tarHeader({"link", 0, '2'}), 0, true),
      piece(tarEntry({"skip", 0, '7'}, std::string(10, 's')), 10, true),
      piece(tarFile("d/b", std::string(3, 'b')), 3, true),
  };
  std::string archive;
  std::vector<std::pair<std::size_t, std::size_t>> wholeAfter = {{0, 0}};
  for (const Piece& p : pieces) {
    std::size_t start = archive.size();
    archive += p.bytes;
    if (p.completesEntry) wholeAfter.push_back({start + p.unpadded, archive.size()});
  }
  std::size_t endBlocks = archive.size();
  archive += tarEnd();
  for (std::size_t cut = 0; cut <= archive.size(); ++cut) {
    MemoryTarget target;
    TarStatus status = extract(archive.substr(0, cut), target, nullptr, 0, 100);
    bool whole = cut >= endBlocks;
    for (const auto& range : wholeAfter) whole = whole || (cut >= range.first && cut <= range.second);
    EXPECT_EQ(status, whole ? TarStatus::Ok : TarStatus::Truncated) << "cut " << cut;
  }
}

TEST(ExtractTarStream, ReadAndWriteFailuresStopIt) {
  std::string archive = tarFile("a", std::string(5000, 'a')) + tarFile("b", "b") + tarEnd();
  for (std::size_t failAt : {std::size_t(0), std::size_t(100), std::size_t(600), std::size_t(5631)}) {
    MemoryTarget target;
    MemoryTarSource source(archive, 1u << 20, failAt);
    EXPECT_EQ(extractTarStream(source, target, nullptr, 0), TarStatus::ReadError) << failAt;
    EXPECT_EQ(target.files.count("b"), 0u);
  }
  MemoryTarget target;
  target.failWritesAfter = 10;
  EXPECT_EQ(extract(archive, target), TarStatus::WriteFailed);
  EXPECT_EQ(target.files.count("b"), 0u);
  // A file where a directory is: it cannot be created.
  MemoryTarget clash;
  EXPECT_EQ(extract(tarDir("x/") + tarFile("x", "f") + tarEnd(), clash), TarStatus::CreateFailed);
}

TEST(ExtractTarEntryFile, ReportsAtMostEveryTwoHundredMilliseconds) {
  std::string data(40 * 32768, 'z');
  for (std::uint32_t step : {10u, 150u, 201u, 1000u}) {
    MemoryTarSource source(data);
    TarInput input(source);
    MemoryTarget target;
    RecordingProgress progress;
    progress.now = 0xFFFFFF00u;  // the tick count wraps around during the copy
    progress.tickStep = step;
    ASSERT_EQ(extractTarEntryFile(input, target, "f", static_cast<std::int64_t>(data.size()), &progress,
                                  static_cast<std::int64_t>(data.size())),
              TarStatus::Ok);
    EXPECT_EQ(target.files["f"], data);
    for (std::size_t i = 1; i < progress.reportTimes.size(); ++i) {
      EXPECT_GT(progress.reportTimes[i] - progress.reportTimes[i - 1], 200u) << step;
    }
    std::size_t expectedMax = static_cast<std::size_t>(40) * step / 201 + 1;
    EXPECT_LE(progress.positions.size(), expectedMax) << step;
    if (step > 200) EXPECT_EQ(progress.positions.size(), 40u) << step;
    for (std::size_t i = 1; i < progress.positions.size(); ++i) {
      EXPECT_GE(progress.positions[i], progress.positions[i - 1]);
    }
    if (!progress.positions.empty()) EXPECT_LE(progress.positions.back(), 100);
  }
}

TEST(ExtractTarStream, ProgressStaysInRangeWhateverTheTotal) {
  std::string archive;
  for (int i = 0; i < 20; ++i) archive += tarFile("f" + std::to_string(i), std::string(3000, 'x'));
  archive += tarEnd();
  for (std::int64_t total : {std::int64_t(0), std::int64_t(-1), std::int64_t(1), std::int64_t(archive.size()),
                             std::int64_t(archive.size()) * 10}) {
    MemoryTarget target;
    RecordingProgress progress;
    progress.tickStep = 300;
    ASSERT_EQ(extract(archive, target, &progress, total), TarStatus::Ok);
    ASSERT_GE(progress.positions.size(), 20u);
    for (int position : progress.positions) {
      EXPECT_GE(position, 0) << total;
      EXPECT_LE(position, 100) << total;
      if (total <= 0) EXPECT_EQ(position, 0);
    }
  }
}

}  // namespace
}  // namespace plimo
