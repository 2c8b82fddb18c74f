// Fuzzes what plimo-pack reads from files it is handed: an installer's
// resource section (inspect and extract take any file), the version
// information in it, and the author's icon as ICO or PNG. Whatever the bytes,
// each reader must end with an answer; a section it accepts must survive a
// write and a second read unchanged.
//
// Input: a resource section preceded by its RVA (4 bytes, least significant
// first); the icon readers and the version reader also take the whole input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plimo-pack/Branding.h"
#include "tools/plimo-pack/PeResources.h"

using namespace plimo::pack;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  std::vector<IconImage> images;
  iconFromIco(bytes, images, why);
  images.clear();
  iconFromPng(bytes, images, why);
  VersionNumber fileVersion, productVersion;
  std::vector<std::pair<std::string, std::string>> strings;
  parseVersionResource(bytes, fileVersion, productVersion, strings);
  BrandingSummary summary;
  readBranding(bytes, summary, why);

  if (size < 4) return 0;
  std::uint32_t rva = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  ResourceTree tree;
  if (!parseResourceSection(bytes.substr(4), rva, tree, why)) return 0;
  for (const auto& name : tree[ResourceId::of(RT_VERSION_ID)]) {
    for (const auto& language : name.second) {
      parseVersionResource(language.second.bytes, fileVersion, productVersion, strings);
    }
  }
  std::string written = writeResourceSection(tree, rva);
  ResourceTree again;
  if (!parseResourceSection(written, rva, again, why) || !(again == tree)) std::abort();
  return 0;
}
