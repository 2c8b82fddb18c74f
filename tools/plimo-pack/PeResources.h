#pragma once
// The resource section of a PE image: its directory tree read into a map and
// written back, and the image's headers updated for a section of a new size.
// Portable: bytes in, bytes out.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace plimo::pack {

// Resource types used here.
constexpr std::uint16_t RT_ICON_ID = 3;
constexpr std::uint16_t RT_DIALOG_ID = 5;
constexpr std::uint16_t RT_GROUP_ICON_ID = 14;
constexpr std::uint16_t RT_VERSION_ID = 16;
constexpr std::uint16_t RT_MANIFEST_ID = 24;

// A type or name: a number, or a string (stored as the resource compiler
// stores it; Windows upper-cases a name before it looks it up).
struct ResourceId {
  bool isName = false;
  std::uint16_t number = 0;
  std::u16string name;

  static ResourceId of(std::uint16_t n) { return {false, n, {}}; }
  static ResourceId named(std::u16string text) { return {true, 0, std::move(text)}; }
  // Directory order: names before numbers, names by code unit, numbers by value.
  bool operator<(const ResourceId& other) const;
  bool operator==(const ResourceId& other) const;
};

struct ResourceData {
  std::string bytes;
  std::uint32_t codePage = 0;
  bool operator==(const ResourceData& other) const { return bytes == other.bytes && codePage == other.codePage; }
};

// type -> name -> language -> data: the three levels Windows resolves.
using ResourceLanguages = std::map<std::uint16_t, ResourceData>;
using ResourceNames = std::map<ResourceId, ResourceLanguages>;
using ResourceTree = std::map<ResourceId, ResourceNames>;

// Reads the directory tree at the start of section, whose first byte is at
// sectionRva in the image. Every offset, count and data range is held against
// the section; data must lie inside it. False with why otherwise.
bool parseResourceSection(std::string_view section, std::uint32_t sectionRva, ResourceTree& tree, std::string& why);

// The section for tree, placed at sectionRva: directories (named entries
// before numbered ones, each group sorted), then the data entries, the names
// and the data, each item 8-byte aligned.
std::string writeResourceSection(const ResourceTree& tree, std::uint32_t sectionRva);

// A PE image (the file up to the end of its last section) whose resource
// section can be rewritten: the section the resource directory points at
// starts there, is the last section in the file and in memory, and its data
// ends the image.
struct ResourceImage {
  std::uint16_t machine = 0;
  std::uint32_t sectionRva = 0;
  std::string_view section;  // the resource bytes (virtual size, within the raw data)
};

// Checks that image is laid out so (why names what is not) and finds the
// resource section.
bool locateResources(std::string_view image, ResourceImage& located, std::string& why);
// Finds the resource section wherever it lies, for reading only.
bool findResources(std::string_view image, ResourceImage& located, std::string& why);

// Replaces the resource section of image with section (from
// writeResourceSection at the same RVA) and updates the headers that depend
// on its size: the section's virtual and raw size, the resource directory
// entry, SizeOfImage and SizeOfInitializedData. The checksum is zeroed (the
// installer's bytes follow anyway) and the certificate entry cleared (a
// signature of the stub would no longer match). The image ends with the new
// section, padded to the file alignment.
bool replaceResourceSection(std::string& image, const std::string& section, std::string& why);

// Clears what a signature of the stub leaves in its headers: the checksum and
// the certificate table entry (data directory 4). A stub copied as it is would
// otherwise point a verifier, or a signing tool that cuts the file at that
// offset, into the installer's block. headers holds the image from its start
// at least to the end of its optional header; fields the headers do not have
// (no optional header, fewer than five data directories) are left alone.
void clearSignatureFields(std::string& headers);

}  // namespace plimo::pack
