#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "block/BlockFormat.h"
#include "block/Limits.h"
#include "block/PayloadFormat.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo {
namespace {

TEST(PayloadNames, SplitSkipsEmptyFieldsAndKeepsOrder) {
  struct Case {
    const char* list;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {";;;", {}},
      {"a.jar;", {"a.jar"}},
      {"a.jar", {"a.jar"}},
      {"a.jar;;b.jar;", {"a.jar", "b.jar"}},
      {";a;b;;;c", {"a", "b", "c"}},
      {"sblruntime.jar;jre.tar.gz;x y.txt;", {"sblruntime.jar", "jre.tar.gz", "x y.txt"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitPayloadNames(c.list), c.names) << c.list;
}

TEST(PayloadNames, OnlyPlainFileNamesAreAccepted) {
  const char* accepted[] = {"sblruntime.jar", "jre.tar.gz", "a", ".hidden", "..x", "a..b", "x y.txt",
                            "console.jar",    "com10",      "nulx.txt", "a."};
  for (const char* name : accepted) EXPECT_TRUE(isPlainFileName(name)) << name;
  const char* refused[] = {"",        ".",         "..",      "...",      " ",       ". .",      "..\\x",
                           "a\\b",    "a/b",       "../x",    "C:x",      "c:\\w",   "\\\\srv\\s", "/etc",
                           "x:",      "NUL",       "nul.txt", "Con",      "aux.tar.gz", "PRN ", "com1",
                           "LPT9.jar", "conout$", "lpt0"};
  for (const char* name : refused) EXPECT_FALSE(isPlainFileName(name)) << "'" << name << "'";
}

TEST(PayloadNames, DirectoryNameAppendsDirAndTheNumber) {
  EXPECT_EQ(tempDirNameFrom("C:\\t\\plm1F.tmp", 17342), "C:\\t\\plm1F.tmp_dir17342");
  EXPECT_EQ(tempDirNameFrom("C:\\t\\plm1F.tmp", 0), "C:\\t\\plm1F.tmp_dir0");
  EXPECT_EQ(tempDirNameFrom("C:\\t\\plm1F.tmp", 32767), "C:\\t\\plm1F.tmp_dir32767");
}

// A source that serves bytes in memory and records every read's size; it can
// fail a read or deliver nothing from a given position on.
class ScriptedSource final : public ByteSource {
 public:
  explicit ScriptedSource(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool seek(std::uint64_t p) override {
    if (p > bytes_.size()) return false;
    position_ = p;
    return true;
  }
  std::uint64_t position() const override { return position_; }
  std::size_t read(void* destination, std::size_t n, bool* failed) override {
    reads.push_back(n);
    if (failed) *failed = false;
    if (position_ >= failAt) {
      if (failed) *failed = true;
      return 0;
    }
    std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - position_);
    std::memcpy(destination, bytes_.data() + position_, count);
    position_ += count;
    return count;
  }
  std::vector<std::size_t> reads;
  std::uint64_t failAt = UINT64_MAX;

 private:
  std::string bytes_;
  std::uint64_t position_ = 0;
};

// A sink that takes at most maxPerCall bytes per call; it can fail, or take
// nothing, once it holds a given number of bytes.
class ScriptedSink final : public ByteSink {
 public:
  bool write(const void* data, std::size_t n, std::size_t& written) override {
    ++calls;
    written = 0;
    if (out.size() >= failAt) return false;
    if (out.size() >= stallAt) return true;
    written = std::min(n, maxPerCall);
    out.append(static_cast<const char*>(data), written);
    return true;
  }
  std::string out;
  std::size_t maxPerCall = SIZE_MAX;
  std::size_t failAt = SIZE_MAX;
  std::size_t stallAt = SIZE_MAX;
  int calls = 0;
};

std::string pattern(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

TEST(PayloadCopy, RoundTripsTheBlockWritersRecordsInFixedChunks) {
  constexpr std::size_t C = PAYLOAD_CHUNK_SIZE;
  struct Case {
    std::size_t length;
    std::vector<std::size_t> reads;
  } cases[] = {
      {1, {1}},
      {7, {7}},
      {C - 1, {C - 1}},
      {C, {C}},
      {C + 1, {C, 1}},
      {3 * C + 9, {C, C, C, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::string content = pattern(c.length);
    std::string record = payloadRecord(content);
    ScriptedSource source(record + "trailing bytes after the record");
    ASSERT_TRUE(source.seek(4));
    ScriptedSink sink;
    struct Counting final : CopyProgress {
      std::vector<std::uint64_t> steps;
      void copied(std::uint64_t bytes) override { steps.push_back(bytes); }
    } progress;
    EXPECT_EQ(copyDescrambled(source, sink, c.length, true, &progress), CopyResult::Done);
    EXPECT_EQ(sink.out, content);
    EXPECT_EQ(source.reads, c.reads);
    EXPECT_EQ(source.position(), 4 + c.length);  // nothing beyond the record is read
    // Progress hears of every chunk once it is written, and of nothing else.
    EXPECT_EQ(progress.steps, std::vector<std::uint64_t>(c.reads.begin(), c.reads.end()));
  }
}

TEST(PayloadCopy, WithoutDescramblingTheBytesPassUnchanged) {
  std::string content = pattern(10000);
  ScriptedSource source(content);
  ScriptedSink sink;
  EXPECT_EQ(copyDescrambled(source, sink, content.size(), false), CopyResult::Done);
  EXPECT_EQ(sink.out, content);
}

TEST(PayloadCopy, ZeroLengthReadsNothing) {
  ScriptedSource source("abc");
  ScriptedSink sink;
  EXPECT_EQ(copyDescrambled(source, sink, 0, true), CopyResult::Done);
  EXPECT_TRUE(source.reads.empty());
  EXPECT_EQ(sink.calls, 0);
}

TEST(PayloadCopy, PartialWritesContinueAfterTheBytesAlreadyWritten) {
  std::string content = pattern(20000);
  for (std::size_t perCall : {1u, 3u, 4095u, 8191u}) {
    SCOPED_TRACE(perCall);
    ScriptedSource source(payloadRecord(content));
    source.seek(4);
    ScriptedSink sink;
    sink.maxPerCall = perCall;
    EXPECT_EQ(copyDescrambled(source, sink, content.size(), true), CopyResult::Done);
    EXPECT_EQ(sink.out, content);
  }
}

TEST(PayloadCopy, FailuresEndTheCopyWithTheirCode) {
  struct Case {
    const char* name;
    std::size_t sourceBytes;      // bytes available after the length field
    std::uint64_t readFailsAt;    // source position at which reads fail
    std::size_t writeFailsAt;     // sink size at which writes fail
    std::size_t writeStallsAt;    // sink size at which writes take nothing
    CopyResult result;
    const char* code;
  } cases[] = {
      {"file cut short inside the record", 9000, UINT64_MAX, SIZE_MAX, SIZE_MAX, CopyResult::SourceEnded, "12"},
      {"file ends right before the record", 0, UINT64_MAX, SIZE_MAX, SIZE_MAX, CopyResult::SourceEnded, "12"},
      {"read call fails", 20000, 0, SIZE_MAX, SIZE_MAX, CopyResult::ReadFailed, "12"},
      {"write call fails", 20000, UINT64_MAX, 8192, SIZE_MAX, CopyResult::WriteFailed, "13"},
      {"write takes no bytes", 20000, UINT64_MAX, SIZE_MAX, 100, CopyResult::WriteFailed, "13"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedSource source(pattern(c.sourceBytes));
    source.failAt = c.readFailsAt;
    ScriptedSink sink;
    sink.failAt = c.writeFailsAt;
    sink.stallAt = c.writeStallsAt;
    sink.maxPerCall = 50;  // a stalled write must not spin either
    EXPECT_EQ(copyDescrambled(source, sink, 20000, true), c.result);
    EXPECT_STREQ(copyFailureCode(c.result), c.code);
    EXPECT_LE(source.reads.size(), 4u);
  }
  EXPECT_EQ(copyFailureCode(CopyResult::Done), nullptr);
}

TEST(PayloadCopy, DescramblingMatchesTheWritersKeyAtEveryAlignment) {
  std::string content = pattern(64);
  std::string scrambled = payloadRecord(content).substr(4);
  for (std::size_t start = 0; start < 9; ++start) {
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 17u, 55u}) {
      if (start + n > scrambled.size()) continue;
      std::string piece = scrambled.substr(start, n);
      applyPayloadKey(reinterpret_cast<unsigned char*>(piece.data()), piece.size());
      EXPECT_EQ(piece, content.substr(start, n)) << start << "+" << n;
    }
  }
}

}  // namespace
}  // namespace plimo
