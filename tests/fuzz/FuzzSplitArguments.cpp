// The argument splitter over arbitrary text, with and without the "-J"
// prefix. An unclosed quote ends the launch through the error path, which
// this program turns into a return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/ErrorReport.h"
#include "jvmlaunch/JavaVMLauncher.h"

namespace plimo {
namespace {
struct Fatal {};
}  // namespace
void showError(const char*) {}
void showWideError(const char16_t*) {}
void showConfigMessage(std::int32_t, const char*, const char*) {}
void fatalText(const char*) { throw Fatal(); }
void fatalMessage(std::int32_t id, const char*, const char*) {
  if (id != 1007) std::abort();
  throw Fatal();
}
void fatalWideMessage(std::int32_t) { throw Fatal(); }
void exitQuietly() { throw Fatal(); }
}  // namespace plimo

namespace {

// Every item is a piece of the text with quotes removed: it can never be
// longer than the text, and the items' bytes together never outnumber it.
void check(const std::string& text, const char* prefix) {
  std::vector<std::string> items;
  try {
    const char* rest = plimo::splitArguments(text.c_str(), prefix, items);
    if (rest < text.c_str() || rest > text.c_str() + std::strlen(text.c_str())) std::abort();
    if (prefix == nullptr && *rest != '\0') std::abort();
    if (prefix != nullptr && *rest != '\0' && std::strncmp(rest, prefix, std::strlen(prefix)) == 0) std::abort();
  } catch (const plimo::Fatal&) {
    return;
  }
  std::size_t total = 0;
  for (const std::string& item : items) total += item.size();
  if (total > text.size()) std::abort();
  // Items without blanks or quotes come back from their own join unchanged.
  bool plain = true;
  for (const std::string& item : items) {
    if (item.empty() || item.find_first_of(" \"'") != std::string::npos) plain = false;
  }
  if (plain && prefix == nullptr) {
    std::string joined;
    for (const std::string& item : items) joined += item + " ";
    std::vector<std::string> again;
    plimo::splitArguments(joined.c_str(), nullptr, again);
    if (again != items) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the splitter reads NUL-terminated text
  check(text, nullptr);
  check(text, "-J");
  return 0;
}
