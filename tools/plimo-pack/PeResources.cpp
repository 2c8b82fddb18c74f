#include "tools/plimo-pack/PeResources.h"

#include <vector>

#include "block/BlockFormat.h"

namespace plimo::pack {

bool ResourceId::operator<(const ResourceId& other) const {
  if (isName != other.isName) return isName;
  return isName ? name < other.name : number < other.number;
}

bool ResourceId::operator==(const ResourceId& other) const {
  return isName == other.isName && (isName ? name == other.name : number == other.number);
}

namespace {

void set16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void set32(std::string& b, std::size_t at, std::uint32_t v) {
  set16(b, at, v & 0xFFFF);
  set16(b, at + 2, v >> 16);
}

constexpr std::uint32_t HIGH_BIT = 0x80000000u;
constexpr std::size_t DIRECTORY_SIZE = 16;
constexpr std::size_t ENTRY_SIZE = 8;
constexpr std::size_t DATA_ENTRY_SIZE = 16;
// A crafted tree can point many entries at one subdirectory; a real one has
// a few dozen entries.
constexpr std::size_t MAX_ENTRIES = 65536;

class Parser {
 public:
  Parser(std::string_view section, std::uint32_t rva) : s_(section), rva_(rva) {}

  bool directory(std::size_t offset, int level, ResourceTree& tree, ResourceNames* names, ResourceLanguages* langs) {
    if (offset > s_.size() || s_.size() - offset < DIRECTORY_SIZE) return fail("a directory lies outside the section");
    std::size_t count = std::size_t{le16At(s_, offset + 12)} + le16At(s_, offset + 14);
    if ((s_.size() - offset - DIRECTORY_SIZE) / ENTRY_SIZE < count)
      return fail("a directory's entries run past the section");
    for (std::size_t i = 0; i < count; ++i) {
      if (++visited_ > MAX_ENTRIES) return fail("more than 65536 directory entries");
      std::size_t entry = offset + DIRECTORY_SIZE + i * ENTRY_SIZE;
      std::uint32_t nameField = le32At(s_, entry);
      std::uint32_t dataField = le32At(s_, entry + 4);
      ResourceId id;
      if (!idOf(nameField, id)) return false;
      bool isDirectory = (dataField & HIGH_BIT) != 0;
      std::size_t target = dataField & ~HIGH_BIT;
      if (level < 2) {
        if (!isDirectory) return fail("a type or name entry points at data instead of a directory");
        if (level == 0) {
          if (tree.count(id)) return fail("a resource type is listed twice");
          if (!directory(target, 1, tree, &tree[id], nullptr)) return false;
        } else {
          if (names->count(id)) return fail("a resource name is listed twice in one type");
          if (!directory(target, 2, tree, nullptr, &(*names)[id])) return false;
        }
      } else {
        if (isDirectory) return fail("a language entry points at a directory instead of data");
        if (id.isName) return fail("a language is given as a name");
        if (langs->count(id.number)) return fail("a language is listed twice for one resource");
        if (!data(target, (*langs)[id.number])) return false;
      }
    }
    return true;
  }

  std::string why;

 private:
  bool fail(const char* text) {
    why = text;
    return false;
  }

  bool idOf(std::uint32_t field, ResourceId& id) {
    if (!(field & HIGH_BIT)) {
      if (field > 0xFFFF) return fail("a numeric id is larger than 65535");
      id = ResourceId::of(static_cast<std::uint16_t>(field));
      return true;
    }
    std::size_t at = field & ~HIGH_BIT;
    if (at > s_.size() || s_.size() - at < 2) return fail("a name lies outside the section");
    std::size_t length = le16At(s_, at);
    if ((s_.size() - at - 2) / 2 < length) return fail("a name runs past the section");
    std::u16string text;
    for (std::size_t k = 0; k < length; ++k) text.push_back(static_cast<char16_t>(le16At(s_, at + 2 + 2 * k)));
    id = ResourceId::named(std::move(text));
    return true;
  }

  bool data(std::size_t offset, ResourceData& out) {
    if (offset > s_.size() || s_.size() - offset < DATA_ENTRY_SIZE)
      return fail("a data entry lies outside the section");
    std::uint32_t rva = le32At(s_, offset);
    std::uint32_t size = le32At(s_, offset + 4);
    if (rva < rva_ || rva - rva_ > s_.size() || s_.size() - (rva - rva_) < size)
      return fail("resource data lies outside the resource section");
    out.bytes.assign(s_.data() + (rva - rva_), size);
    out.codePage = le32At(s_, offset + 8);
    return true;
  }

  std::string_view s_;
  std::uint32_t rva_;
  std::size_t visited_ = 0;
};

std::size_t align(std::size_t value, std::size_t to) { return (value + to - 1) / to * to; }

void appendDirectoryHeader(std::string& out, std::size_t named, std::size_t numbered) {
  std::size_t at = out.size();
  out.append(DIRECTORY_SIZE, '\0');
  set16(out, at + 12, static_cast<std::uint32_t>(named));
  set16(out, at + 14, static_cast<std::uint32_t>(numbered));
}

template <typename Map>
std::size_t namedCount(const Map& map) {
  std::size_t n = 0;
  for (const auto& item : map) n += item.first.isName ? 1 : 0;
  return n;
}

}  // namespace

bool parseResourceSection(std::string_view section, std::uint32_t sectionRva, ResourceTree& tree, std::string& why) {
  tree.clear();
  Parser parser(section, sectionRva);
  if (!parser.directory(0, 0, tree, nullptr, nullptr)) {
    why = parser.why;
    return false;
  }
  return true;
}

std::string writeResourceSection(const ResourceTree& tree, std::uint32_t sectionRva) {
  // Sizes first, so that every offset is known when an entry is written.
  std::size_t rootSize = DIRECTORY_SIZE + ENTRY_SIZE * tree.size();
  std::size_t typeLevelSize = 0, langLevelSize = 0, leaves = 0;
  for (const auto& [type, names] : tree) {
    typeLevelSize += DIRECTORY_SIZE + ENTRY_SIZE * names.size();
    for (const auto& [name, langs] : names) {
      langLevelSize += DIRECTORY_SIZE + ENTRY_SIZE * langs.size();
      leaves += langs.size();
    }
  }
  std::size_t dataEntriesStart = rootSize + typeLevelSize + langLevelSize;
  std::size_t stringsStart = dataEntriesStart + DATA_ENTRY_SIZE * leaves;

  // Names: each stored once, as a length and its UTF-16 code units.
  std::string strings;
  std::map<std::u16string, std::size_t> stringAt;
  auto nameField = [&](const ResourceId& id) -> std::uint32_t {
    if (!id.isName) return id.number;
    auto [it, inserted] = stringAt.emplace(id.name, stringsStart + strings.size());
    if (inserted) {
      std::size_t at = strings.size();
      strings.append(2 + 2 * id.name.size(), '\0');
      set16(strings, at, static_cast<std::uint32_t>(id.name.size()));
      for (std::size_t k = 0; k < id.name.size(); ++k) set16(strings, at + 2 + 2 * k, id.name[k]);
    }
    return static_cast<std::uint32_t>(it->second) | HIGH_BIT;
  };

  // The root, then one directory per type (its names), then one per name
  // (its languages); the data entries get their RVAs once the data is placed.
  std::string dirs, typeLevel, langLevel;
  std::vector<std::pair<std::size_t, const ResourceData*>> dataEntries;
  appendDirectoryHeader(dirs, namedCount(tree), tree.size() - namedCount(tree));
  std::size_t nextTypeDir = rootSize;
  std::size_t nextLangDir = rootSize + typeLevelSize;
  std::size_t nextDataEntry = dataEntriesStart;
  for (const auto& [type, names] : tree) {
    std::size_t entry = dirs.size();
    dirs.append(ENTRY_SIZE, '\0');
    set32(dirs, entry, nameField(type));
    set32(dirs, entry + 4, static_cast<std::uint32_t>(nextTypeDir) | HIGH_BIT);
    appendDirectoryHeader(typeLevel, namedCount(names), names.size() - namedCount(names));
    nextTypeDir += DIRECTORY_SIZE + ENTRY_SIZE * names.size();
    for (const auto& [name, langs] : names) {
      std::size_t nameEntry = typeLevel.size();
      typeLevel.append(ENTRY_SIZE, '\0');
      set32(typeLevel, nameEntry, nameField(name));
      set32(typeLevel, nameEntry + 4, static_cast<std::uint32_t>(nextLangDir) | HIGH_BIT);
      appendDirectoryHeader(langLevel, 0, langs.size());
      nextLangDir += DIRECTORY_SIZE + ENTRY_SIZE * langs.size();
      for (const auto& [lang, item] : langs) {
        std::size_t langEntry = langLevel.size();
        langLevel.append(ENTRY_SIZE, '\0');
        set32(langLevel, langEntry, lang);
        set32(langLevel, langEntry + 4, static_cast<std::uint32_t>(nextDataEntry));
        dataEntries.emplace_back(nextDataEntry, &item);
        nextDataEntry += DATA_ENTRY_SIZE;
      }
    }
  }
  std::string out = dirs + typeLevel + langLevel;
  out.append(DATA_ENTRY_SIZE * leaves, '\0');
  out += strings;
  for (const auto& [entryAt, item] : dataEntries) {
    out.append(align(out.size(), 8) - out.size(), '\0');
    set32(out, entryAt, static_cast<std::uint32_t>(sectionRva + out.size()));
    set32(out, entryAt + 4, static_cast<std::uint32_t>(item->bytes.size()));
    set32(out, entryAt + 8, item->codePage);
    out += item->bytes;
  }
  return out;
}

namespace {

struct Layout {
  std::size_t optionalHeader = 0;
  bool pe32Plus = false;
  std::size_t directories = 0;  // file offset of the data directory array
  std::uint32_t directoryCount = 0;
  std::size_t sectionTable = 0;
  std::size_t sectionCount = 0;
  std::size_t resourceHeader = 0;  // file offset of the resource section's header
  std::uint32_t fileAlignment = 0;
  std::uint32_t sectionAlignment = 0;
  std::uint16_t machine = 0;
};

// strict: the resource section must also be the last one and end the image,
// as a rewrite needs; otherwise any section holding the directory will do.
bool readLayout(std::string_view image, bool strict, Layout& l, ResourceImage& located, std::string& why) {
  auto fail = [&](const char* text) {
    why = text;
    return false;
  };
  if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') return fail("it is not a Windows executable");
  std::size_t pe = le32At(image, 0x3C);
  if (pe > image.size() || image.size() - pe < 24 || image.substr(pe, 4) != std::string_view("PE\0\0", 4))
    return fail("it is not a Windows executable (no PE header)");
  l.machine = le16At(image, pe + 4);
  l.sectionCount = le16At(image, pe + 6);
  std::size_t optionalSize = le16At(image, pe + 20);
  l.optionalHeader = pe + 24;
  if (image.size() - l.optionalHeader < optionalSize || optionalSize < 2)
    return fail("its optional header is cut short");
  std::uint16_t magic = le16At(image, l.optionalHeader);
  if (magic != 0x10B && magic != 0x20B) return fail("its optional header is neither PE32 nor PE32+");
  l.pe32Plus = magic == 0x20B;
  std::size_t countAt = l.pe32Plus ? 108 : 92;
  if (optionalSize < countAt + 4) return fail("its optional header has no data directories");
  l.directoryCount = le32At(image, l.optionalHeader + countAt);
  l.directories = l.optionalHeader + countAt + 4;
  if (l.directoryCount < 3 || (optionalSize - countAt - 4) / 8 < 3) return fail("it has no resource directory entry");
  if (l.directoryCount > (optionalSize - countAt - 4) / 8)
    l.directoryCount = static_cast<std::uint32_t>((optionalSize - countAt - 4) / 8);
  l.sectionAlignment = le32At(image, l.optionalHeader + 32);
  l.fileAlignment = le32At(image, l.optionalHeader + 36);
  if (l.fileAlignment < 512 || l.fileAlignment > 65536 || (l.fileAlignment & (l.fileAlignment - 1)) ||
      l.sectionAlignment < l.fileAlignment || (l.sectionAlignment & (l.sectionAlignment - 1)))
    return fail("its file or section alignment is not a power of two from 512 on");
  l.sectionTable = l.optionalHeader + optionalSize;
  if (l.sectionCount == 0 || (image.size() - l.sectionTable) / 40 < l.sectionCount)
    return fail("its section table is cut short");

  std::uint32_t rva = le32At(image, l.directories + 2 * 8);
  std::uint32_t size = le32At(image, l.directories + 2 * 8 + 4);
  if (rva == 0 || size == 0) return fail("it has no resources");
  std::size_t last = l.sectionTable + (l.sectionCount - 1) * 40;
  std::uint32_t lastVa = le32At(image, last + 12);
  std::uint64_t lastRawEnd = std::uint64_t{le32At(image, last + 20)} + le32At(image, last + 16);
  for (std::size_t i = 0; i + 1 < l.sectionCount; ++i) {
    std::size_t h = l.sectionTable + i * 40;
    if (le32At(image, h + 12) == rva) {
      if (!strict) {
        last = h;
        break;
      }
      return fail("its resource section is not its last section (link the stub with .rsrc last, as the build does)");
    }
    std::uint32_t rawSize = le32At(image, h + 16);
    if (strict &&
        (le32At(image, h + 12) >= lastVa || (rawSize && std::uint64_t{le32At(image, h + 20)} + rawSize > lastRawEnd)))
      return fail("its last section header does not describe its last section");
  }
  if (le32At(image, last + 12) != rva) return fail("its resource directory does not start a section");
  if (strict && lastRawEnd != image.size()) return fail("its last section does not end the image");
  std::uint32_t virtualSize = le32At(image, last + 8);
  std::uint32_t rawSize = le32At(image, last + 16);
  std::size_t available = virtualSize && virtualSize < rawSize ? virtualSize : rawSize;
  std::uint32_t rawOffset = le32At(image, last + 20);
  if (rawOffset > image.size() || image.size() - rawOffset < available)
    return fail("its resource section is cut short");
  if (size > available) return fail("its resource directory is larger than its resource section");
  l.resourceHeader = last;
  located.machine = l.machine;
  located.sectionRva = rva;
  located.section = image.substr(rawOffset, available);
  return true;
}

}  // namespace

bool locateResources(std::string_view image, ResourceImage& located, std::string& why) {
  Layout layout;
  return readLayout(image, true, layout, located, why);
}

bool findResources(std::string_view image, ResourceImage& located, std::string& why) {
  Layout layout;
  return readLayout(image, false, layout, located, why);
}

bool replaceResourceSection(std::string& image, const std::string& section, std::string& why) {
  Layout l;
  ResourceImage located;
  if (!readLayout(image, true, l, located, why)) return false;
  std::size_t h = l.resourceHeader;
  std::uint32_t oldRaw = le32At(image, h + 16);
  std::uint32_t rawOffset = le32At(image, h + 20);
  std::uint64_t newRaw = align(section.size(), l.fileAlignment);
  std::uint64_t imageSize = align(std::uint64_t{located.sectionRva} + section.size(), l.sectionAlignment);
  if (imageSize > 0xFFFFFFFFu || newRaw > 0xFFFFFFFFu) {
    why = "the resources would make the image larger than 4 GB";
    return false;
  }
  image.resize(rawOffset);
  image += section;
  image.append(static_cast<std::size_t>(newRaw - section.size()), '\0');
  set32(image, h + 8, static_cast<std::uint32_t>(section.size()));
  set32(image, h + 16, static_cast<std::uint32_t>(newRaw));
  set32(image, l.directories + 2 * 8 + 4, static_cast<std::uint32_t>(section.size()));
  set32(image, l.optionalHeader + 56, static_cast<std::uint32_t>(imageSize));
  std::uint64_t initialized = le32At(image, l.optionalHeader + 8);
  initialized = initialized > oldRaw ? initialized - oldRaw + newRaw : newRaw;
  set32(image, l.optionalHeader + 8, static_cast<std::uint32_t>(initialized > 0xFFFFFFFFu ? 0xFFFFFFFFu : initialized));
  clearSignatureFields(image);
  return true;
}

void clearSignatureFields(std::string& headers) {
  if (headers.size() < 64 || headers[0] != 'M' || headers[1] != 'Z') return;
  std::size_t pe = le32At(headers, 0x3C);
  if (pe > headers.size() || headers.size() - pe < 24 || headers.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return;
  std::size_t optionalSize = le16At(headers, pe + 20);
  std::size_t optional = pe + 24;
  if (optionalSize < 2 || headers.size() - optional < optionalSize) return;
  std::uint16_t magic = le16At(headers, optional);
  if (magic != 0x10B && magic != 0x20B) return;
  // The checksum sits at the same offset in both forms; the directories
  // follow the fields whose width differs.
  if (optionalSize >= 68) set32(headers, optional + 64, 0);
  std::size_t countAt = magic == 0x20B ? 108 : 92;
  if (optionalSize < countAt + 4) return;
  std::size_t room = (optionalSize - countAt - 4) / 8;
  if (le32At(headers, optional + countAt) <= 4 || room <= 4) return;
  std::size_t certificate = optional + countAt + 4 + 4 * 8;
  set32(headers, certificate, 0);
  set32(headers, certificate + 4, 0);
}

}  // namespace plimo::pack
