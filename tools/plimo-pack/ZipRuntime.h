#pragma once
// Vendors publish Windows runtimes as .zip files with one top folder. The
// runtime command unpacks such a file with libarchive (linked statically
// where the build found it) and packs the folder as the launcher's
// jre.tar.gz.
#include <filesystem>
#include <string>

namespace plimo::pack {

// True when this plimo-pack was built with libarchive and reads .zip files.
bool zipRuntimesSupported();

// Unpacks the regular files and folders of zip into directory (which must
// exist), every name checked as the launcher checks archive names: nothing
// absolute, no "..", no device names. Other entries (links) are left out.
// False with why when the file cannot be read or holds an unsafe name.
bool unpackRuntimeZip(const std::filesystem::path& zip, const std::filesystem::path& directory, std::string& why);

}  // namespace plimo::pack
