#include "tools/plimo-pack/RuntimeCheck.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

#include "block/BlockFormat.h"
#include "jvmsearch/SearchRules.h"
#include "provision/TarReader.h"
#include "tools/plimo-pack/Installer.h"

namespace plimo::pack {

namespace fs = std::filesystem;

namespace {

std::string folded(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Only these files' headers decide anything.
bool keepsHead(const std::string& foldedName) {
  std::size_t slash = foldedName.rfind('/');
  std::string base = foldedName.substr(slash == std::string::npos ? 0 : slash + 1);
  return base == "java.exe" || base == "javaw.exe" || base == "jvm.dll";
}

void addFile(RuntimeListing& listing, const std::string& name, std::string head) {
  std::string key = folded(name);
  listing.files[key] = keepsHead(key) ? std::move(head) : std::string();
  std::string top = name.substr(0, name.find('/'));
  listing.topNames.emplace(folded(top), top);
}

// The launcher's rule text ("jre\bin\..\jre\bin\server\jvm.dll") as a
// listing key: '/' separated, ".." resolved, lower case. Empty when it climbs
// above the top.
std::string listingKey(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!flush()) return "";
    } else {
      part += c;
    }
  }
  if (!flush()) return "";
  std::string key;
  for (const auto& p : parts) key += (key.empty() ? "" : "/") + p;
  return folded(key);
}

// The machine of a PE header held in head; false when it is none.
bool machineOf(const std::string& head, std::uint16_t& machine) {
  MemoryByteSource source(head);
  PeHeader header;
  if (readPeHeader(source, header) != LoadError::None) return false;
  machine = header.machine;
  return true;
}

const char* machineName(std::uint16_t machine) {
  return machine == PE_MACHINE_X64 ? "x64 (64-bit Windows)" : machine == PE_MACHINE_X86 ? "x86 (32-bit Windows)"
                                                                                         : "another processor";
}

std::string windowsPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

RuntimeVerdict checkAt(const RuntimeListing& listing, const std::string& prefix, std::uint16_t machine,
                       const std::string& preferredType, bool windowed) {
  RuntimeVerdict v;
  auto has = [&](const std::string& key) { return listing.files.count(key) != 0; };
  // javaExeForHome: the nested jre first.
  std::string javaExe = has(prefix + "jre/bin/java.exe") ? "jre\\bin\\java.exe" : "bin\\java.exe";
  v.javaExe = listingKey(javaExe);
  if (!has(prefix + v.javaExe)) {
    v.fault = RuntimeFault::NoJavaExe;
    return v;
  }
  std::uint16_t found = 0;
  if (!machineOf(listing.files.at(prefix + v.javaExe), found)) {
    v.fault = RuntimeFault::NotWindowsProgram;
    return v;
  }
  if (found != machine) {
    v.fault = RuntimeFault::JavaExeOtherProcessor;
    v.detail = machineName(found);
    return v;
  }
  if (windowed && !has(prefix + listingKey(windowedJavaExe(javaExe)))) {
    v.fault = RuntimeFault::NoWindowedJavaExe;
    return v;
  }
  // loadJvmLibrary: beside java.exe (the preferred type first), then in a
  // JDK's private jre. The first library that loads wins, so one of the
  // right processor anywhere in that order is enough.
  std::string otherProcessor;
  for (const std::string& exe : {javaExe, privateJreJavaExe(javaExe)}) {
    for (const std::string& library : jvmLibrariesBeside(exe, preferredType)) {
      std::string key = listingKey(library);
      if (key.empty() || !has(prefix + key)) continue;
      if (machineOf(listing.files.at(prefix + key), found) && found == machine) return v;
      if (otherProcessor.empty()) otherProcessor = key;
    }
  }
  v.fault = otherProcessor.empty() ? RuntimeFault::NoJvmLibrary : RuntimeFault::JvmLibraryOtherProcessor;
  v.detail = otherProcessor;
  return v;
}

// Collects the names the launcher's reader would write, and the first bytes
// of the files that matter; nothing reaches the disk.
class ListingTarget final : public TarTarget {
 public:
  explicit ListingTarget(RuntimeListing& listing) : listing_(listing) {}
  bool makeDirectory(const char*) override { return true; }
  bool openFile(const char* relativePath) override {
    current_ = relativePath;
    head_.clear();
    return true;
  }
  bool writeFile(const void* data, std::size_t n) override {
    std::size_t room = RUNTIME_HEAD_SIZE - head_.size();
    head_.append(static_cast<const char*>(data), std::min(n, room));
    return true;
  }
  bool closeFile() override {
    if (!current_.empty()) addFile(listing_, current_, std::move(head_));
    current_.clear();
    return true;
  }

 private:
  RuntimeListing& listing_;
  std::string current_;
  std::string head_;
};

}  // namespace

bool listRuntimeDirectory(const fs::path& directory, RuntimeListing& listing, std::string& why) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
    std::string name = fs::relative(it->path(), directory, ec).generic_u8string();
    if (ec) break;
    std::string head;
    if (keepsHead(folded(name))) {
      FileByteSource source(it->path());
      head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), RUNTIME_HEAD_SIZE)));
      if (!source.isOpen() || (!head.empty() && source.read(&head[0], head.size()) != head.size())) {
        why = "cannot read \"" + it->path().string() + "\"";
        return false;
      }
    }
    addFile(listing, name, std::move(head));
  }
  if (ec) {
    why = "cannot list \"" + directory.string() + "\": " + ec.message();
    return false;
  }
  return true;
}

bool listRuntimeArchive(const fs::path& archive, RuntimeListing& listing, std::string& why) {
  // The launcher takes data without the gzip magic for a plain tar stream,
  // and a zip file then unpacks to nothing at all; vendors publish zips.
  {
    FileByteSource source(archive);
    char magic[4] = {};
    if (source.isOpen() && source.read(magic, sizeof magic) == sizeof magic && std::string(magic, 4) == "PK\x03\x04") {
      why = "it is a zip file, and the launcher unpacks only a gzip-compressed tar (plimo-pack runtime makes one)";
      return false;
    }
  }
  ListingTarget target(listing);
  TarStatus status = extractTarGzFile(archive.string().c_str(), target, nullptr, 0);
  if (status != TarStatus::Ok) {
    why = std::string("the launcher cannot unpack it (") + tarStatusText(status) + ")";
    return false;
  }
  return true;
}

RuntimeVerdict checkRuntime(const RuntimeListing& listing, std::uint16_t machine, const PageText& preferredType,
                            bool windowed) {
  RuntimeVerdict v = checkAt(listing, "", machine, preferredType, windowed);
  // Vendors ship a runtime inside one folder named after its version.
  if (v.fault == RuntimeFault::NoJavaExe && listing.topNames.size() == 1) {
    const auto& [key, name] = *listing.topNames.begin();
    if (listing.files.count(key) == 0) {
      RuntimeVerdict inner = checkAt(listing, key + "/", machine, preferredType, windowed);
      if (inner.fault != RuntimeFault::NoJavaExe) {
        inner.topFolder = name;
        return inner;
      }
    }
  }
  return v;
}

std::string runtimeFaultText(const RuntimeVerdict& v, std::uint16_t machine) {
  std::string exe = windowsPath(v.javaExe);
  switch (v.fault) {
    case RuntimeFault::None:
      return "";
    case RuntimeFault::NoJavaExe:
      return "there is no bin\\java.exe (nor jre\\bin\\java.exe) at its top, where the launcher looks for it";
    case RuntimeFault::NotWindowsProgram:
      return exe + " is not a Windows program";
    case RuntimeFault::JavaExeOtherProcessor:
    case RuntimeFault::JvmLibraryOtherProcessor: {
      std::string file = v.fault == RuntimeFault::JavaExeOtherProcessor ? exe : windowsPath(v.detail);
      std::string built = v.fault == RuntimeFault::JavaExeOtherProcessor ? v.detail : "another processor";
      return file + " is built for " + built + ", but the installer's stub is " + machineName(machine) +
             ", which can never load it: take a runtime built for " + machineName(machine) + ", or build with arch = \"" +
             (machine == PE_MACHINE_X86 ? "x64" : "x86") + "\"";
    }
    case RuntimeFault::NoWindowedJavaExe:
      return "application_type \"gui-javaw\" needs javaw.exe beside " + exe + ", and there is none";
    case RuntimeFault::NoJvmLibrary:
      return "there is no jvm.dll in the folders the launcher tries beside " + exe +
             " (the preferred_vm_type folder, then hotspot, client, server, classic, also below a JDK's jre\\bin)";
  }
  return "";
}

bool checkProjectRuntimes(Project& project, std::uint16_t machine, Diagnostics& diagnostics) {
  std::size_t errorsBefore = diagnostics.errors.size();
  auto preferred = project.narrow.find(152);
  std::string preferredType = preferred == project.narrow.end() ? "" : preferred->second;
  auto type = project.narrow.find(107);
  bool windowed = type != project.narrow.end() && type->second == "1";

  if (project.runtimeDirectory) {
    RuntimeListing listing;
    std::string why;
    std::string at = "runtime.bundle: \"" + project.runtimeDirectory->string() + "\"";
    if (!listRuntimeDirectory(*project.runtimeDirectory, listing, why)) {
      diagnostics.errors.push_back(at + ": " + why + project.bundleAt);
    } else {
      RuntimeVerdict v = checkRuntime(listing, machine, preferredType, windowed);
      if (v.fault != RuntimeFault::None)
        diagnostics.errors.push_back(at + ": " + runtimeFaultText(v, machine) + project.bundleAt);
      else if (!v.topFolder.empty()) {
        diagnostics.notes.push_back(at + " holds its runtime in one folder, \"" + v.topFolder +
                                    "\"; packed from inside that folder, as the launcher needs it at the top");
        project.runtimeDirectory = *project.runtimeDirectory / fs::u8path(v.topFolder);
      }
    }
  }
  if (project.downloadArchive) {
    RuntimeListing listing;
    std::string why;
    std::string at = "runtime.download_archive: \"" + project.downloadArchive->string() + "\"";
    if (!listRuntimeArchive(*project.downloadArchive, listing, why)) {
      diagnostics.errors.push_back(at + ": " + why + project.downloadArchiveAt);
    } else {
      RuntimeVerdict v = checkRuntime(listing, machine, preferredType, windowed);
      if (v.fault != RuntimeFault::None) {
        diagnostics.errors.push_back(at + ": " + runtimeFaultText(v, machine) + project.downloadArchiveAt);
      } else if (!v.topFolder.empty()) {
        diagnostics.errors.push_back(
            at + ": the runtime stands inside one folder, \"" + v.topFolder +
            "\", and the launcher unpacks the download as it is: it would find no Java at the top. Publish an "
            "archive made from inside that folder (plimo-pack runtime FOLDER -o jre.tar.gz)" +
            project.downloadArchiveAt);
      }
    }
  }
  return diagnostics.errors.size() == errorsBefore;
}

}  // namespace plimo::pack
