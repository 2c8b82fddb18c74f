#include "tools/plimo-pack/Project.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <system_error>
#include <toml++/toml.h>

#include "block/Limits.h"
#include "block/PayloadFormat.h"
#include "jvmsearch/JavaVersion.h"
#include "provision/DigestText.h"
#include "tools/plimo-pack/BlockWriter.h"
#include "tools/plimo-pack/Catalogue.h"
#include "tools/plimo-pack/CodePage.h"
#include "tools/plimo-pack/JarReader.h"
#include "tools/plimo-pack/Sha256.h"

namespace plimo::pack {

namespace fs = std::filesystem;

bool isPackableFileName(const Utf8Text& name, const PageText& pageName, std::string& why) {
  // First the launcher's own rule, on the bytes the launcher will see, so
  // that every name it would refuse is refused here with its reason.
  switch (plimo::payloadNameFault(pageName)) {
    case plimo::NameFault::None:
      break;
    case plimo::NameFault::Empty:
      why = "it is empty";
      return false;
    case plimo::NameFault::Separator:
      if (name.find_first_of("\\/:") != std::string::npos) {
        why = std::string("it contains '") + name[name.find_first_of("\\/:")] + "'";
      } else {
        // A double-byte character whose second byte is 0x5C.
        why = "in the installer's code page one of its characters ends in the byte of '\\', which the "
              "launcher reads as a folder separator; rename the file or choose another code page";
      }
      return false;
    case plimo::NameFault::DotsAndBlanksOnly:
      why = name == "." || name == ".." ? "it names a directory" : "Windows drops a trailing dot or blank";
      return false;
    case plimo::NameFault::DeviceName:
      why = "it is a Windows device name";
      return false;
  }
  // Then what the launcher would accept but could not write as it is named:
  // characters Windows refuses in file names, the name list's separator, and
  // a trailing dot or blank, which Windows drops.
  for (unsigned char c : name) {
    if (c < 0x20) {
      why = "it contains a control character";
      return false;
    }
    if (std::strchr("*?\"<>|", c)) {
      why = std::string("it contains '") + static_cast<char>(c) + "'";
      return false;
    }
    if (c == ';') {
      why = "it contains ';', the separator of the launcher's name list";
      return false;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    why = "Windows drops a trailing dot or blank";
    return false;
  }
  return true;
}

bool isDottedJavaName(const Utf8Text& name) {
  // Non-ASCII bytes are accepted as identifier characters: Java identifiers
  // may use any Unicode letter.
  auto isStart = [](unsigned char c) { return std::isalpha(c) || c == '_' || c == '$' || c >= 0x80; };
  auto isPart = [&](unsigned char c) { return isStart(c) || std::isdigit(c); };
  bool atStart = true;
  for (unsigned char c : name) {
    if (atStart) {
      if (!isStart(c)) return false;
      atStart = false;
    } else if (c == '.') {
      atStart = true;
    } else if (!isPart(c)) {
      return false;
    }
  }
  return !atStart;
}

bool isVersionBound(const Utf8Text& text) {
  // Digits, dot-separated groups of digits, and at most one "_" group last:
  // "11", "1.8", "17.0.2", "1.8.0_201".
  bool digitBefore = false, update = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digitBefore = true;
    } else if ((c == '.' || c == '_') && !update) {
      if (!digitBefore) return false;
      update = c == '_';
      digitBefore = false;
    } else {
      return false;
    }
  }
  return digitBefore;
}

Utf8Text javaVersionBound(const Utf8Text& bound) {
  // Java 5 to 8 report "1.5.0_22" to "1.8.0_402": compared number by number,
  // a bare "8" would put Java 8 below itself.
  std::size_t end = bound.find_first_of("._");
  std::string first = bound.substr(0, end);
  if (first.size() == 1 && first[0] >= '5' && first[0] <= '8') return "1." + bound;
  return bound;
}

bool isDownloadAddress(const Utf8Text& address, std::string& why) {
  // Schemes ignore case; the file name check does too.
  std::string folded = address;
  std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
  std::size_t host = folded.rfind("http://", 0) == 0 ? 7 : folded.rfind("https://", 0) == 0 ? 8 : 0;
  if (host == 0) {
    why = "the launcher downloads over http:// or https:// only";
    return false;
  }
  if (host >= folded.size() || folded[host] == '/') {
    why = "it names no server";
    return false;
  }
  std::string path = folded.substr(0, folded.find_first_of("?#"));
  std::size_t slash = path.find('/', host);
  const std::string suffix = ".tar.gz";
  if (slash == std::string::npos || path.size() < suffix.size() ||
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
    why = "it does not name a .tar.gz archive, the only form the launcher unpacks";
    return false;
  }
  return true;
}

namespace {

bool endsWith(const std::string& text, const char* suffix) {
  std::size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
  return true;
}

// The class name meant by a main class written as a file name ("Main.class",
// "com/example/Main"), as a hint; empty when it does not look like one.
std::string classNameHint(const std::string& text) {
  std::string name = text;
  bool fileName = false;
  for (const char* suffix : {".class", ".java"})
    if (endsWith(name, suffix)) {
      name.resize(name.size() - std::strlen(suffix));
      fileName = true;
    }
  if (name.find_first_of("/\\") != std::string::npos) fileName = true;
  std::replace(name.begin(), name.end(), '/', '.');
  std::replace(name.begin(), name.end(), '\\', '.');
  if (!fileName || !isDottedJavaName(name)) return "";
  return "; that is a file name: write the class name, \"" + name + "\"";
}

std::string where(const toml::node& node) {
  const auto& source = node.source();
  if (!source.begin) return "";
  return " (line " + std::to_string(source.begin.line) + ")";
}

std::string where(const toml::node* node) { return node ? where(*node) : std::string(); }

// Edits (insertions, deletions, substitutions, swaps of neighbours) between
// two keys; enough to tell a typing slip from another word.
std::size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The tables of a project and their keys, for suggestions across tables
// ("bundle" written in [launch] belongs in [runtime]).
const std::vector<std::pair<std::string, std::vector<std::string>>>& knownKeys() {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> keys = [] {
    std::vector<std::pair<std::string, std::vector<std::string>>> k = {
        {"", {"code_page", "arch", "launch", "runtime", "payload", "messages", "wide_messages", "branding"}},
        {"launch.", {"main_class", "class_path", "vm_parameters", "program_arguments", "forward_j_options",
                     "application_type", "launcher_kind", "base_directory"}},
        {"runtime.", {"min_version", "max_version", "search_sequence", "download_url", "download_sha256",
                      "download_archive", "allow_unverified_download", "preferred_vm_type", "bundle"}},
        {"branding.", {"icon", "product_name", "product_version", "file_version", "company", "description",
                       "copyright", "original_file_name", "dpi_awareness", "execution_level"}},
        {"messages.", {}},
    };
    for (const MessageInfo& m : narrowMessages()) k.back().second.push_back(m.name);
    for (const MessageInfo& m : wideMessages()) k.back().second.push_back(m.name);
    return k;
  }();
  return keys;
}

// " (did you mean ...?)" for an unknown key: the nearest key of its own table
// (candidates) when it is a slip away, else the same key in another table.
std::string suggestion(const std::string& name, const std::vector<std::string>& candidates, const std::string& prefix) {
  std::string best;
  std::size_t bestDistance = std::max<std::size_t>(1, std::min<std::size_t>(3, name.size() / 3)) + 1;
  for (const auto& c : candidates) {
    std::size_t distance = editDistance(name, c);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = prefix + c;
    }
  }
  if (best.empty()) {
    for (const auto& [table, keys] : knownKeys())
      if (table != prefix && std::find(keys.begin(), keys.end(), name) != keys.end()) {
        best = table.empty() ? name : "[" + table.substr(0, table.size() - 1) + "] " + name;
        break;
      }
  }
  return best.empty() ? "" : "; did you mean " + best + "?";
}

class Loader {
 public:
  Loader(const fs::path& base, Project& project, Diagnostics& diagnostics)
      : base_(base), project_(project), diag_(diagnostics) {}

  void load(const toml::table& root) {
    checkKeys(root, "", {"code_page", "arch", "launch", "runtime", "payload", "messages", "wide_messages", "branding"});
    if (auto arch = stringAt(root, "arch", "arch")) {
      if (*arch == "x86" || *arch == "x64") {
        project_.arch = *arch;
        project_.archAt = where(*root.get("arch"));
      } else {
        error("arch: \"" + *arch + "\" is neither \"x86\" nor \"x64\"" + where(*root.get("arch")));
      }
    }
    if (auto cp = stringAt(root, "code_page", "code_page")) project_.codePage = *cp;
    std::string probe;
    if (toCodePage("", project_.codePage, probe) == Conversion::UnknownCodePage) {
      error("code_page: \"" + project_.codePage + "\" is not a code page plimo-pack knows (it takes the names that have a Windows code page number: windows-NNNN, cpNNN, shift_jis, gbk, big5, utf-8, iso-8859-N, ...)" + where(root.get("code_page")));
      return;
    }
    // Recorded so that the launcher shows the narrow messages right whatever
    // the language of the user's system.
    setNarrow(154, "code_page", std::to_string(windowsCodePage(project_.codePage)), root.get("code_page"));
    loadLaunch(root);
    loadRuntime(root);
    loadPayload(root);
    checkMainClass(root);
    loadMessages(root);
    derivedNames();
    if (const toml::table* branding = tableAt(root, "branding", "branding"))
      loadBranding(*branding, base_, project_.branding, diag_.errors);
  }

 private:
  void error(std::string text) { diag_.errors.push_back(std::move(text)); }
  void warning(std::string text) { diag_.warnings.push_back(std::move(text)); }

  void checkKeys(const toml::table& table, const std::string& prefix, std::initializer_list<const char*> known) {
    for (auto&& [key, node] : table) {
      std::string name(key.str());
      bool found = std::any_of(known.begin(), known.end(), [&](const char* k) { return name == k; });
      if (!found)
        error("unknown key \"" + prefix + name + "\"" + where(node) +
              suggestion(name, std::vector<std::string>(known.begin(), known.end()), prefix));
    }
  }

  const toml::table* tableAt(const toml::table& parent, const char* key, const std::string& path) {
    const toml::node* node = parent.get(key);
    if (!node) return nullptr;
    if (!node->is_table()) {
      error(path + ": expected a table" + where(*node));
      return nullptr;
    }
    return node->as_table();
  }

  std::optional<std::string> stringAt(const toml::table& parent, const char* key, const std::string& path) {
    const toml::node* node = parent.get(key);
    if (!node) return std::nullopt;
    if (!node->is_string()) {
      error(path + ": expected a string" + where(*node));
      return std::nullopt;
    }
    return node->as_string()->get();
  }

  // Stores a narrow value after converting it to the code page and checking
  // what the launcher can hold.
  // node: where the value stands, named in the errors.
  void setNarrow(std::int32_t id, const std::string& path, const std::string& utf8, const toml::node* node) {
    if (utf8.find('\0') != std::string::npos) {
      error(path + ": contains a NUL character, which would cut the value short in the launcher" + where(node));
      return;
    }
    std::string bytes;
    if (toCodePage(utf8, project_.codePage, bytes) != Conversion::Ok) {
      error(path + ": the text cannot be written in code page " + project_.codePage + where(node));
      return;
    }
    if (bytes.size() > MAX_VALUE_LENGTH) {
      error(path + ": " + std::to_string(bytes.size()) + " bytes, longer than the launcher's limit of " +
            std::to_string(MAX_VALUE_LENGTH) + where(node));
      return;
    }
    project_.narrow[id] = std::move(bytes);
  }

  void setWide(std::int32_t id, const std::string& path, const std::string& utf8, const toml::node* node) {
    if (utf8.find('\0') != std::string::npos) {
      error(path + ": contains a NUL character, which would cut the value short in the launcher" + where(node));
      return;
    }
    std::u16string text = utf16FromUtf8(utf8);
    if (text.size() > MAX_VALUE_LENGTH) {
      error(path + ": " + std::to_string(text.size()) + " UTF-16 code units, longer than the launcher's limit of " +
            std::to_string(MAX_VALUE_LENGTH) + where(node));
      return;
    }
    project_.wide[id] = std::move(text);
  }

  void plainString(const toml::table& table, const char* key, const std::string& prefix, std::int32_t id) {
    if (auto value = stringAt(table, key, prefix + key)) setNarrow(id, prefix + key, *value, table.get(key));
  }

  void loadLaunch(const toml::table& root) {
    const toml::table* launch = tableAt(root, "launch", "launch");
    const std::string p = "launch.";
    if (launch) {
      checkKeys(*launch, p,
                {"main_class", "class_path", "vm_parameters", "program_arguments", "forward_j_options",
                 "application_type", "launcher_kind", "base_directory"});
    }
    static const toml::table empty;
    const toml::table& t = launch ? *launch : empty;

    // A missing main class may come from a payload jar's manifest
    // (checkMainClass, once the payload is known).
    auto mainClass = stringAt(t, "main_class", p + "main_class");
    if (mainClass && (!isDottedJavaName(*mainClass) || endsWith(*mainClass, ".class") || endsWith(*mainClass, ".java"))) {
      error("launch.main_class: \"" + *mainClass + "\" is not a dotted Java class name (such as com.example.Main)" +
            where(t.get("main_class")) + classNameHint(*mainClass));
    } else if (mainClass) {
      setNarrow(122, p + "main_class", *mainClass, t.get("main_class"));
      mainClass_ = *mainClass;
    }
    loadClassPath(t, p + "class_path");
    plainString(t, "vm_parameters", p, 123);
    plainString(t, "program_arguments", p, 124);
    if (const toml::node* n = t.get("forward_j_options")) {
      if (!n->is_boolean()) error(p + "forward_j_options: expected true or false" + where(*n));
      else setNarrow(125, p + "forward_j_options", n->as_boolean()->get() ? "1" : "0", n);
    }
    // Default: a graphical application, as an installer with a window is.
    std::string type = "5";
    if (const toml::node* n = t.get("application_type")) {
      if (n->is_integer()) {
        type = std::to_string(n->as_integer()->get());
      } else if (n->is_string()) {
        const std::string& s = n->as_string()->get();
        if (s == "gui") type = "5";
        else if (s == "gui-javaw") type = "1";
        else if (s == "console") type = "0";
        else error(p + "application_type: \"" + s + "\" is none of \"gui\", \"gui-javaw\", \"console\"" + where(*n));
      } else {
        error(p + "application_type: expected a name or a number" + where(*n));
      }
    }
    setNarrow(107, p + "application_type", type, t.get("application_type"));
    std::string kind = "i";
    if (auto k = stringAt(t, "launcher_kind", p + "launcher_kind")) {
      if (*k == "installer") kind = "i";
      else if (*k == "application") kind = "e";
      else error(p + "launcher_kind: \"" + *k + "\" is neither \"installer\" nor \"application\"" + where(t.get("launcher_kind")));
    }
    project_.application = kind == "e";
    setNarrow(2001, p + "launcher_kind", kind, t.get("launcher_kind"));
    plainString(t, "base_directory", p, 10003);
  }

  // The names a list entry (class path, search sequence) goes by in messages.
  struct ListNames {
    const char* items;       // what its array holds
    const char* separated;   // what ';' separates in the launcher's entry
  };
  using StringItem =
      std::function<std::optional<std::string>(const std::string& text, const toml::node& item, const std::string& at)>;
  using TableItem = std::function<std::optional<std::string>(const toml::table& fields, const std::string& at)>;

  // The items of a list entry, each written the launcher's way as a string or
  // as a table with readable fields. fromString and fromTable give an item's
  // text, or nothing when they refuse it; as ';' separates the items in the
  // launcher's entry, no text may hold one. Nothing when the key is absent or
  // not an array.
  std::optional<std::vector<std::string>> listItems(const toml::table& t, const char* key, const std::string& path,
                                                    const ListNames& names, const StringItem& fromString,
                                                    const TableItem& fromTable) {
    const toml::node* node = t.get(key);
    if (!node) return std::nullopt;
    const toml::array* items = node->as_array();
    if (!items) {
      error(path + ": expected an array of " + names.items + where(*node));
      return std::nullopt;
    }
    std::vector<std::string> written;
    std::size_t index = 0;
    for (const toml::node& item : *items) {
      std::string at = path + "[" + std::to_string(index++) + "]";
      std::optional<std::string> text;
      if (item.is_string()) {
        text = fromString(item.as_string()->get(), item, at);
      } else if (const toml::table* fields = item.as_table()) {
        text = fromTable(*fields, at);
      } else {
        error(at + ": expected a string or a table" + where(item));
      }
      if (!text) continue;
      if (text->find(';') != std::string::npos) {
        error(at + ": \"" + *text + "\" contains ';', which separates " + names.separated);
        continue;
      }
      written.push_back(*text);
    }
    return written;
  }

  // Items such as "A1lib/app.jar" or { kind = "archive", path = "lib/app.jar", required = true }.
  void loadClassPath(const toml::table& t, const std::string& path) {
    auto fromString = [&](const std::string& text, const toml::node& item,
                          const std::string& at) -> std::optional<std::string> {
      if (text.empty() || !std::strchr("ADSE", text[0])) {
        std::string example = text.empty() ? "lib/app.jar" : text;
        error(at + ": \"" + text + "\" does not start with its kind letter (A, D, S or E) and required flag (0 or 1); "
              "write it as \"A1" + example + "\" or { kind = \"archive\", path = \"" + example +
              "\", required = true }" + where(item));
        return std::nullopt;
      }
      if (text.size() < 3) warning(at + ": \"" + text + "\" names no path or variable after its two marker characters");
      return text;
    };
    auto fromTable = [&](const toml::table& fields, const std::string& at) -> std::optional<std::string> {
      checkKeys(fields, at + ".", {"kind", "path", "variable", "required"});
      auto kind = stringAt(fields, "kind", at + ".kind");
      static const std::map<std::string, char> letters = {
          {"archive", 'A'}, {"directory", 'D'}, {"scan", 'S'}, {"environment", 'E'}};
      if (!kind || !letters.count(*kind)) {
        error(at + ".kind: expected \"archive\", \"directory\", \"scan\" or \"environment\"");
        return std::nullopt;
      }
      char letter = letters.at(*kind);
      const char* field = letter == 'E' ? "variable" : "path";
      auto value = stringAt(fields, field, at + "." + field);
      if (!value || value->empty()) {
        error(at + ": a class path item of kind " + *kind + " needs a non-empty \"" + field + "\"");
        return std::nullopt;
      }
      if (fields.get(letter == 'E' ? "path" : "variable")) {
        error(at + ": kind " + *kind + " takes \"" + field + "\", not \"" + (letter == 'E' ? "path" : "variable") +
              "\"");
        return std::nullopt;
      }
      bool required = false;
      if (const toml::node* r = fields.get("required")) {
        if (!r->is_boolean()) error(at + ".required: expected true or false");
        else required = r->as_boolean()->get();
      }
      return std::string(1, letter) + (required ? "1" : "0") + *value;
    };
    auto items = listItems(t, "class_path", path, {"items", "class path items"}, fromString, fromTable);
    if (!items) return;
    std::string joined;
    for (const auto& item : *items) joined += (joined.empty() ? "" : ";") + item;
    setNarrow(121, path, joined, t.get("class_path"));
  }

  void loadRuntime(const toml::table& root) {
    const toml::table* runtime = tableAt(root, "runtime", "runtime");
    if (!runtime) return;
    const std::string p = "runtime.";
    checkKeys(*runtime, p,
              {"min_version", "max_version", "search_sequence", "download_url", "download_sha256", "download_archive",
               "allow_unverified_download", "preferred_vm_type", "bundle"});
    std::optional<std::string> minimum = versionBound(*runtime, "min_version", 126);
    std::optional<std::string> maximum = versionBound(*runtime, "max_version", 127);
    // The launcher holds a version against the maximum over as many
    // components as the maximum has, so "1.8" admits "1.8.0_201"; the range
    // is empty exactly when the minimum itself does not pass.
    if (minimum && maximum && !minimum->empty() && !maximum->empty() &&
        !plimo::versionAcceptable(*minimum, *minimum, *maximum, true)) {
      error(p + "max_version: \"" + *maximum + "\" is below runtime.min_version \"" + *minimum +
            "\"; no runtime could fit" + where(*runtime->get("max_version")));
    }
    loadSearchSequence(*runtime, p + "search_sequence");
    std::optional<std::string> address = stringAt(*runtime, "download_url", p + "download_url");
    if (address) {
      std::string why;
      if (!address->empty() && !isDownloadAddress(*address, why))
        error(p + "download_url: \"" + *address + "\": " + why + where(*runtime->get("download_url")));
      else
        setNarrow(150, p + "download_url", *address, runtime->get("download_url"));
    }
    loadDownloadDigest(*runtime, address ? *address : std::string());
    plainString(*runtime, "preferred_vm_type", p, 152);
    if (auto bundle = stringAt(*runtime, "bundle", p + "bundle")) {
      fs::path dir = base_ / fs::u8path(*bundle);
      std::error_code ec;
      if (!fs::is_directory(dir, ec)) {
        error(p + "bundle: \"" + dir.string() + "\" is not a directory" + where(runtime->get("bundle")));
      } else {
        project_.runtimeDirectory = dir;
        project_.bundleAt = where(runtime->get("bundle"));
      }
    }
  }

  // The pinned SHA-256 of the downloaded archive (entry 153): given, computed
  // from a local copy of the archive, or both (then they must agree). A plain
  // http:// download without one is refused unless the author opts out.
  void loadDownloadDigest(const toml::table& runtime, const std::string& address) {
    const std::string p = "runtime.";
    std::string digest;
    if (auto given = stringAt(runtime, "download_sha256", p + "download_sha256")) {
      unsigned char bytes[plimo::SHA256_SIZE];
      if (!plimo::parseSha256Hex(*given, bytes)) {
        // sha256sum prints the digest, blanks and the file name; the whole
        // line is what gets pasted.
        std::size_t digits = given->find_first_not_of("0123456789abcdefABCDEF");
        bool pastedLine = digits == 64 && given->find_first_not_of(" \t*", 64) != std::string::npos &&
                          (given->at(64) == ' ' || given->at(64) == '\t');
        error(p + "download_sha256: \"" + *given + "\" is not a SHA-256 digest (64 hexadecimal digits)" +
              where(*runtime.get("download_sha256")) +
              (pastedLine ? "; it looks like a whole line of sha256sum's output: write only its first 64 digits, \"" +
                                given->substr(0, 64) + "\""
                          : ""));
        return;
      }
      for (unsigned char c : *given)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') digest += static_cast<char>(std::tolower(c));
    }
    if (auto archive = stringAt(runtime, "download_archive", p + "download_archive")) {
      fs::path file = base_ / fs::u8path(*archive);
      std::optional<std::string> computed = fileSha256(file);
      if (!computed) {
        error(p + "download_archive: \"" + file.string() + "\" cannot be read" + where(*runtime.get("download_archive")));
        return;
      }
      if (!digest.empty() && digest != *computed) {
        error(p + "download_sha256: the digest differs from that of \"" + file.string() + "\" (" + *computed + ")" +
              where(*runtime.get("download_sha256")));
        return;
      }
      digest = *computed;
      project_.downloadArchive = file;
      project_.downloadArchiveAt = where(runtime.get("download_archive"));
    }
    bool optOut = false;
    if (const toml::node* n = runtime.get("allow_unverified_download")) {
      if (!n->is_boolean())
        error(p + "allow_unverified_download: expected true or false" + where(*n));
      else
        optOut = n->as_boolean()->get();
    }
    if (!digest.empty() && address.empty()) {
      error(p + "download_sha256/download_archive: there is no runtime.download_url whose archive it could pin");
      return;
    }
    std::string scheme = address.substr(0, 7);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    if (digest.empty() && scheme == "http://" && !optOut) {
      error(p + "download_url: over plain http:// anyone on the network path can replace the runtime the installer "
                "runs; pin it with runtime.download_sha256 or runtime.download_archive, or set "
                "runtime.allow_unverified_download = true" + where(*runtime.get("download_url")));
    }
    if (!digest.empty())
      setNarrow(153, p + "download_sha256", digest,
                runtime.get("download_sha256") ? runtime.get("download_sha256") : runtime.get("download_archive"));
  }

  // A version bound; empty leaves that side open. Nothing when absent or wrong.
  std::optional<std::string> versionBound(const toml::table& runtime, const char* key, std::int32_t id) {
    std::string path = std::string("runtime.") + key;
    std::optional<std::string> text = stringAt(runtime, key, path);
    if (!text) return std::nullopt;
    if (!text->empty() && !isVersionBound(*text)) {
      error(path + ": \"" + *text + "\" is not a version such as \"1.8\", \"11\", \"17.0.2\" or \"1.8.0_201\"" +
            where(*runtime.get(key)));
      return std::nullopt;
    }
    std::string written = javaVersionBound(*text);
    if (written != *text)
      diag_.notes.push_back(path + ": \"" + *text + "\" is written as \"" + written + "\", the form in which Java " +
                            text->substr(0, 1) + " reports its version" + where(*runtime.get(key)));
    setNarrow(id, path, written, runtime.get(key));
    return written;
  }

  // Entries such as "EJAVA_HOME" or { kind = "environment", variable = "JAVA_HOME" }.
  void loadSearchSequence(const toml::table& t, const std::string& path) {
    auto fromString = [&](const std::string& text, const toml::node& item,
                          const std::string& at) -> std::optional<std::string> {
      if (text.empty()) {
        warning(at + ": an empty entry; the launcher skips it");
        return std::nullopt;
      }
      if (!std::strchr("EARSY", text[0])) {
        error(at + ": \"" + text + "\" does not start with its kind letter (E, A, R, S or Y); write \"E" + text +
              "\" or { kind = \"environment\", variable = \"" + text + "\" } for an environment variable, \"A" + text +
              "\" or { kind = \"directory\", path = \"" + text + "\" } for a folder" + where(item));
        return std::nullopt;
      }
      if (text[0] == 'E' && text.size() == 1)
        warning(at + ": \"E\" names no environment variable; the launcher finds nothing with it");
      return text;
    };
    auto fromTable = [&](const toml::table& fields, const std::string& at) -> std::optional<std::string> {
      checkKeys(fields, at + ".", {"kind", "variable", "path"});
      auto kind = stringAt(fields, "kind", at + ".kind");
      if (!kind) {
        error(at + ".kind: missing");
        return std::nullopt;
      }
      std::string text;
      if (*kind == "environment") {
        auto v = stringAt(fields, "variable", at + ".variable");
        if (!v || v->empty()) {
          error(at + ": kind environment needs a non-empty \"variable\"");
          return std::nullopt;
        }
        text = "E" + *v;
      } else if (*kind == "directory") {
        auto v = stringAt(fields, "path", at + ".path");
        if (!v) {
          error(at + ": kind directory needs \"path\"");
          return std::nullopt;
        }
        text = "A" + *v;
      } else if (*kind == "search_path") {
        text = "S";
      } else if (*kind == "registry") {
        text = "Y";
      } else {
        error(at + ".kind: expected \"environment\", \"directory\", \"search_path\" or \"registry\"");
        return std::nullopt;
      }
      if ((text == "S" || text == "Y") && fields.size() > 1) error(at + ": kind " + *kind + " takes no further fields");
      return text;
    };
    auto entries = listItems(t, "search_sequence", path, {"entries", "search entries"}, fromString, fromTable);
    if (!entries) return;
    std::string joined;
    for (const auto& entry : *entries) joined += entry + ";";
    setNarrow(128, path, joined, t.get("search_sequence"));
  }

  void loadPayload(const toml::table& root) {
    const toml::node* node = root.get("payload");
    payloadNode_ = node;
    if (!node) return;
    const toml::array* items = node->as_array();
    if (!items) {
      error("payload: expected an array of files" + where(*node));
      return;
    }
    std::size_t index = 0;
    for (const toml::node& item : *items) {
      std::string at = "payload[" + std::to_string(index++) + "]";
      PayloadFile file;
      std::string source;
      if (item.is_string()) {
        source = item.as_string()->get();
        file.name = fs::u8path(source).filename().u8string();
      } else if (const toml::table* fields = item.as_table()) {
        checkKeys(*fields, at + ".", {"source", "name"});
        auto s = stringAt(*fields, "source", at + ".source");
        if (!s) {
          error(at + ": needs \"source\"");
          continue;
        }
        source = *s;
        auto n = stringAt(*fields, "name", at + ".name");
        file.name = n ? *n : fs::u8path(source).filename().u8string();
      } else {
        error(at + ": expected a file path or a table with source and name" + where(item));
        continue;
      }
      file.source = base_ / fs::u8path(source);
      std::error_code ec;
      if (fs::is_directory(file.source, ec)) {
        error(at + ": \"" + source + "\" is a folder; the payload takes files, each listed on its own "
              "(a Java runtime folder goes into runtime.bundle)" + where(item));
        continue;
      }
      std::string why;
      // A name the code page cannot hold is reported with the name list.
      PageText pageName;
      if (toCodePage(file.name, project_.codePage, pageName) != Conversion::Ok) pageName = file.name;
      if (!isPackableFileName(file.name, pageName, why)) {
        error(at + ": the payload name \"" + file.name + "\" is not a plain file name: " + why + where(item));
        continue;
      }
      if (!fs::is_regular_file(file.source, ec)) {
        error(at + ": the file \"" + file.source.string() + "\" does not exist or is not a regular file" + where(item));
        continue;
      }
      std::uintmax_t size = fs::file_size(file.source, ec);
      if (!ec && size > 0x7FFFFFFFu) {
        error(at + ": \"" + file.source.string() + "\" is larger than 2147483647 bytes, the largest record" + where(item));
        continue;
      }
      if (!ec && size == 0) {
        warning(at + ": \"" + file.name + "\" is empty; the launcher creates no file for an empty record");
      }
      project_.payload.push_back(std::move(file));
    }
  }

  // [messages] takes every message by its name, narrow or wide, each written
  // as its entry needs (narrow ones in the code page, wide ones as UTF-16);
  // [wide_messages], the older table, takes the wide ones.
  void loadMessages(const toml::table& root) {
    const toml::table* any = tableAt(root, "messages", "messages");
    const toml::table* wide = tableAt(root, "wide_messages", "wide_messages");
    auto named = [](const std::vector<MessageInfo>& list, const std::string& name) {
      return std::any_of(list.begin(), list.end(), [&](const MessageInfo& m) { return name == m.name; });
    };
    std::vector<std::string> allNames, wideNames;
    for (const MessageInfo& m : narrowMessages()) allNames.push_back(m.name);
    for (const MessageInfo& m : wideMessages()) {
      allNames.push_back(m.name);
      wideNames.push_back(m.name);
    }
    if (any) {
      for (auto&& [key, node] : *any) {
        std::string name(key.str());
        if (!named(narrowMessages(), name) && !named(wideMessages(), name))
          error("unknown key \"messages." + name + "\"" + where(node) + suggestion(name, allNames, "messages."));
      }
    }
    if (wide) {
      for (auto&& [key, node] : *wide) {
        std::string name(key.str());
        if (named(narrowMessages(), name))
          error("wide_messages." + name + ": a narrow message; write it in [messages]" + where(node));
        else if (!named(wideMessages(), name))
          error("unknown key \"wide_messages." + name + "\"" + where(node) + suggestion(name, wideNames, "wide_messages."));
        else if (any && any->get(name))
          error("wide_messages." + name + ": set in [messages] as well" + where(any->get(name)) +
                "; keep one of them" + where(node));
      }
    }

    auto kind = project_.narrow.find(2001);
    bool application = kind != project_.narrow.end() && kind->second == "e";
    project_.application = application;
    // The author's text of m, the key it was read from and its node.
    struct Given {
      std::optional<std::string> text;
      std::string path;
      const toml::node* node = nullptr;
    };
    auto given = [&](const MessageInfo& m, bool isWide) {
      Given g;
      const toml::table* table = any && any->get(m.name) ? any : isWide && wide && wide->get(m.name) ? wide : nullptr;
      g.path = std::string(table == wide && wide ? "wide_messages." : "messages.") + m.name;
      if (!table) return g;
      g.node = table->get(m.name);
      g.text = stringAt(*table, m.name, g.path);
      if (!isWide && g.text && m.placeholder && g.text->find(m.placeholder) == std::string::npos)
        warning(g.path + ": the text lacks " + std::string(m.placeholder) + ", which the launcher fills in" + where(g.node));
      return g;
    };
    for (const MessageInfo& m : narrowMessages()) {
      Given g = given(m, false);
      setNarrow(m.id, g.path, g.text ? *g.text : defaultTextFor(m, application), g.node);
    }
    for (const MessageInfo& m : wideMessages()) {
      Given g = given(m, true);
      if (!g.text && dependsOnProcessor(m)) {
        project_.processorDefaults.push_back(m.id);
        continue;
      }
      std::string value = g.text ? *g.text : defaultTextFor(m, application);
      std::string why;
      if (m.id == PROGRESS_FORMAT_ID && !isSafeProgressFormat(value, why)) {
        error(g.path + ": unsafe format: " + why + where(g.node));
        continue;
      }
      setWide(m.id, g.path, value, g.node);
    }
  }

  // The main class against the payload jars, which lead the class path. Where
  // every class path item is such a jar, a class in none of them is an error;
  // where the class path also takes items from outside the build, the check
  // cannot be complete and says so. Without main_class, a payload jar's
  // manifest may name it.
  void checkMainClass(const toml::table& root) {
    static const toml::table empty;
    const toml::table* launch = root.get("launch") ? root.get("launch")->as_table() : nullptr;
    const toml::table& t = launch ? *launch : empty;
    const toml::node* node = t.get("main_class");
    std::vector<std::pair<std::string, JarListing>> jars;
    std::vector<std::string> unreadable;
    for (const PayloadFile& file : project_.payload) {
      if (!endsWith(file.name, ".jar") && !endsWith(file.name, ".zip")) continue;
      JarListing listing;
      std::string why;
      if (readJarFile(file.source, listing, why)) {
        jars.emplace_back(file.name, std::move(listing));
      } else {
        warning("payload: \"" + file.name + "\" is not a jar Java can read: " + why + where(payloadNode_));
        unreadable.push_back(file.name);
      }
    }
    if (!node) {
      std::string found, from;
      for (const auto& [name, listing] : jars) {
        if (listing.mainClass.empty()) continue;
        if (!found.empty() && listing.mainClass != found) {
          error("launch.main_class: missing, and the manifests of " + from + " and " + name +
                " name different main classes (" + found + ", " + listing.mainClass + "); set it");
          return;
        }
        if (found.empty()) from = name;
        found = listing.mainClass;
      }
      if (found.empty()) {
        error("launch.main_class: missing; the launcher needs the class whose main method it calls (no payload jar "
              "names one as Main-Class in its manifest)");
        return;
      }
      if (!isDottedJavaName(found)) {
        error("launch.main_class: missing, and the Main-Class \"" + found + "\" of " + from +
              "'s manifest is not a dotted Java class name");
        return;
      }
      diag_.notes.push_back("launch.main_class: not set; taking \"" + found + "\", the Main-Class of the manifest of " + from);
      setNarrow(122, "launch.main_class", found, nullptr);
      mainClass_ = found;
    }
    if (mainClass_.empty()) return;
    std::string classFile = mainClass_;
    std::replace(classFile.begin(), classFile.end(), '.', '/');
    classFile += ".class";
    for (const auto& [name, listing] : jars)
      if (std::find(listing.names.begin(), listing.names.end(), classFile) != listing.names.end()) return;

    std::vector<std::string> outside;
    if (!project_.application)
      outside.push_back("the installer runtime jar .sorbilane\\sblruntime.jar (launcher_kind \"installer\")");
    if (const toml::array* items = t.get("class_path") ? t.get("class_path")->as_array() : nullptr; items && !items->empty())
      outside.push_back("the items of launch.class_path");
    if (auto options = t.get("vm_parameters") ? t.get("vm_parameters")->value<std::string>() : std::nullopt;
        options && (options->find("class.path") != std::string::npos || options->find("-cp") != std::string::npos ||
                    options->find("module") != std::string::npos))
      outside.push_back("the class or module path that launch.vm_parameters sets");
    for (const auto& name : unreadable) outside.push_back("\"" + name + "\", which it cannot read");
    std::string list, jarNames;
    for (const auto& o : outside) list += (list.empty() ? "" : ", ") + o;
    for (const auto& [name, listing] : jars) jarNames += (jarNames.empty() ? "" : ", ") + name;
    if (jars.empty()) {
      diag_.notes.push_back("launch.main_class: not checked: no payload jar" +
                            (list.empty() ? std::string() : "; the class path takes only " + list));
    } else if (outside.empty()) {
      error("launch.main_class: \"" + mainClass_ + "\" is in none of the payload jars (" + jarNames + "): none holds " +
            classFile + ", and the class path has nothing else" + where(node));
    } else {
      warning("launch.main_class: \"" + mainClass_ + "\" is in none of the payload jars (" + jarNames +
              "); whether the class path finds it at run time cannot be checked here, as it also takes " + list +
              where(node));
    }
  }

  void derivedNames() {
    std::vector<std::string> names;
    for (const auto& f : project_.payload) names.push_back(f.name);
    if (project_.runtimeDirectory) names.push_back(RUNTIME_ARCHIVE_NAME);
    // Windows file names ignore case, so "A.jar" would overwrite "a.jar".
    std::map<std::string, std::string> seen;
    for (const auto& n : names) {
      std::string folded = n;
      std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
      auto [it, inserted] = seen.emplace(folded, n);
      if (!inserted) {
        if (n == RUNTIME_ARCHIVE_NAME && project_.runtimeDirectory)
          error("payload: the name \"" + n + "\" is taken by the bundled runtime (runtime.bundle)");
        else
          error("payload: the name \"" + n + "\" occurs twice (names are compared ignoring case, as Windows does)");
      }
    }
    std::string list;
    for (const auto& n : names) list += n + ";";
    if (!names.empty()) {
      setNarrow(2002, "payload (count)", std::to_string(names.size()), payloadNode_);
      setNarrow(2003, "payload (names)", list, payloadNode_);
    }
  }

  fs::path base_;
  Project& project_;
  Diagnostics& diag_;
  const toml::node* payloadNode_ = nullptr;
  std::string mainClass_;  // UTF-8, once known to be a dotted name
};

}  // namespace

void setProcessorDefaults(Project& project, bool x64) {
  for (std::int32_t id : project.processorDefaults)
    for (const MessageInfo& m : wideMessages())
      if (m.id == id) project.wide[id] = utf16FromUtf8(defaultTextFor(m, project.application, x64));
  project.processorDefaults.clear();
}

bool loadProjectText(const Utf8Text& text, const fs::path& baseDirectory, Project& project,
                     Diagnostics& diagnostics) {
  toml::table root;
  try {
    root = toml::parse(text);
  } catch (const toml::parse_error& e) {
    std::ostringstream out;
    out << "the project file is not valid TOML: " << e.description() << " (line " << e.source().begin.line
        << ", column " << e.source().begin.column << ")";
    diagnostics.errors.push_back(out.str());
    return false;
  }
  Loader(baseDirectory, project, diagnostics).load(root);
  return diagnostics.errors.empty();
}

bool loadProject(const fs::path& file, Project& project, Diagnostics& diagnostics) {
  std::error_code ec;
  std::ifstream in(file, std::ios::binary);
  if (!in || fs::is_directory(file, ec)) {
    std::string why = !fs::exists(file, ec) ? ": no such file" : fs::is_directory(file, ec) ? ": it is a folder" : "";
    diagnostics.errors.push_back("cannot read the project file \"" + file.string() + "\"" + why);
    diagnostics.unreadable = true;
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  fs::path base = file.parent_path();
  if (base.empty()) base = ".";
  return loadProjectText(buffer.str(), base, project, diagnostics);
}

}  // namespace plimo::pack
