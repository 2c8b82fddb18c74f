// The stub run as a whole under Wine: block location, internal errors in
// message boxes, messages on standard error in console mode.
#include <gtest/gtest.h>

#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

// Runs an installer that is expected to show one message box; checks its
// text and caption, presses OK and returns the exit code.
DWORD runExpectingBox(const std::string& installer, const std::string& text, const std::string& caption) {
  Started started = startProcess("\"" + installer + "\"");
  EXPECT_NE(started.process, nullptr);
  MessageBoxSeen box;
  EXPECT_TRUE(waitForMessageBox(started.processId, box, 20000)) << "no message box for " << text;
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, caption);
  RunResult result = finishProcess(started, 20000);
  EXPECT_FALSE(result.timedOut);
  return result.exitCode;
}

TEST(Spine, BrokenBlocksShowTheirInternalErrorInABox) {
  ScratchDir dir;
  std::string image = readFile(stubPath());
  ASSERT_FALSE(image.empty());
  BlockWriter block = consoleBlock();  // console mode cannot apply before the block is read
  std::string tables = block.tables();
  std::string cutString = tables.substr(0, 4 + 4 + 4 + 4);  // magic, count, id, length, no text

  struct Case {
    const char* name;
    std::string tail;  // bytes after the image
    const char* text;
  } cases[] = {
      {"no block: the file ends first", "", "Internal Error: readInt"},
      {"wrong magic", std::string("\x01\x02\x03\x04\x00\x00\x00\x00", 8), "Internal Error: magic"},
      {"magic only", tables.substr(0, 4), "Internal Error: readInt"},
      {"narrow text cut short", cutString, "Internal Error: readString"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string installer = dir.file(std::string("broken-") + std::to_string(&c - cases) + ".exe");
    ASSERT_TRUE(writeInstaller(installer, BlockWriter(), "", "", stubPath()));
    // Replace the empty block by the case's bytes.
    std::string bytes = readFile(installer);
    bytes.resize(bytes.size() - BlockWriter().tables().size());
    ASSERT_TRUE(writeFile(installer, bytes + c.tail));
    EXPECT_EQ(runExpectingBox(installer, c.text, ""), 1u);
  }
}

TEST(Spine, ConsoleModeWritesMessagesToStandardError) {
  ScratchDir dir;
  std::string installer = dir.file("console.exe");
  ASSERT_TRUE(writeInstaller(installer, consoleBlock()));
  // A tail longer than a value may be is refused, not cut.
  RunResult result = runProcess("\"" + installer + "\" " + std::string(8192, 'x'), 20000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "1007: wrong parameter usage\r\n");
}

TEST(Spine, BytesAfterTheBlockDoNotDisturbIt) {
  ScratchDir dir;
  std::string installer = dir.file("signed.exe");
  ASSERT_TRUE(writeInstaller(installer, consoleBlock(), "", std::string(4096, '\x5A')));
  RunResult result = runProcess("\"" + installer + "\" " + std::string(9000, 'y'), 20000);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "1007: wrong parameter usage\r\n");
}

}  // namespace
}  // namespace plimo::test
