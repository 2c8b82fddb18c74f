#pragma once
// Test programs link this error-reporting module instead of the stub's: it
// records every message and turns the fatal forms into a thrown FatalCalled,
// so a test can provoke an ending condition in-process and check it.
#include <cstdint>
#include <string>
#include <vector>

namespace plimo::test {

struct ShownMessage {
  std::int32_t id = 0;       // message id; 0 for a text given directly
  std::string text;          // narrow text as shown (UTF-8 for wide ones)
  bool wide = false;
};

struct FatalCalled {
  std::int32_t id = 0;       // message id; 0 for fatalText and exitQuietly
  std::string text;
  int exitCode = 1;
};

std::vector<ShownMessage>& shownMessages();
void clearShownMessages();

}  // namespace plimo::test
