#include "base/LaunchState.h"

#include <cstring>

#include "block/Lasting.h"

namespace plimo {

namespace {
Lasting<std::string> commandLineStore;
Lasting<std::string> tempDirStore;
Lasting<std::vector<std::string>> extractedFilesStore;
Lasting<std::vector<std::string>> extractedDirsStore;
}  // namespace

void* instanceHandle = nullptr;
Utf8Text& commandLine = commandLineStore.get();
bool manualMode = false;
AnsiText& tempDir = tempDirStore.get();
void* errorOwnerWindow = nullptr;
bool downloadOffered = false;
std::int32_t progressMax = 100;
std::int32_t progressPos = 0;
std::uint64_t payloadOffset = 0;
std::atomic<bool> mainMethodCalled{false};
std::vector<AnsiText>& extractedFiles = extractedFilesStore.get();
std::vector<AnsiText>& extractedDirs = extractedDirsStore.get();

bool isManualModeTail(const char* tail) {
  if (tail == nullptr || *tail == '\0') return false;
  return std::strcmp(tail, "/manual") == 0 || std::strcmp(tail, "-manual") == 0;
}

const char* commandLineTail(const char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace plimo
