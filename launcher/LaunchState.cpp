#include "launcher/LaunchState.h"

#include <cstring>

namespace plimo {

void* instanceHandle = nullptr;
std::string commandLine;
bool manualMode = false;
std::string tempDir;
void* errorOwnerWindow = nullptr;
bool downloadOffered = false;
std::int32_t progressMax = 100;
std::int32_t progressPos = 0;
std::uint64_t payloadOffset = 0;
std::atomic<bool> mainMethodCalled{false};
std::atomic<bool> processEnding{false};
std::vector<std::string> extractedFiles;
std::vector<std::string> extractedDirs;

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
