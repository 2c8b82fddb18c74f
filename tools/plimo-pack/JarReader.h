#pragma once
// What plimo-pack reads from a jar (a zip file) to check the main class: the
// entry names of its central directory and the Main-Class of its manifest.
// Only the end record, the central directory and the manifest's entry are
// read; every offset, count and length is held against the file before it is
// used, and the manifest is inflated into a bounded buffer.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "block/ByteSource.h"

namespace plimo::pack {

struct JarListing {
  std::vector<std::string> names;  // as stored ("com/example/Main.class")
  std::string mainClass;           // Main-Class of META-INF/MANIFEST.MF; empty when none
};

// The largest manifest read; a manifest names a main class in its first lines.
constexpr std::size_t MAX_MANIFEST_SIZE = 1 << 20;

// Reads source as a zip file (zip64 end records included; the manifest
// stored or deflated). False with why when it is not one or is damaged.
bool readJar(ByteSource& source, JarListing& listing, std::string& why);
bool readJarFile(const std::filesystem::path& path, JarListing& listing, std::string& why);

// The Main-Class of a manifest's main section (up to its first empty line),
// continuation lines joined; empty when it has none.
std::string manifestMainClass(std::string_view manifest);

}  // namespace plimo::pack
