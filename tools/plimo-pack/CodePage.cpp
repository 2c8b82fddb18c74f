#include "tools/plimo-pack/CodePage.h"

#include "tools/plimo-pack/SystemCodePage.h"

namespace plimo::pack {

// Only names with a Windows code page number are taken, on every host alike:
// the launcher converts with that number, and each host's conversion (iconv,
// the Windows API) is asked for the same page.
Conversion toCodePage(const Utf8Text& utf8, const std::string& codePage, PageText& out) {
  int page = windowsCodePage(codePage);
  return page ? encodeCodePage(utf8, page, out) : Conversion::UnknownCodePage;
}

Conversion fromCodePage(const PageText& bytes, const std::string& codePage, Utf8Text& utf8) {
  int page = windowsCodePage(codePage);
  return page ? decodeCodePage(bytes, page, utf8) : Conversion::UnknownCodePage;
}

namespace {

// Lower case without '-', '_' and blanks: "Shift_JIS" and "shift-jis" are one name.
std::string folded(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_' || c == ' ') continue;
    out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return out;
}

// The number after prefix when that is all the name holds.
int numberAfter(const std::string& name, const char* prefix) {
  std::string p(prefix);
  if (name.size() <= p.size() || name.compare(0, p.size(), p) != 0 || name.size() - p.size() > 5) return 0;
  int number = 0;
  for (std::size_t i = p.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

}  // namespace

int windowsCodePage(const std::string& iconvName) {
  static const struct {
    const char* name;
    int page;
  } aliases[] = {{"utf8", 65001},    {"shiftjis", 932}, {"sjis", 932},      {"mskanji", 932},   {"gbk", 936},
                 {"gb2312", 936},    {"euccn", 936},    {"euckr", 949},     {"uhc", 949},       {"big5", 950},
                 {"latin1", 28591},  {"koi8r", 20866},  {"koi8u", 21866},   {"usascii", 20127}, {"ascii", 20127},
                 {"iso88591", 28591}, {"iso88592", 28592}, {"iso88595", 28595}, {"iso88597", 28597},
                 {"iso885915", 28605}};
  std::string name = folded(iconvName);
  for (const auto& alias : aliases) {
    if (name == alias.name) return alias.page;
  }
  for (const char* prefix : {"windows", "cp", "ibm", "ms"}) {
    if (int page = numberAfter(name, prefix)) return page;
  }
  return 0;
}

std::string iconvNameOf(int windowsCodePage) {
  if (windowsCodePage <= 0) return std::string();
  if (windowsCodePage == 65001) return "UTF-8";
  if (windowsCodePage == 20127) return "US-ASCII";
  if (windowsCodePage == 20866) return "KOI8-R";
  if (windowsCodePage == 21866) return "KOI8-U";
  if (windowsCodePage == 28605) return "ISO-8859-15";
  if (windowsCodePage > 28590 && windowsCodePage < 28600) return "ISO-8859-" + std::to_string(windowsCodePage - 28590);
  return "CP" + std::to_string(windowsCodePage);
}

}  // namespace plimo::pack
