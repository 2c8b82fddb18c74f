#include "tests/support/FatalTrap.h"

#include "base/ErrorReport.h"
#include "block/ConfigStore.h"
#include "block/MessageText.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo {

namespace {
std::int32_t pendingId = 0;
}

void showError(const char* text) {
  test::shownMessages().push_back({pendingId, text, false});
  pendingId = 0;
}

void showWideError(const char16_t* text) {
  test::shownMessages().push_back({pendingId, utf8FromUtf16(text), true});
  pendingId = 0;
}

void showConfigMessage(std::int32_t id, const char* placeholder, const char* value) {
  std::string text = expandPlaceholder(getConfigString(id), placeholder, value);
  pendingId = id;
  showError(text.c_str());
}

void fatalText(const char* text) {
  showError(text);
  throw test::FatalCalled{0, text, 1};
}

void fatalMessage(std::int32_t id, const char* placeholder, const char* value) {
  showConfigMessage(id, placeholder, value);
  throw test::FatalCalled{id, test::shownMessages().back().text, 1};
}

void fatalWideMessage(std::int32_t id) {
  std::u16string text = getConfigWString(id);
  pendingId = id;
  showWideError(text.c_str());
  throw test::FatalCalled{id, test::shownMessages().back().text, 1};
}

void fatalWideText(const char16_t* text) {
  showWideError(text);
  throw test::FatalCalled{0, test::shownMessages().back().text, 1};
}

void exitQuietly() { throw test::FatalCalled{0, "", 1}; }

namespace test {

std::vector<ShownMessage>& shownMessages() {
  static std::vector<ShownMessage> messages;
  return messages;
}

void clearShownMessages() { shownMessages().clear(); }

}  // namespace test
}  // namespace plimo
