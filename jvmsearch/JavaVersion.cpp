#include "jvmsearch/JavaVersion.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace plimo {

namespace {

constexpr std::string_view VERSION_LINE_PREFIXES[] = {"java version \"", "openjdk version \""};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The leading run of numeric components. Kept as digit strings so that no
// length of digits can overflow.
std::vector<std::string_view> numericComponents(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t pos = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    std::size_t start = pos;
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    parts.push_back(text.substr(start, pos - start));
    if (pos + 1 < text.size() && (text[pos] == '.' || text[pos] == '_') && isDigit(text[pos + 1])) {
      ++pos;
    } else {
      break;
    }
  }
  return parts;
}

int compareNumber(std::string_view a, std::string_view b) {
  while (a.size() > 1 && a[0] == '0') a.remove_prefix(1);
  while (b.size() > 1 && b[0] == '0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareComponents(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
                      std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::string_view x = i < a.size() ? a[i] : std::string_view("0");
    std::string_view y = i < b.size() ? b[i] : std::string_view("0");
    int c = compareNumber(x, y);
    if (c != 0) return c;
  }
  return 0;
}

int sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// How version compares with a bound; shortest limits the components (or,
// for a bound without numbers, the characters) to the shorter of the two.
int compareWithBound(const std::string& version, const std::string& bound, bool shortest) {
  std::vector<std::string_view> boundParts = numericComponents(bound);
  if (boundParts.empty()) {
    std::size_t n = shortest ? std::min(version.size(), bound.size()) : bound.size();
    return sign(std::strncmp(version.c_str(), bound.c_str(), n));
  }
  std::vector<std::string_view> versionParts = numericComponents(version);
  if (versionParts.empty()) return -2;  // no number to hold against the bound
  std::size_t count = shortest ? std::min(versionParts.size(), boundParts.size()) : boundParts.size();
  return compareComponents(versionParts, boundParts, count);
}

bool withinBounds(const std::string& version, const std::string& minimum, const std::string& maximum,
                  bool shortest) {
  if (!minimum.empty() && compareWithBound(version, minimum, shortest) < 0) return false;
  if (!maximum.empty()) {
    int c = compareWithBound(version, maximum, shortest);
    if (c > 0 || c == -2) return false;
  }
  return true;
}

}  // namespace

VersionScan scanVersionOutput(const char* data, std::size_t size, bool outputEnded, std::string& version) {
  std::string_view output(data, size);
  std::size_t pos = 0;
  while (pos < output.size()) {
    std::size_t end = output.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      if (!outputEnded) return VersionScan::NeedMore;
      end = output.size();
    }
    std::string_view line = output.substr(pos, end - pos);
    for (std::string_view prefix : VERSION_LINE_PREFIXES) {
      if (line.substr(0, prefix.size()) != prefix) continue;
      std::string_view rest = line.substr(prefix.size());
      std::size_t close = rest.find('"');
      if (close == std::string_view::npos || close == 0) return VersionScan::NoVersion;
      std::string_view text = rest.substr(0, close);
      for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return VersionScan::NoVersion;
      }
      version.assign(text.data(), text.size());
      return VersionScan::Found;
    }
    pos = end + 1;
  }
  return outputEnded ? VersionScan::NoVersion : VersionScan::NeedMore;
}

bool versionAcceptable(const std::string& version, const std::string& minimum, const std::string& maximum,
                       bool allowBeta) {
  if (!allowBeta && version.find("beta") != std::string::npos) return false;
  return withinBounds(version, minimum, maximum, false);
}

bool versionNameInRange(const std::string& name, const std::string& minimum, const std::string& maximum) {
  return withinBounds(name, minimum, maximum, true);
}

int compareVersions(const std::string& a, const std::string& b) {
  std::vector<std::string_view> x = numericComponents(a);
  std::vector<std::string_view> y = numericComponents(b);
  int c = compareComponents(x, y, std::max(x.size(), y.size()));
  return c != 0 ? c : sign(a.compare(b));
}

}  // namespace plimo
