#include "jvmsearch/PathText.h"

#include <cstring>

#include "block/Limits.h"

namespace plimo {

bool isDriveRoot(const char* ansiPath) {
  if (ansiPath[0] == '\0') return false;
  const char* rest = ansiPath + 1;
  return std::strcmp(rest, ":\\") == 0 || std::strcmp(rest, ":\\.") == 0 || std::strcmp(rest, ":\\.\\.") == 0;
}

bool isRelativePath(const char* ansiPath) {
  std::size_t length = std::strlen(ansiPath);
  if (length <= 2) return true;
  if (ansiPath[0] == '"') {
    if (length <= 3) return true;
    return !((ansiPath[2] == ':' && ansiPath[3] == '\\') || (ansiPath[1] == '\\' && ansiPath[2] == '\\'));
  }
  return !((ansiPath[1] == ':' && ansiPath[2] == '\\') || (ansiPath[0] == '\\' && ansiPath[1] == '\\'));
}

void collapseBackslashes(AnsiText& path, const CodePage& ansi) {
  // A leading pair stays: it is what makes "\\host\share" a network path,
  // and isRelativePath already treats such a path as absolute.
  std::size_t keep = path.compare(0, 2, "\\\\") == 0 ? 2 : 0;
  std::size_t out = keep;
  bool afterBackslash = keep > 0;
  for (std::size_t in = keep; in < path.size();) {
    std::size_t length = ansi.charLength(path, in);
    bool backslash = path[in] == '\\';
    if (!(backslash && afterBackslash)) {
      for (std::size_t i = 0; i < length; ++i) path[out++] = path[in + i];
    }
    afterBackslash = backslash;
    in += length;
  }
  path.resize(out);
}

bool programNameFromCommandLine(const char* utf8CommandLine, Utf8Text& name) {
  if (utf8CommandLine[0] == '"') {
    const char* close = std::strchr(utf8CommandLine + 1, '"');
    if (close == nullptr) return false;
    name.assign(utf8CommandLine + 1, close);
    return true;
  }
  const char* blank = std::strchr(utf8CommandLine, ' ');
  name = blank == nullptr ? std::string(utf8CommandLine) : std::string(utf8CommandLine, blank);
  return true;
}

AnsiText directoryPart(const AnsiText& path, const CodePage& ansi) {
  std::size_t end = 0;
  for (std::size_t at = 0; at < path.size(); at += ansi.charLength(path, at)) {
    if (path[at] == '\\') end = at + 1;
  }
  return path.substr(0, end);
}

AnsiText joinWithExeDir(const AnsiText& exeDir, const AnsiText& source, const CodePage& ansi) {
  std::string joined = isRelativePath(source.c_str()) ? exeDir + source : source;
  collapseBackslashes(joined, ansi);
  if (joined.size() > MAX_VALUE_LENGTH) return std::string();
  return joined;
}

void lowerCaseAscii(AnsiText& text, const CodePage& ansi) {
  for (std::size_t at = 0; at < text.size(); at += ansi.charLength(text, at)) {
    char& c = text[at];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

}  // namespace plimo
