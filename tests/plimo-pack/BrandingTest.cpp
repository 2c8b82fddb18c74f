// Branding: the resource section written and read back, a stub image
// rebranded in place (the other resources kept, the headers consistent, the
// block still found after it), and the [branding] checks. The PE images are
// generated here; the real stubs are rebranded by branding-test.sh.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <zlib.h>

#include "block/ByteSource.h"
#include "block/ConfigBlock.h"
#include "tools/plimo-pack/Branding.h"
#include "tools/plimo-pack/PeResources.h"
#include "tools/plimo-pack/Project.h"

namespace plimo::pack {

// Readable failures of tree comparisons.
void PrintTo(const ResourceId& id, std::ostream* out) {
  if (id.isName)
    *out << '"' << std::string(id.name.begin(), id.name.end()) << '"';
  else
    *out << id.number;
}
void PrintTo(const ResourceData& data, std::ostream* out) {
  *out << data.bytes.size() << " bytes, code page " << data.codePage;
}

namespace {

namespace fs = std::filesystem;

std::uint32_t get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

void set32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void set16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

// The start of a PNG file: signature and IHDR with its CRC; the rest is
// filler (plimo-pack copies the image, it does not decode it).
std::string pngOf(std::uint32_t width, std::uint32_t height, std::size_t size = 64) {
  std::string png("\x89PNG\r\n\x1A\n", 8);
  auto big32 = [&](std::uint32_t v) {
    for (int i = 3; i >= 0; --i) png.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  big32(13);
  std::size_t type = png.size();
  png += "IHDR";
  big32(width);
  big32(height);
  png += std::string("\x08\x06\x00\x00\x00", 5);
  big32(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(png.data() + type), 17)));
  png.resize(size > png.size() ? size : png.size(), 'p');
  return png;
}

// An icon group resource naming the given icon ids (all 32x32).
std::string groupOf(std::initializer_list<std::uint16_t> ids) {
  std::string g(6 + 14 * ids.size(), '\0');
  set16(g, 2, 1);
  set16(g, 4, static_cast<std::uint32_t>(ids.size()));
  std::size_t at = 6;
  for (std::uint16_t id : ids) {
    g[at] = g[at + 1] = 32;
    set16(g, at + 4, 1);
    set16(g, at + 6, 32);
    set32(g, at + 8, 100);
    set16(g, at + 12, id);
    at += 14;
  }
  return g;
}

// What the stub's resources look like, plus an icon group of another name.
ResourceTree stubResources() {
  ResourceTree tree;
  tree[ResourceId::of(RT_ICON_ID)][ResourceId::of(1)][0] = {"old icon one", 0};
  tree[ResourceId::of(RT_ICON_ID)][ResourceId::of(2)][0] = {"old icon two", 0};
  tree[ResourceId::of(RT_ICON_ID)][ResourceId::of(3)][0] = {"other icon", 0};
  tree[ResourceId::of(RT_GROUP_ICON_ID)][ResourceId::named(u"MAINICO")][0] = {groupOf({1, 2}), 0};
  tree[ResourceId::of(RT_GROUP_ICON_ID)][ResourceId::named(u"OTHER")][0] = {groupOf({3}), 0};
  tree[ResourceId::of(RT_DIALOG_ID)][ResourceId::of(103)][0] = {std::string(290, 'd'), 0};
  tree[ResourceId::of(RT_DIALOG_ID)][ResourceId::of(104)][0] = {std::string(250, 'e'), 0};
  tree[ResourceId::of(RT_MANIFEST_ID)][ResourceId::of(1)][0] = {"<assembly>old</assembly>", 0};
  return tree;
}

constexpr std::uint32_t RSRC_RVA = 0x2000;

// A PE32 image laid out as the stub is linked: .text, then .rsrc last (or,
// with sectionAfter, a .reloc behind it as the default linker script has it).
std::string peImage(const ResourceTree& tree, bool sectionAfter = false) {
  std::string rsrc = writeResourceSection(tree, RSRC_RVA);
  std::uint32_t rsrcRaw = static_cast<std::uint32_t>((rsrc.size() + 0x1FF) / 0x200 * 0x200);
  std::string image(0x400, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  set32(image, 0x3C, 0x40);
  image.replace(0x40, 4, std::string("PE\0\0", 4));
  set16(image, 0x44, 0x14C);
  set16(image, 0x46, sectionAfter ? 3 : 2);
  set16(image, 0x54, 224);
  const std::size_t opt = 0x58;
  set16(image, opt, 0x10B);
  set32(image, opt + 8, 0x200 + rsrcRaw);  // SizeOfInitializedData
  set32(image, opt + 32, 0x1000);
  set32(image, opt + 36, 0x200);
  set32(image, opt + 56, RSRC_RVA + 0x1000 * ((rsrc.size() + 0xFFF) / 0x1000) + (sectionAfter ? 0x1000 : 0));
  set32(image, opt + 60, 0x400);
  set32(image, opt + 64, 0x1234);  // checksum
  set32(image, opt + 92, 16);
  set32(image, opt + 96 + 2 * 8, RSRC_RVA);
  set32(image, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(rsrc.size()));
  set32(image, opt + 96 + 4 * 8, 0x9000);  // a certificate the stub once had
  set32(image, opt + 96 + 4 * 8 + 4, 0x100);
  std::size_t table = opt + 224;
  auto section = [&](int index, const char* name, std::uint32_t va, std::uint32_t virtualSize, std::uint32_t raw,
                     std::uint32_t rawOffset) {
    std::size_t h = table + 40 * index;
    image.replace(h, std::strlen(name), name);
    set32(image, h + 8, virtualSize);
    set32(image, h + 12, va);
    set32(image, h + 16, raw);
    set32(image, h + 20, rawOffset);
    set32(image, h + 36, 0x40000040);
  };
  section(0, ".text", 0x1000, 0x10, 0x200, 0x400);
  image += std::string(0x200, '\xC3');
  if (sectionAfter) {
    std::uint32_t relocVa = RSRC_RVA + 0x1000 * static_cast<std::uint32_t>((rsrc.size() + 0xFFF) / 0x1000);
    section(1, ".rsrc", RSRC_RVA, static_cast<std::uint32_t>(rsrc.size()), rsrcRaw, 0x600);
    section(2, ".reloc", relocVa, 0x10, 0x200, 0x600 + rsrcRaw);
  } else {
    section(1, ".rsrc", RSRC_RVA, static_cast<std::uint32_t>(rsrc.size()), rsrcRaw, 0x600);
  }
  image += rsrc + std::string(rsrcRaw - rsrc.size(), '\0');
  if (sectionAfter) image += std::string(0x200, 'r');
  return image;
}

ResourceTree resourcesOf(const std::string& image) {
  ResourceImage located;
  ResourceTree tree;
  std::string why;
  EXPECT_TRUE(findResources(image, located, why)) << why;
  EXPECT_TRUE(parseResourceSection(located.section, located.sectionRva, tree, why)) << why;
  return tree;
}

TEST(ResourceSection, RoundTripsNamesNumbersLanguagesAndDataOfAnySize) {
  ResourceTree tree;
  tree[ResourceId::named(u"ZDATA")][ResourceId::of(1)][0] = {"z", 0};
  tree[ResourceId::named(u"ADATA")][ResourceId::named(u"X\u00C4")][0x409] = {std::string(4097, '\x01'), 1252};
  tree[ResourceId::of(10)][ResourceId::named(u"B")][0] = {"", 0};
  tree[ResourceId::of(10)][ResourceId::named(u"A")][0] = {"abc", 0};
  tree[ResourceId::of(10)][ResourceId::of(7)][0] = {"seven", 0};
  tree[ResourceId::of(3)][ResourceId::of(2)][0] = {"lang 0", 0};
  tree[ResourceId::of(3)][ResourceId::of(2)][0x407] = {"lang 0x407", 0};
  tree[ResourceId::of(3)][ResourceId::of(2)][0x409] = {std::string(1, '\0'), 0};

  std::string section = writeResourceSection(tree, 0x3000);
  ResourceTree back;
  std::string why;
  ASSERT_TRUE(parseResourceSection(section, 0x3000, back, why)) << why;
  EXPECT_EQ(back, tree);
  // Data entries hold image addresses, not offsets into the section.
  EXPECT_FALSE(parseResourceSection(section, 0x13000, back, why));
  EXPECT_EQ(why, "resource data lies outside the resource section");

  // Windows searches each level by binary search: names first, in order,
  // then numbers, ascending.
  ASSERT_EQ(get32(section, 12), 2u | 2u << 16);
  auto nameAt = [&](std::size_t entry) {
    std::uint32_t field = get32(section, 16 + 8 * entry);
    EXPECT_TRUE(field & 0x80000000u);
    std::size_t at = field & 0x7FFFFFFFu;
    std::u16string name;
    for (std::size_t k = 0; k < (static_cast<unsigned char>(section[at]) | section[at + 1] << 8); ++k)
      name.push_back(static_cast<char16_t>(static_cast<unsigned char>(section[at + 2 + 2 * k]) |
                                           static_cast<unsigned char>(section[at + 3 + 2 * k]) << 8));
    return name;
  };
  EXPECT_EQ(nameAt(0), u"ADATA");
  EXPECT_EQ(nameAt(1), u"ZDATA");
  EXPECT_EQ(get32(section, 16 + 8 * 2), 3u);
  EXPECT_EQ(get32(section, 16 + 8 * 3), 10u);
}

TEST(ResourceSection, DamagedTreesAreRefused) {
  std::string section = writeResourceSection(stubResources(), RSRC_RVA);
  ResourceTree tree;
  std::string why;
  struct Case {
    const char* expected;
    std::size_t cut;  // the section cut to this many bytes
  };
  for (const Case& c : {Case{"a directory's entries run past the section", 20},
                        Case{"a directory lies outside the section", 16 + 8 * 4},
                        Case{"resource data lies outside the resource section", section.size() - 1}}) {
    EXPECT_FALSE(parseResourceSection(std::string_view(section).substr(0, c.cut), RSRC_RVA, tree, why)) << c.expected;
    EXPECT_EQ(why, c.expected);
  }
  // A type entry that points at data instead of a directory.
  std::string flat = section;
  set32(flat, 16 + 4, get32(flat, 16 + 4) & 0x7FFFFFFFu);
  EXPECT_FALSE(parseResourceSection(flat, RSRC_RVA, tree, why));
  EXPECT_EQ(why, "a type or name entry points at data instead of a directory");
}

TEST(Branding, RebrandingReplacesTheIconGroupAndKeepsEveryOtherResource) {
  Branding branding;
  // Larger than the whole old section: the section grows in place.
  branding.icon = {IconImage{48, 48, 0, 1, 32, pngOf(48, 48, 200000)}};
  branding.version = true;
  branding.productVersion = branding.fileVersion = {1, 2, 3, 0};
  branding.versionStrings = {{"ProductName", "Acme \xC3\x9C"}, {"ProductVersion", "1.2.3"}};
  branding.manifest = true;
  branding.dpiAwareness = "per-monitor";
  branding.executionLevel = "highestAvailable";

  const ResourceTree before = stubResources();
  const std::string stub = peImage(before);
  std::string image = stub;
  std::string why;
  ASSERT_TRUE(applyBranding(image, branding, why)) << why;
  ResourceTree after = resourcesOf(image);

  ResourceTree kept = before;
  for (ResourceTree* t : {&kept, &after}) {
    (*t)[ResourceId::of(RT_GROUP_ICON_ID)].erase(ResourceId::named(u"MAINICO"));
    (*t)[ResourceId::of(RT_ICON_ID)].erase(ResourceId::of(1));
    (*t)[ResourceId::of(RT_ICON_ID)].erase(ResourceId::of(2));
    t->erase(ResourceId::of(RT_MANIFEST_ID));
  }
  ResourceTree withoutVersion = after;
  withoutVersion.erase(ResourceId::of(RT_VERSION_ID));
  EXPECT_EQ(withoutVersion, kept) << "the dialogs, the other icon group and its icon are unchanged";

  after = resourcesOf(image);
  const std::string& group = after[ResourceId::of(RT_GROUP_ICON_ID)][ResourceId::named(u"MAINICO")][0].bytes;
  ASSERT_EQ(group.size(), 6u + 14u);
  EXPECT_EQ(group[6], 48);
  std::uint16_t id = static_cast<std::uint16_t>(static_cast<unsigned char>(group[6 + 12]) | group[6 + 13] << 8);
  EXPECT_EQ(after[ResourceId::of(RT_ICON_ID)][ResourceId::of(id)][0].bytes, branding.icon[0].bytes);
  EXPECT_EQ(after[ResourceId::of(RT_ICON_ID)].size(), 2u) << "the old group's two images are gone";

  VersionNumber file{}, product{};
  std::vector<std::pair<std::string, std::string>> strings;
  ASSERT_TRUE(parseVersionResource(after[ResourceId::of(RT_VERSION_ID)][ResourceId::of(1)][0x409].bytes, file, product,
                                   strings));
  EXPECT_EQ(file, branding.fileVersion);
  EXPECT_EQ(product, branding.productVersion);
  EXPECT_EQ(strings, branding.versionStrings);

  BrandingSummary summary;
  ASSERT_TRUE(readBranding(image, summary, why)) << why;
  EXPECT_EQ(summary.iconImages, std::vector<std::string>{"48x48 PNG"});
  EXPECT_EQ(summary.dpiAware, "true/pm");
  EXPECT_EQ(summary.dpiAwareness, "PerMonitor");
  EXPECT_EQ(summary.executionLevel, "highestAvailable");
  EXPECT_EQ(summary.productVersion, "1.2.3.0");

  // The headers describe the grown section; the launcher finds its block
  // right after it.
  const std::size_t opt = 0x58, rsrcHeader = opt + 224 + 40;
  std::uint32_t virtualSize = get32(image, rsrcHeader + 8), raw = get32(image, rsrcHeader + 16);
  EXPECT_GT(virtualSize, 200000u);
  EXPECT_EQ(raw % 0x200, 0u);
  EXPECT_EQ(image.size(), 0x600u + raw);
  EXPECT_EQ(get32(image, opt + 96 + 2 * 8 + 4), virtualSize);
  EXPECT_EQ(get32(image, opt + 56), (RSRC_RVA + virtualSize + 0xFFF) / 0x1000 * 0x1000);
  EXPECT_EQ(get32(image, opt + 8), get32(stub, opt + 8) - get32(stub, rsrcHeader + 16) + raw);
  EXPECT_EQ(get32(image, opt + 64), 0u) << "checksum";
  EXPECT_EQ(get32(image, opt + 96 + 4 * 8), 0u) << "certificate entry";
  MemoryByteSource source(image);
  std::uint64_t end = 0;
  ASSERT_EQ(findEndOfImage(source, end), LoadError::None);
  EXPECT_EQ(end, image.size());
}

TEST(Branding, AStubThatCannotBeRebrandedInPlaceIsRefused) {
  Branding branding;
  branding.manifest = true;
  std::string why;
  std::string image = peImage(stubResources(), true);
  EXPECT_FALSE(applyBranding(image, branding, why));
  EXPECT_NE(why.find("not its last section"), std::string::npos) << why;

  ResourceTree noIcon = stubResources();
  noIcon.erase(ResourceId::of(RT_GROUP_ICON_ID));
  image = peImage(noIcon);
  branding.icon = {IconImage{16, 16, 0, 1, 32, pngOf(16, 16)}};
  EXPECT_FALSE(applyBranding(image, branding, why));
  EXPECT_EQ(why, "it has no icon group MAINICO, which its dialogs show");
}

class BrandingKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/plimo-branding-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  void file(const char* name, const std::string& bytes) { std::ofstream(dir / name, std::ios::binary) << bytes; }
  // Loads a project whose [branding] table holds lines (from line 4 on).
  Diagnostics load(const std::string& lines, Project& project) {
    Diagnostics diagnostics;
    loadProjectText("[launch]\nmain_class = \"a.B\"\n[branding]\n" + lines, dir, project, diagnostics);
    return diagnostics;
  }
  fs::path dir;
};

// An .ico file of the given entries: width, height, bits, image bytes;
// offsetShift moves every image offset.
std::string icoOf(const std::vector<std::tuple<int, int, int, std::string>>& images, std::uint32_t offsetShift = 0) {
  std::string ico(6 + 16 * images.size(), '\0');
  set16(ico, 2, 1);
  set16(ico, 4, static_cast<std::uint32_t>(images.size()));
  std::size_t entry = 6;
  for (const auto& [w, h, bits, bytes] : images) {
    ico[entry] = static_cast<char>(w & 0xFF);
    ico[entry + 1] = static_cast<char>(h & 0xFF);
    set16(ico, entry + 4, 1);
    set16(ico, entry + 6, static_cast<std::uint32_t>(bits));
    set32(ico, entry + 8, static_cast<std::uint32_t>(bytes.size()));
    set32(ico, entry + 12, static_cast<std::uint32_t>(ico.size() + offsetShift));
    ico += bytes;
    entry += 16;
  }
  return ico;
}

std::string bitmapOf(int side) {
  std::string dib(40 + side * side * 4 + side * 4, '\0');
  set32(dib, 0, 40);
  return dib;
}

TEST_F(BrandingKeys, IconFilesAndVersionsAreReadAsWritten) {
  file("app.ico", icoOf({{16, 16, 32, bitmapOf(16)}, {256, 256, 32, pngOf(256, 256)}}));
  Project project;
  Diagnostics d = load("icon = \"app.ico\"\nproduct_version = \"2.0.65535\"\n", project);
  ASSERT_TRUE(d.errors.empty()) << d.errors[0];
  const Branding& b = project.branding;
  ASSERT_EQ(b.icon.size(), 2u);
  EXPECT_EQ(b.icon[0].width, 16);
  EXPECT_EQ(b.icon[0].bytes, bitmapOf(16));
  EXPECT_EQ(b.icon[1].width, 256) << "a width byte of 0 means 256";
  EXPECT_EQ(b.icon[1].bytes, pngOf(256, 256));
  // One version given stands for both.
  EXPECT_EQ(b.productVersion, (VersionNumber{2, 0, 65535, 0}));
  EXPECT_EQ(b.fileVersion, b.productVersion);
  EXPECT_EQ(b.versionStrings, (std::vector<std::pair<std::string, std::string>>{{"FileVersion", "2.0.65535"},
                                                                                {"ProductVersion", "2.0.65535"}}));
  EXPECT_FALSE(b.manifest) << "the stub's manifest stays unless a manifest key is given";
}

TEST_F(BrandingKeys, BadValuesAreErrorsWithTheirKeyAndLine) {
  std::string png = pngOf(32, 32);
  std::string badCrc = png;
  badCrc[20] ^= 1;
  std::string cursor = icoOf({{32, 32, 32, bitmapOf(32)}});
  cursor[2] = 2;
  std::string cut = icoOf({{32, 32, 32, bitmapOf(32)}});
  cut[4] = 3;
  cut.resize(6 + 16 * 2);
  file("notico.ico", "GIF89a not an icon");
  file("cursor.ico", cursor);
  file("none.ico", std::string("\0\0\1\0\0\0", 6));
  file("cut.ico", cut);
  file("outside.ico", icoOf({{32, 32, 32, bitmapOf(32)}}, 1));
  file("junk.ico", icoOf({{32, 32, 32, std::string(100, 'j')}}));
  file("text.png", "not a png at all, just text");
  file("big.png", pngOf(300, 20));
  file("crc.png", badCrc);
  file("icon.gif", png);
  struct Case {
    const char* line;
    const char* expected;
  };
  const Case cases[] = {
      {"icon = \"missing.ico\"", "cannot be read"},
      {"icon = \"notico.ico\"", "not an .ico file (no icon header)"},
      {"icon = \"cursor.ico\"", "a cursor file, not an icon"},
      {"icon = \"none.ico\"", "the icon file holds no image"},
      {"icon = \"cut.ico\"", "lists 3 images but ends inside its directory"},
      {"icon = \"outside.ico\"", "image 1 of the icon file lies outside the file"},
      {"icon = \"junk.ico\"", "image 1 of the icon file is neither a PNG nor a bitmap"},
      {"icon = \"text.png\"", "not a PNG image (no PNG signature)"},
      {"icon = \"big.png\"", "is 300x20 pixels; an icon image is at most 256x256"},
      {"icon = \"crc.png\"", "header is damaged (CRC mismatch)"},
      {"icon = \"icon.gif\"", "expected an .ico or a .png file"},
      {"product_version = \"1.2.3.4.5\"", "more than four numbers"},
      {"file_version = \"1.65536\"", "65536 is larger than 65535"},
      {"file_version = \"1..2\"", "an empty part"},
      {"product_version = \"v1\"", "\"v1\" is not a number up to 65535"},
      {"description = \"\"", "branding.description: empty"},
      {"dpi_awareness = \"per-monitor-v3\"", "is none of \"unaware\", \"system\", \"per-monitor\", \"per-monitor-v2\""},
      {"execution_level = \"admin\"", "is none of \"asInvoker\", \"highestAvailable\", \"requireAdministrator\""},
      {"company = 5", "branding.company: expected a string"},
      {"colour = \"red\"", "unknown key \"branding.colour\""},
  };
  for (const Case& c : cases) {
    Project project;
    Diagnostics d = load(std::string(c.line) + "\n", project);
    ASSERT_EQ(d.errors.size(), 1u) << c.line;
    EXPECT_NE(d.errors[0].find(c.expected), std::string::npos) << c.line << ": " << d.errors[0];
    EXPECT_NE(d.errors[0].find("(line 4)"), std::string::npos) << d.errors[0];
  }
}

TEST(Branding, TheManifestIsTheStubTemplateFilledIn) {
  Branding branding;
  std::string text, why;
  ASSERT_TRUE(manifestText(branding, 0x8664, text, why));
  EXPECT_EQ(text.find('@'), std::string::npos) << "a placeholder was left: " << text;
  EXPECT_NE(text.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                      "PerMonitorV2, PerMonitor</dpiAwareness>"),
            std::string::npos);
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
                      "                        processorArchitecture=\"amd64\""),
            std::string::npos);
  EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
}

}  // namespace
}  // namespace plimo::pack
