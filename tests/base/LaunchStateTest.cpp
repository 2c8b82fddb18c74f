#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "block/MessageText.h"

namespace plimo {
namespace {

TEST(LaunchState, ManualModeNeedsTheExactWord) {
  struct Case {
    const char* tail;
    bool manual;
  } cases[] = {{"/manual", true},  {"-manual", true},   {"/Manual", false}, {"/manual x", false},
               {"/manual ", false}, {"\"/manual\"", false}, {"", false},        {"/manua", false},
               {"--manual", false}};
  for (const Case& c : cases) EXPECT_EQ(isManualModeTail(c.tail), c.manual) << c.tail;
}

TEST(LaunchState, TailFollowsTheProgramName) {
  struct Case {
    const char* line;
    const char* tail;
  } cases[] = {
      {"setup.exe", ""},
      {"setup.exe /manual", "/manual"},
      {"  setup.exe \t  a b ", "a b "},
      {"\"C:\\Program Files\\setup.exe\" -J-Xmx1m x", "-J-Xmx1m x"},
      {"\"C:\\unclosed quote", ""},
      {"\"quoted\"tail", "tail"},
      {"setup.exe\targ", "arg"},
  };
  for (const Case& c : cases) EXPECT_STREQ(commandLineTail(c.line), c.tail) << c.line;
}

#if GTEST_HAS_DEATH_TEST
// The worker can still be running while exit runs the static destructors
// (the progress dialog was closed mid-launch): the state it reads must
// survive them. A read of destroyed state ends the child with an error
// (AddressSanitizer) or a wrong length instead of exit code 0.
TEST(LaunchStateDeathTest, StateOutlivesTheEndOfTheProcess) {
  EXPECT_EXIT(
      {
        tempDir = std::string(200, 't');
        extractedFiles.assign(50, std::string(100, 'f'));
        configStore().narrow[cfg::MAIN_CLASS] = std::string(300, 'm');
        std::thread([] {
          for (;;) {
            std::string copy = tempDir + extractedFiles.back() + getConfigString(cfg::MAIN_CLASS);
            if (copy.size() != 600) std::_Exit(3);
          }
        }).detach();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

TEST(MessageText, OnlyTheFirstPlaceholderIsReplaced) {
  struct Case {
    const char* text;
    const char* placeholder;
    const char* value;
    std::string expected;
  } cases[] = {
      {"The %ENV_VAR_NAME% variable", "%ENV_VAR_NAME%", "JAVA_HOME", "The JAVA_HOME variable"},
      {"%FILE_NAME% and %FILE_NAME%", "%FILE_NAME%", "a", "a and %FILE_NAME%"},
      {"no placeholder", "%FILE_NAME%", "a", "no placeholder"},
      {"code %ERROR_CODE%.", nullptr, "7", "code %ERROR_CODE%."},
      {"x%DEFINED_PATH%y", "%DEFINED_PATH%", "%DEFINED_PATH%", "x%DEFINED_PATH%y"},
      {"(%ERROR_CODE%) tail moves", "%ERROR_CODE%", "a much longer value", "(a much longer value) tail moves"},
  };
  for (const Case& c : cases) EXPECT_EQ(expandPlaceholder(c.text, c.placeholder, c.value), c.expected) << c.text;
}

TEST(MessageText, ExpansionIsCutAtTheMessageLimit) {
  std::string text = std::string(8000, 'a') + "%FILE_NAME%";
  std::string result = expandPlaceholder(text, "%FILE_NAME%", std::string(500, 'b').c_str());
  EXPECT_EQ(result.size(), 8191u);
  EXPECT_EQ(result.substr(0, 8000), std::string(8000, 'a'));
  EXPECT_EQ(result.substr(8000), std::string(191, 'b'));
}

}  // namespace
}  // namespace plimo
