#include "jvmsearch/PathText.h"

#include <cstring>

#include "launcher/Limits.h"

namespace plimo {

bool isDriveRoot(const char* path) {
  if (path[0] == '\0') return false;
  const char* rest = path + 1;
  return std::strcmp(rest, ":\\") == 0 || std::strcmp(rest, ":\\.") == 0 || std::strcmp(rest, ":\\.\\.") == 0;
}

bool isRelativePath(const char* path) {
  std::size_t length = std::strlen(path);
  if (length <= 2) return true;
  if (path[0] == '"') {
    if (length <= 3) return true;
    return !((path[2] == ':' && path[3] == '\\') || (path[1] == '\\' && path[2] == '\\'));
  }
  return !((path[1] == ':' && path[2] == '\\') || (path[0] == '\\' && path[1] == '\\'));
}

void collapseBackslashes(std::string& path) {
  // A leading pair stays: it is what makes "\\host\share" a network path,
  // and isRelativePath already treats such a path as absolute.
  std::size_t keep = path.compare(0, 2, "\\\\") == 0 ? 2 : 0;
  std::size_t out = keep;
  for (std::size_t in = keep; in < path.size(); ++in) {
    if (path[in] == '\\' && out > 0 && path[out - 1] == '\\') continue;
    path[out++] = path[in];
  }
  path.resize(out);
}

bool programNameFromCommandLine(const char* commandLine, std::string& name) {
  if (commandLine[0] == '"') {
    const char* close = std::strchr(commandLine + 1, '"');
    if (close == nullptr) return false;
    name.assign(commandLine + 1, close);
    return true;
  }
  const char* blank = std::strchr(commandLine, ' ');
  name = blank == nullptr ? std::string(commandLine) : std::string(commandLine, blank);
  return true;
}

std::string directoryPart(const std::string& path) {
  std::size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string joinWithExeDir(const std::string& exeDir, const std::string& source) {
  std::string joined = isRelativePath(source.c_str()) ? exeDir + source : source;
  collapseBackslashes(joined);
  if (joined.size() > MAX_VALUE_LENGTH) return std::string();
  return joined;
}

void lowerCaseAscii(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace plimo
