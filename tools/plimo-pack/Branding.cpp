#include "tools/plimo-pack/Branding.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <zlib.h>

#include "block/BlockFormat.h"
#include "tools/plimo-pack/BlockWriter.h"
#include "tools/plimo-pack/ManifestTemplate.h"
#include "tools/plimo-pack/PeResources.h"

namespace plimo::pack {

namespace fs = std::filesystem;

namespace {

std::uint32_t getBig32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

void put16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

void pad4(std::string& out) { out.append((4 - out.size() % 4) % 4, '\0'); }

std::string utf16le(const std::string& utf8) {
  std::string bytes;
  appendUtf16Le(bytes, utf16FromUtf8(utf8));
  return bytes;
}

std::string utf8(std::string_view utf16leBytes) {
  return utf8FromUtf16(utf16FromLeBytes(utf16leBytes));
}

std::string where(const toml::node& node) {
  const auto& source = node.source();
  if (!source.begin) return "";
  return " (line " + std::to_string(source.begin.line) + ")";
}

constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t ICON_DIR_SIZE = 6;
constexpr std::size_t ICON_ENTRY_SIZE = 16;   // in an .ico file
constexpr std::size_t GROUP_ENTRY_SIZE = 14;  // in an icon group resource
constexpr std::uintmax_t MAX_ICON_FILE = 4u << 20;
// A stub is about 130 KB; anything near this is no stub.
constexpr std::uint64_t MAX_STUB_IMAGE = 64u << 20;
// Windows shows these texts in a file's properties; the whole resource must
// stay within its 16-bit length.
constexpr std::size_t MAX_VERSION_TEXT = 1024;

bool isPng(std::string_view bytes) {
  return bytes.size() >= 8 &&
         std::equal(PNG_SIGNATURE, PNG_SIGNATURE + 8, reinterpret_cast<const unsigned char*>(bytes.data()));
}

// The keys of the version strings, in the order they are written.
struct VersionKey {
  const char* key;   // project key in [branding]
  const char* name;  // StringFileInfo name
};
constexpr VersionKey VERSION_KEYS[] = {
    {"company", "CompanyName"},
    {"description", "FileDescription"},
    {"file_version", "FileVersion"},
    {"copyright", "LegalCopyright"},
    {"original_file_name", "OriginalFilename"},
    {"product_name", "ProductName"},
    {"product_version", "ProductVersion"},
};

struct DpiSetting {
  const char* key;
  const char* dpiAware;
  const char* dpiAwareness;
};
constexpr DpiSetting DPI_SETTINGS[] = {
    {"unaware", "false", "unaware"},
    {"system", "true", "system"},
    {"per-monitor", "true/pm", "PerMonitor"},
    // Windows 10 before 1703 does not know PerMonitorV2 and takes the next.
    {"per-monitor-v2", "true/pm", "PerMonitorV2, PerMonitor"},
};
constexpr const char* EXECUTION_LEVELS[] = {"asInvoker", "highestAvailable", "requireAdministrator"};

const DpiSetting* dpiSetting(const std::string& key) {
  for (const DpiSetting& s : DPI_SETTINGS)
    if (key == s.key) return &s;
  return nullptr;
}

bool knownLevel(const std::string& level) {
  return std::any_of(std::begin(EXECUTION_LEVELS), std::end(EXECUTION_LEVELS),
                     [&](const char* l) { return level == l; });
}

}  // namespace

bool iconFromIco(std::string_view bytes, std::vector<IconImage>& images, std::string& why) {
  if (bytes.size() < ICON_DIR_SIZE || le16At(bytes, 0) != 0 || (le16At(bytes, 2) != 1 && le16At(bytes, 2) != 2)) {
    why = "not an .ico file (no icon header)";
    return false;
  }
  if (le16At(bytes, 2) == 2) {
    why = "a cursor file, not an icon";
    return false;
  }
  std::size_t count = le16At(bytes, 4);
  if (count == 0) {
    why = "the icon file holds no image";
    return false;
  }
  if ((bytes.size() - ICON_DIR_SIZE) / ICON_ENTRY_SIZE < count) {
    why = "the icon file lists " + std::to_string(count) + " images but ends inside its directory";
    return false;
  }
  images.clear();
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t e = ICON_DIR_SIZE + i * ICON_ENTRY_SIZE;
    std::uint32_t size = le32At(bytes, e + 8);
    std::uint32_t offset = le32At(bytes, e + 12);
    std::string n = "image " + std::to_string(i + 1);
    if (size == 0 || offset < ICON_DIR_SIZE + count * ICON_ENTRY_SIZE || offset > bytes.size() ||
        bytes.size() - offset < size) {
      why = n + " of the icon file lies outside the file (offset " + std::to_string(offset) + ", " +
            std::to_string(size) + " bytes, file of " + std::to_string(bytes.size()) + ")";
      return false;
    }
    IconImage image;
    image.bytes.assign(bytes.substr(offset, size));
    // Windows reads either a PNG or a BITMAPINFOHEADER (40 bytes) there.
    if (!isPng(image.bytes) && (size < 40 || le32At(image.bytes, 0) != 40)) {
      why = n + " of the icon file is neither a PNG nor a bitmap";
      return false;
    }
    auto side = [](unsigned char c) -> std::uint16_t { return c == 0 ? 256 : c; };
    image.width = side(static_cast<unsigned char>(bytes[e]));
    image.height = side(static_cast<unsigned char>(bytes[e + 1]));
    image.colourCount = static_cast<std::uint8_t>(bytes[e + 2]);
    image.planes = le16At(bytes, e + 4);
    image.bitCount = le16At(bytes, e + 6);
    images.push_back(std::move(image));
  }
  return true;
}

bool iconFromPng(std::string_view bytes, std::vector<IconImage>& images, std::string& why) {
  // The signature, then IHDR first: length 13, type, width, height, bit
  // depth, colour type, three method bytes, CRC.
  if (!isPng(bytes)) {
    why = "not a PNG image (no PNG signature)";
    return false;
  }
  if (bytes.size() < 8 + 8 + 13 + 4 || getBig32(bytes, 8) != 13 || bytes.substr(12, 4) != "IHDR") {
    why = "the PNG image does not start with its IHDR header";
    return false;
  }
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 4 + 13));
  if (crc != getBig32(bytes, 29)) {
    why = "the PNG image's header is damaged (CRC mismatch)";
    return false;
  }
  std::uint32_t width = getBig32(bytes, 16), height = getBig32(bytes, 20);
  if (width == 0 || height == 0 || width > 256 || height > 256) {
    why = "the PNG image is " + std::to_string(width) + "x" + std::to_string(height) +
          " pixels; an icon image is at most 256x256";
    return false;
  }
  IconImage image;
  image.width = static_cast<std::uint16_t>(width);
  image.height = static_cast<std::uint16_t>(height);
  image.bytes.assign(bytes);
  images.assign(1, std::move(image));
  return true;
}

bool parseVersionNumber(const std::string& text, VersionNumber& number, std::string& why) {
  number = {};
  std::size_t part = 0, start = 0;
  while (true) {
    std::size_t end = text.find('.', start);
    if (end == std::string::npos) end = text.size();
    std::string digits = text.substr(start, end - start);
    if (part == 4) {
      why = "more than four numbers";
      return false;
    }
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      why = digits.empty() ? "an empty part" : "\"" + digits + "\" is not a number up to 65535";
      return false;
    }
    unsigned long value = std::stoul(digits);
    if (value > 65535) {
      why = digits + " is larger than 65535";
      return false;
    }
    number[part++] = static_cast<std::uint16_t>(value);
    if (end == text.size()) return true;
    start = end + 1;
  }
}

bool manifestText(const Branding& branding, std::uint16_t machine, std::string& text, std::string& why) {
  const DpiSetting* dpi = dpiSetting(branding.dpiAwareness);
  if (!dpi) {
    why = "unknown DPI awareness \"" + branding.dpiAwareness + "\"";
    return false;
  }
  if (!knownLevel(branding.executionLevel)) {
    why = "unknown execution level \"" + branding.executionLevel + "\"";
    return false;
  }
  const std::map<std::string, std::string> values = {
      {"@PLIMO_MANIFEST_ARCH@", machine == 0x8664 ? "amd64" : "X86"},
      {"@PLIMO_MANIFEST_LEVEL@", branding.executionLevel},
      {"@PLIMO_MANIFEST_DPI_AWARE@", dpi->dpiAware},
      {"@PLIMO_MANIFEST_DPI_AWARENESS@", dpi->dpiAwareness},
  };
  text = MANIFEST_TEMPLATE;
  for (const auto& [placeholder, value] : values) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  }
  return true;
}

namespace {

// One node of a version resource: lengths, type, key, value, children, each
// 32-bit aligned. valueLength counts characters for text and bytes otherwise.
std::string versionNode(const char* key, const std::string& value, std::uint16_t valueLength, bool text,
                        const std::vector<std::string>& children) {
  std::string out(6, '\0');
  out += utf16le(key);
  out.append(2, '\0');
  pad4(out);
  out += value;
  for (const auto& child : children) {
    pad4(out);
    out += child;
  }
  out[0] = static_cast<char>(out.size() & 0xFF);
  out[1] = static_cast<char>(out.size() >> 8);
  out[2] = static_cast<char>(valueLength & 0xFF);
  out[3] = static_cast<char>(valueLength >> 8);
  out[4] = text ? 1 : 0;
  return out;
}

}  // namespace

std::string versionResource(const Branding& branding) {
  std::string fixed;
  put32(fixed, 0xFEEF04BD);  // signature
  put32(fixed, 0x00010000);  // structure version 1.0
  auto putVersion = [&](const VersionNumber& v) {
    put32(fixed, static_cast<std::uint32_t>(v[0]) << 16 | v[1]);
    put32(fixed, static_cast<std::uint32_t>(v[2]) << 16 | v[3]);
  };
  putVersion(branding.fileVersion);
  putVersion(branding.productVersion);
  put32(fixed, 0x3F);        // flags mask
  put32(fixed, 0);           // flags
  put32(fixed, 0x00040004);  // VOS_NT_WINDOWS32
  put32(fixed, 1);           // VFT_APP
  put32(fixed, 0);           // subtype
  put32(fixed, 0);           // date
  put32(fixed, 0);

  std::vector<std::string> strings;
  for (const auto& [name, value] : branding.versionStrings) {
    std::string units = utf16le(value);
    units.append(2, '\0');
    strings.push_back(versionNode(name.c_str(), units, static_cast<std::uint16_t>(units.size() / 2), true, {}));
  }
  std::string table = versionNode("040904B0", "", 0, true, strings);
  std::string stringInfo = versionNode("StringFileInfo", "", 0, true, {table});
  std::string translation;
  put16(translation, 0x0409);
  put16(translation, 1200);
  std::string var = versionNode("Translation", translation, 4, false, {});
  std::string varInfo = versionNode("VarFileInfo", "", 0, true, {var});
  return versionNode("VS_VERSION_INFO", fixed, static_cast<std::uint16_t>(fixed.size()), false, {stringInfo, varInfo});
}

namespace {

struct Node {
  std::string key;         // UTF-8
  std::string_view value;  // bytes
  std::vector<Node> children;
};

// Reads the node at the start of bytes (bounded by its own length).
bool parseNode(std::string_view bytes, Node& node, int depth) {
  if (depth > 4 || bytes.size() < 6) return false;
  std::size_t length = le16At(bytes, 0), valueLength = le16At(bytes, 2);
  bool text = le16At(bytes, 4) == 1;
  if (length < 6 || length > bytes.size()) return false;
  bytes = bytes.substr(0, length);
  std::size_t at = 6;
  while (at + 1 < bytes.size() && le16At(bytes, at) != 0) at += 2;
  if (at + 1 >= bytes.size()) return false;
  node.key = utf8(bytes.substr(6, at - 6));
  at = (at + 2 + 3) / 4 * 4;
  if (at > bytes.size()) return false;
  std::size_t valueBytes = text ? valueLength * 2 : valueLength;
  // Some resource compilers count a text's bytes rather than its characters.
  if (text && bytes.size() - at < valueBytes) valueBytes = bytes.size() - at;
  if (bytes.size() - at < valueBytes) return false;
  node.value = bytes.substr(at, valueBytes);
  at = (at + valueBytes + 3) / 4 * 4;
  while (at < bytes.size()) {
    Node child;
    if (!parseNode(bytes.substr(at), child, depth + 1)) return false;
    at = (at + le16At(bytes, at) + 3) / 4 * 4;
    node.children.push_back(std::move(child));
  }
  return true;
}

}  // namespace

bool parseVersionResource(std::string_view bytes, VersionNumber& fileVersion, VersionNumber& productVersion,
                          std::vector<std::pair<std::string, std::string>>& strings) {
  Node root;
  if (!parseNode(bytes, root, 0) || root.key != "VS_VERSION_INFO" || root.value.size() < 52 ||
      le32At(root.value, 0) != 0xFEEF04BD)
    return false;
  auto split = [&](std::size_t at, VersionNumber& v) {
    std::uint32_t ms = le32At(root.value, at), ls = le32At(root.value, at + 4);
    v = {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms), static_cast<std::uint16_t>(ls >> 16),
         static_cast<std::uint16_t>(ls)};
  };
  split(8, fileVersion);
  split(16, productVersion);
  strings.clear();
  for (const Node& info : root.children) {
    if (info.key != "StringFileInfo") continue;
    for (const Node& table : info.children)
      for (const Node& s : table.children) {
        std::string_view v = s.value;
        while (v.size() >= 2 && v[v.size() - 1] == 0 && v[v.size() - 2] == 0) v.remove_suffix(2);
        strings.emplace_back(s.key, utf8(v));
      }
  }
  return true;
}

void loadBranding(const toml::table& table, const fs::path& base, Branding& branding,
                  std::vector<std::string>& errors) {
  const std::string p = "branding.";
  std::map<std::string, const toml::node*> strings;
  for (auto&& [key, node] : table) {
    std::string name(key.str());
    bool known = name == "icon" || name == "dpi_awareness" || name == "execution_level" ||
                 std::any_of(std::begin(VERSION_KEYS), std::end(VERSION_KEYS),
                             [&](const VersionKey& k) { return name == k.key; });
    if (!known) {
      errors.push_back("unknown key \"" + p + name + "\"" + where(node));
      continue;
    }
    if (!node.is_string()) {
      errors.push_back(p + name + ": expected a string" + where(node));
      continue;
    }
    strings[name] = &node;
  }
  auto text = [&](const char* key) -> std::optional<std::string> {
    auto it = strings.find(key);
    if (it == strings.end()) return std::nullopt;
    return it->second->as_string()->get();
  };
  auto fail = [&](const char* key, const std::string& why) {
    errors.push_back(p + key + ": " + why + where(*strings.at(key)));
  };

  if (auto icon = text("icon")) {
    fs::path file = base / fs::u8path(*icon);
    std::error_code ec;
    std::uintmax_t size = fs::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in || fs::is_directory(file, ec)) {
      fail("icon", "\"" + file.string() + "\" cannot be read");
    } else if (size > MAX_ICON_FILE) {
      fail("icon", "\"" + file.string() + "\" is larger than 4 MB");
    } else {
      std::stringstream buffer;
      buffer << in.rdbuf();
      std::string bytes = buffer.str(), why;
      std::string extension = file.extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      bool ok = false;
      if (extension == ".ico") ok = iconFromIco(bytes, branding.icon, why);
      else if (extension == ".png") ok = iconFromPng(bytes, branding.icon, why);
      else why = "expected an .ico or a .png file";
      if (!ok) {
        branding.icon.clear();
        fail("icon", "\"" + file.string() + "\": " + why);
      }
    }
  }

  // Each version defaults to the other, numbers and texts alike: most
  // programs carry one version.
  std::map<std::string, std::string> values;
  for (const VersionKey& k : VERSION_KEYS)
    if (auto value = text(k.key)) values[k.key] = *value;
  branding.version = !values.empty();
  if (values.count("product_version") && !values.count("file_version"))
    values["file_version"] = values["product_version"];
  if (values.count("file_version") && !values.count("product_version"))
    values["product_version"] = values["file_version"];
  for (const VersionKey& k : VERSION_KEYS) {
    auto value = values.find(k.key);
    if (value == values.end()) continue;
    const std::string key = k.key;
    bool given = strings.count(key) != 0;  // otherwise a copy of the other version, checked there
    std::string why;
    if (given && (value->second.empty() || value->second.find('\0') != std::string::npos)) {
      fail(k.key, value->second.empty() ? "empty; leave the key out instead" : "contains a NUL character");
      continue;
    }
    if (given && utf16le(value->second).size() / 2 > MAX_VERSION_TEXT) {
      fail(k.key, "longer than " + std::to_string(MAX_VERSION_TEXT) + " UTF-16 code units");
      continue;
    }
    if (key == "file_version" || key == "product_version") {
      VersionNumber& number = key == "file_version" ? branding.fileVersion : branding.productVersion;
      if (!parseVersionNumber(value->second, number, why)) {
        if (given)
          fail(k.key, "\"" + value->second + "\" is not a version of up to four numbers such as \"1.2.3.4\": " + why);
        continue;
      }
    }
    branding.versionStrings.emplace_back(k.name, value->second);
  }

  if (auto dpi = text("dpi_awareness")) {
    branding.manifest = true;
    if (!dpiSetting(*dpi))
      fail("dpi_awareness", "\"" + *dpi + "\" is none of \"unaware\", \"system\", \"per-monitor\", \"per-monitor-v2\"");
    else
      branding.dpiAwareness = *dpi;
  }
  if (auto level = text("execution_level")) {
    branding.manifest = true;
    if (!knownLevel(*level))
      fail("execution_level",
           "\"" + *level + "\" is none of \"asInvoker\", \"highestAvailable\", \"requireAdministrator\"");
    else
      branding.executionLevel = *level;
  }
}

bool applyBranding(std::string& image, const Branding& branding, std::string& why) {
  ResourceImage located;
  ResourceTree tree;
  if (!locateResources(image, located, why)) return false;
  if (!parseResourceSection(located.section, located.sectionRva, tree, why)) {
    why = "its resources cannot be read: " + why;
    return false;
  }
  if (!branding.icon.empty()) {
    ResourceNames& groups = tree[ResourceId::of(RT_GROUP_ICON_ID)];
    auto group = groups.find(ResourceId::named(MAIN_ICON_NAME));
    if (group == groups.end() || group->second.empty()) {
      why = "it has no icon group MAINICO, which its dialogs show";
      return false;
    }
    // The old group's images go with it; other icons stay.
    ResourceNames& icons = tree[ResourceId::of(RT_ICON_ID)];
    for (const auto& [lang, data] : group->second) {
      std::string_view g = data.bytes;
      std::size_t count = g.size() >= ICON_DIR_SIZE ? le16At(g, 4) : 0;
      for (std::size_t i = 0; i < count && ICON_DIR_SIZE + (i + 1) * GROUP_ENTRY_SIZE <= g.size(); ++i)
        icons.erase(ResourceId::of(le16At(g, ICON_DIR_SIZE + i * GROUP_ENTRY_SIZE + 12)));
    }
    std::uint16_t lang = group->second.begin()->first;
    std::string dir;
    put16(dir, 0);
    put16(dir, 1);
    put16(dir, static_cast<std::uint32_t>(branding.icon.size()));
    std::uint16_t id = 1;
    for (const IconImage& image : branding.icon) {
      while (icons.count(ResourceId::of(id))) ++id;
      icons[ResourceId::of(id)][lang] = {image.bytes, 0};
      dir.push_back(static_cast<char>(image.width & 0xFF));  // 256 is written as 0
      dir.push_back(static_cast<char>(image.height & 0xFF));
      dir.push_back(static_cast<char>(image.colourCount));
      dir.push_back('\0');
      put16(dir, image.planes);
      put16(dir, image.bitCount);
      put32(dir, static_cast<std::uint32_t>(image.bytes.size()));
      put16(dir, id);
    }
    group->second.clear();
    group->second[lang] = {dir, 0};
  }
  if (branding.version) {
    ResourceNames& versions = tree[ResourceId::of(RT_VERSION_ID)];
    versions.clear();
    versions[ResourceId::of(1)][0x0409] = {versionResource(branding), 0};
  }
  if (branding.manifest) {
    std::string text;
    if (!manifestText(branding, located.machine, text, why)) return false;
    ResourceLanguages& manifest = tree[ResourceId::of(RT_MANIFEST_ID)][ResourceId::of(1)];
    std::uint16_t lang = manifest.empty() ? 0 : manifest.begin()->first;
    manifest.clear();
    manifest[lang] = {text, 0};
  }
  return replaceResourceSection(image, writeResourceSection(tree, located.sectionRva), why);
}

bool brandedStubImage(const fs::path& stub, std::uint64_t imageEnd, const Branding& branding, std::string& image,
                      std::string& error) {
  std::ifstream in(stub, std::ios::binary);
  image.assign(imageEnd < MAX_STUB_IMAGE ? static_cast<std::size_t>(imageEnd) : 0, '\0');
  if (image.empty() || !in.read(&image[0], static_cast<std::streamsize>(image.size()))) {
    error = "cannot read the stub \"" + stub.string() + "\"";
    return false;
  }
  std::string why;
  if (!applyBranding(image, branding, why)) {
    error = "the stub \"" + stub.string() + "\" cannot be branded: " + why;
    return false;
  }
  return true;
}

namespace {

// The text between <element ...> and </element>, or an attribute's value.
std::string elementText(const std::string& xml, const std::string& element) {
  std::size_t open = xml.find("<" + element);
  if (open == std::string::npos) return "";
  std::size_t start = xml.find('>', open);
  std::size_t end = xml.find("</" + element, open);
  if (start == std::string::npos || end == std::string::npos || end < start) return "";
  return xml.substr(start + 1, end - start - 1);
}

std::string attribute(const std::string& xml, const std::string& element, const std::string& name) {
  std::size_t open = xml.find("<" + element);
  if (open == std::string::npos) return "";
  std::size_t close = xml.find('>', open);
  std::size_t at = xml.find(name + "=\"", open);
  if (at == std::string::npos || at > close) return "";
  at += name.size() + 2;
  std::size_t end = xml.find('"', at);
  return end == std::string::npos ? "" : xml.substr(at, end - at);
}

std::string dotted(const VersionNumber& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

}  // namespace

bool readBranding(std::string_view image, BrandingSummary& summary, std::string& why) {
  ResourceImage located;
  ResourceTree tree;
  if (!findResources(image, located, why) || !parseResourceSection(located.section, located.sectionRva, tree, why))
    return false;
  auto type = [&](std::uint16_t id) -> const ResourceNames* {
    auto it = tree.find(ResourceId::of(id));
    return it == tree.end() ? nullptr : &it->second;
  };
  const ResourceNames* groups = type(RT_GROUP_ICON_ID);
  const ResourceNames* icons = type(RT_ICON_ID);
  if (groups && groups->count(ResourceId::named(MAIN_ICON_NAME))) {
    const ResourceLanguages& langs = groups->at(ResourceId::named(MAIN_ICON_NAME));
    std::string_view g = langs.empty() ? std::string_view() : std::string_view(langs.begin()->second.bytes);
    std::size_t count = g.size() >= ICON_DIR_SIZE ? le16At(g, 4) : 0;
    for (std::size_t i = 0; i < count && ICON_DIR_SIZE + (i + 1) * GROUP_ENTRY_SIZE <= g.size(); ++i) {
      std::size_t e = ICON_DIR_SIZE + i * GROUP_ENTRY_SIZE;
      unsigned w = static_cast<unsigned char>(g[e]), h = static_cast<unsigned char>(g[e + 1]);
      std::string shown = std::to_string(w ? w : 256) + "x" + std::to_string(h ? h : 256);
      bool png = false;
      if (icons) {
        auto image = icons->find(ResourceId::of(le16At(g, e + 12)));
        png = image != icons->end() && !image->second.empty() && isPng(image->second.begin()->second.bytes);
      }
      shown += png ? " PNG" : " " + std::to_string(le16At(g, e + 6)) + "-bit";
      summary.iconImages.push_back(shown);
    }
  }
  if (const ResourceNames* versions = type(RT_VERSION_ID)) {
    VersionNumber file{}, product{};
    for (const auto& [name, langs] : *versions)
      if (!langs.empty() && parseVersionResource(langs.begin()->second.bytes, file, product, summary.versionStrings)) {
        summary.fileVersion = dotted(file);
        summary.productVersion = dotted(product);
        break;
      }
  }
  if (const ResourceNames* manifests = type(RT_MANIFEST_ID)) {
    auto it = manifests->find(ResourceId::of(1));
    if (it != manifests->end() && !it->second.empty()) {
      const std::string& xml = it->second.begin()->second.bytes;
      summary.dpiAware = elementText(xml, "dpiAware");
      summary.dpiAwareness = elementText(xml, "dpiAwareness");
      summary.executionLevel = attribute(xml, "requestedExecutionLevel", "level");
    }
  }
  return true;
}

bool readInstallerBranding(const fs::path& installer, std::uint64_t imageEnd, BrandingSummary& summary,
                           std::string& why) {
  std::ifstream in(installer, std::ios::binary);
  std::string image(imageEnd < MAX_STUB_IMAGE ? static_cast<std::size_t>(imageEnd) : 0, '\0');
  if (image.empty() || !in.read(&image[0], static_cast<std::streamsize>(image.size()))) {
    why = "its image cannot be read";
    return false;
  }
  return readBranding(image, summary, why);
}

}  // namespace plimo::pack
