#include "tools/plimo-pack/Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <toml++/toml.h>

#include "block/BlockFormat.h"
#include "tools/plimo-pack/BlockWriter.h"
#include "tools/plimo-pack/Catalogue.h"
#include "tools/plimo-pack/CodePage.h"
#include "tools/plimo-pack/HostFiles.h"
#include "tools/plimo-pack/Installer.h"
#include "tools/plimo-pack/Project.h"
#include "tools/plimo-pack/RuntimeArchive.h"
#include "tools/plimo-pack/RuntimeCheck.h"
#include "tools/plimo-pack/Sha256.h"
#include "tools/plimo-pack/ZipRuntime.h"

namespace plimo::pack {

namespace fs = std::filesystem;

std::vector<fs::path> stubCandidates(const fs::path& toolDirectory, const std::string& arch) {
  std::string name = "plimo-" + arch + ".exe";
  std::vector<fs::path> candidates;
  if (!toolDirectory.empty()) {
    candidates.push_back(toolDirectory / name);
    for (fs::path dir = toolDirectory;; dir = dir.parent_path()) {
      candidates.push_back(dir / "dist" / name);
      if (dir == dir.parent_path() || dir.parent_path().empty()) break;
    }
  }
  candidates.push_back(fs::path("dist") / name);
  return candidates;
}

namespace {

std::optional<fs::path> findStub(const BuildOptions& options, const std::string& arch, std::ostream& err) {
  if (options.stub) return options.stub;
  std::error_code ec;
  for (const auto& candidate : stubCandidates(options.toolDirectory, arch))
    if (fs::is_regular_file(candidate, ec)) return candidate;
  err << "plimo-pack: error: no stub plimo-" << arch << ".exe beside plimo-pack or in a dist folder; give one with --stub\n";
  return std::nullopt;
}

// True when path lies in directory or below it; both are absolute and free of
// "." and "..".
bool isWithin(const fs::path& path, const fs::path& directory) {
  auto p = path.begin();
  for (auto d = directory.begin(); d != directory.end(); ++d, ++p) {
    if (d->empty()) continue;  // the empty last component of "dir/"
    if (p == path.end() || *p != *d) return false;
  }
  return true;
}

// Why writing the output would destroy one of the build's own inputs; empty
// when it would not. Files are compared as files (device and inode), so that
// "./a.jar", "../x/a.jar" and a hard link all count as a.jar.
std::string overwrittenInput(const BuildOptions& options, const Project& project, const fs::path& stub) {
  std::error_code ec;
  if (project.runtimeDirectory) {
    // The runtime directory is packed as it is while the build runs, and the
    // temporary files lie beside the output: an output in there would pack
    // itself, even when it does not exist yet.
    fs::path runtime = fs::weakly_canonical(fs::absolute(*project.runtimeDirectory, ec), ec);
    fs::path folder = fs::weakly_canonical(fs::absolute(options.output, ec).parent_path(), ec);
    if (!ec && isWithin(folder, runtime))
      return "it lies inside the runtime directory \"" + project.runtimeDirectory->string() + "\" (runtime.bundle)";
  }
  if (!fs::exists(options.output, ec)) return "";
  auto same = [&](const fs::path& input) {
    std::error_code e;
    return fs::equivalent(options.output, input, e) && !e;
  };
  if (same(options.project)) return "it is the project file";
  if (same(stub)) return "it is the stub";
  for (const auto& file : project.payload)
    if (same(file.source)) return "it is the payload file \"" + file.source.string() + "\"";
  return "";
}

// What init writes: every key an author usually needs, with the launcher's
// defaults, and comments saying what each does at run time.
constexpr const char* STARTER_PROJECT = R"(# A plimo project: plimo-pack turns it into a Windows installer with
#   plimo-pack build plimo.toml -o setup.exe
# Paths are relative to this file. docs/plimo-pack.md describes every key;
# keys left out keep the launcher's defaults.

# The Windows the installer runs on: "x64" (64-bit Windows, and 64-bit Java,
# which is what most computers have today) or "x86" (runs on 32-bit Windows
# as well, but can use only a 32-bit Java). Take "x64" unless the installer
# must serve 32-bit Windows. A bundled runtime must be built for the same.
arch = "x64"

# Code page of the narrow texts (messages, parameters): "cp932" for Japanese.
code_page = "windows-1252"

# The files the installer carries. At start they are unpacked into a fresh
# temporary folder, and every .jar and .zip among them joins the class path.
payload = ["app.jar"]
# payload = ["app.jar", { source = "build/settings.txt", name = "settings.txt" }]

[launch]
# The class whose main(String[]) runs.
main_class = "com.example.Main"
# Options of the Java virtual machine. %PLIMO_TEMPDIR% stands for the folder
# the payload was unpacked to, %PLIMO_EXEDIR% for the installer's folder.
vm_parameters = "-Xmx256m"
# Arguments given to main before those of the command line.
# program_arguments = "--installer"
# "installer" or "application": the fallback variable of the runtime search
# (SORBILANE_JAVA_HOME or PLIMO_JAVA_HOME), the installer's runtime jar on
# the class path, and the wording of the default messages.
launcher_kind = "installer"
# "gui": messages in message boxes; "console": on standard error.
application_type = "gui"
# More class path items, relative to the installer's folder:
# class_path = [{ kind = "archive", path = "lib/extra.jar", required = true }]

[runtime]
# Java versions the program runs on, compared number by number; a maximum
# of "17" admits every 17.0.x.
min_version = "1.8"
# max_version = "21"
# Where an installed Java runtime is looked for, in this order.
search_sequence = [
  { kind = "environment", variable = "JAVA_HOME" },
  { kind = "registry" },
  { kind = "search_path" },
]
# Offered for download when none is found (http:// or https://, a .tar.gz):
# download_url = "https://example.com/jre.tar.gz"
# Or carry a runtime along: this folder is packed as jre.tar.gz and always
# used, without any search.
# bundle = "jre"

[messages]
# Texts the launcher shows, by name (docs/plimo-pack.md lists them all with
# their English defaults). Two captions: that of the launcher's dialogs, and
# that of its error messages.
caption = "Example Setup"
error_caption = "Example Setup error"

# How the installer looks in Explorer (every key optional):
# [branding]
# icon = "setup.ico"
# product_name = "Example"
# product_version = "1.0.0"
# company = "Example Ltd."
# description = "Example Setup"
)";

std::string escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string hexOf(const std::string& bytes) {
  std::string out;
  char hex[4];
  for (unsigned char c : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", c);
    out += hex;
  }
  return out;
}

toml::table brandingTable(const BrandingSummary& b) {
  toml::array icon;
  for (const auto& image : b.iconImages) icon.push_back(image);
  toml::table strings;
  for (const auto& [key, value] : b.versionStrings) strings.insert(key, value);
  return toml::table{{"icon", std::move(icon)},           {"file_version", b.fileVersion},
                     {"product_version", b.productVersion}, {"version_strings", std::move(strings)},
                     {"dpi_aware", b.dpiAware},             {"dpi_awareness", b.dpiAwareness},
                     {"execution_level", b.executionLevel}};
}

void printBranding(const BrandingSummary& b, std::ostream& out) {
  out << "branding:\n";
  out << "  icon MAINICO: ";
  for (std::size_t i = 0; i < b.iconImages.size(); ++i) out << (i ? ", " : "") << b.iconImages[i];
  out << (b.iconImages.empty() ? "none\n" : "\n");
  if (b.fileVersion.empty()) {
    out << "  version information: none\n";
  } else {
    out << "  version information: file " << b.fileVersion << ", product " << b.productVersion << "\n";
    for (const auto& [key, value] : b.versionStrings) out << "    " << key << ": \"" << escaped(value) << "\"\n";
  }
  out << "  manifest: DPI awareness \"" << b.dpiAwareness << "\" (dpiAware \"" << b.dpiAware
      << "\"), execution level \"" << b.executionLevel << "\"\n";
}

}  // namespace

int runBuild(const BuildOptions& options, std::ostream& out, std::ostream& err) {
  if (options.arch && *options.arch != "x86" && *options.arch != "x64") {
    err << "plimo-pack: error: --arch must be x86 or x64\n";
    return EXIT_INVALID;
  }
  Project project;
  Diagnostics diagnostics;
  loadProject(options.project, project, diagnostics);
  for (const auto& n : diagnostics.notes) out << "plimo-pack: " << n << "\n";
  for (const auto& w : diagnostics.warnings) err << "plimo-pack: warning: " << w << "\n";
  for (const auto& e : diagnostics.errors) err << "plimo-pack: error: " << e << "\n";
  if (!diagnostics.errors.empty()) {
    err << "plimo-pack: nothing written (" << diagnostics.errors.size() << " error"
        << (diagnostics.errors.size() == 1 ? "" : "s") << ")\n";
    return diagnostics.unreadable ? EXIT_FAILED : EXIT_INVALID;
  }
  // The stub's processor: --arch, else the project's arch, else that of a
  // stub named by path, else x86, and then the build says which stub it took.
  std::optional<std::string> wanted = options.arch ? options.arch : project.arch;
  std::string wantedBy = options.arch ? "--arch " + *options.arch : "arch = \"" + wanted.value_or("") + "\"" + project.archAt;
  std::string arch = wanted.value_or("x86");
  std::optional<fs::path> stub = findStub(options, arch, err);
  if (!stub) return EXIT_INVALID;
  if (!wanted && !options.stub)
    out << "plimo-pack: neither the project (arch) nor --arch names a processor: using the default x86 stub \""
        << stub->string() << "\"\n";
  std::error_code ec;
  if (!fs::is_regular_file(*stub, ec)) {
    err << "plimo-pack: error: cannot read the stub \"" << stub->string() << "\": no such file\n";
    return EXIT_FAILED;
  }
  Arch machine;
  if (!stubArch(*stub, machine)) {
    err << "plimo-pack: error: \"" << stub->string() << "\" is not an x86 or x64 Windows executable\n";
    return EXIT_INVALID;
  }
  std::string stubArchName = machine == Arch::X86 ? "x86" : "x64";
  if (wanted && *wanted != stubArchName) {
    err << "plimo-pack: error: the stub \"" << stub->string() << "\" is " << stubArchName << ", not " << *wanted
        << " (" << wantedBy << ")\n";
    return EXIT_INVALID;
  }
  setProcessorDefaults(project, machine == Arch::X64);
  Diagnostics runtimes;
  checkProjectRuntimes(project, machine == Arch::X64 ? PE_MACHINE_X64 : PE_MACHINE_X86, runtimes);
  for (const auto& n : runtimes.notes) out << "plimo-pack: " << n << "\n";
  for (const auto& e : runtimes.errors) err << "plimo-pack: error: " << e << "\n";
  if (!runtimes.errors.empty()) {
    err << "plimo-pack: nothing written (" << runtimes.errors.size() << " error"
        << (runtimes.errors.size() == 1 ? "" : "s") << ")\n";
    return EXIT_INVALID;
  }
  std::string clash = overwrittenInput(options, project, *stub);
  if (!clash.empty()) {
    err << "plimo-pack: error: refusing to write \"" << options.output.string() << "\": " << clash << "\n";
    return EXIT_INVALID;
  }
  fs::path folder = options.output.parent_path();
  if (!folder.empty() && !fs::create_directories(folder, ec) && ec) {
    err << "plimo-pack: error: cannot create the folder \"" << folder.string() << "\": " << ec.message() << "\n";
    return EXIT_FAILED;
  }
  WriteResult result = writeInstaller(project, *stub, options.output);
  for (const auto& w : result.warnings) err << "plimo-pack: warning: " << w << "\n";
  if (!result.ok) {
    err << "plimo-pack: error: " << result.error << "\n";
    return EXIT_FAILED;
  }
  out << "wrote " << options.output.string() << " (" << stubArchName << ", " << fs::file_size(options.output, ec)
      << " bytes, " << project.payload.size() + (project.runtimeDirectory ? 1 : 0) << " payload files)\n";
  return EXIT_OK;
}

namespace {

// The code page asked for, else the one the installer records (entry 154),
// else the default.
std::string codePageFor(const std::string& asked, const InstallerContents& contents) {
  if (!asked.empty()) return asked;
  auto recorded = contents.store.narrow.find(154);
  std::string name = recorded == contents.store.narrow.end() ? "" : iconvNameOf(std::atoi(recorded->second.c_str()));
  return name.empty() ? DEFAULT_CODE_PAGE : name;
}

}  // namespace

int runInspect(const fs::path& installer, bool json, const std::string& askedCodePage, std::ostream& out,
               std::ostream& err) {
  InstallerContents contents;
  std::string error;
  if (!readInstaller(installer, contents, error)) {
    err << "plimo-pack: error: " << error << "\n";
    return EXIT_FAILED;
  }
  const std::string codePage = codePageFor(askedCodePage, contents);
  std::string probe;
  if (toCodePage("", codePage, probe) == Conversion::UnknownCodePage) {
    err << "plimo-pack: error: \"" << codePage << "\" is not a code page plimo-pack knows (it takes the names that have a Windows code page number: windows-NNNN, cpNNN, shift_jis, gbk, big5, utf-8, iso-8859-N, ...)\n";
    return EXIT_INVALID;
  }
  auto meaningOf = [](const std::vector<EntryInfo>& list, std::int32_t id) -> std::string {
    const EntryInfo* info = findEntry(list, id);
    return info ? info->meaning : "(not read by the launcher)";
  };
  auto keyOf = [](const std::vector<EntryInfo>& list, std::int32_t id) -> std::string {
    const EntryInfo* info = findEntry(list, id);
    return info ? info->key : "";
  };
  std::uint64_t trailing = contents.fileSize - contents.payloadEnd;
  BrandingSummary branding;
  std::string brandingError;
  bool haveBranding = readInstallerBranding(installer, contents.imageEnd, branding, brandingError);

  if (json) {
    toml::table root;
    root.insert("file", installer.string());
    root.insert("code_page", codePage);
    root.insert("image_end", static_cast<std::int64_t>(contents.imageEnd));
    root.insert("payload_offset", static_cast<std::int64_t>(contents.payloadOffset));
    root.insert("trailing_bytes", static_cast<std::int64_t>(trailing));
    toml::array narrow;
    for (const auto& [id, bytes] : contents.store.narrow) {
      toml::table entry{{"id", id}, {"key", keyOf(narrowEntries(), id)}, {"meaning", meaningOf(narrowEntries(), id)}};
      std::string text;
      if (fromCodePage(bytes, codePage, text) == Conversion::Ok) entry.insert("value", text);
      else entry.insert("value_hex", hexOf(bytes));
      narrow.push_back(std::move(entry));
    }
    root.insert("narrow", std::move(narrow));
    toml::array wide;
    for (const auto& [id, text] : contents.store.wide) {
      wide.push_back(toml::table{{"id", id},
                                 {"key", keyOf(wideEntries(), id)},
                                 {"meaning", meaningOf(wideEntries(), id)},
                                 {"value", utf8FromUtf16(text)}});
    }
    root.insert("wide", std::move(wide));
    toml::array payload;
    for (const auto& p : contents.payload) {
      std::string name;
      if (fromCodePage(p.name, codePage, name) != Conversion::Ok) name = p.name;
      payload.push_back(toml::table{{"name", name}, {"size", static_cast<std::int64_t>(p.length > 0 ? p.length : 0)}});
    }
    root.insert("payload", std::move(payload));
    if (haveBranding) root.insert("branding", brandingTable(branding));
    out << toml::json_formatter{root} << "\n";
    return EXIT_OK;
  }

  out << installer.string() << ": block at " << contents.imageEnd << ", payload at " << contents.payloadOffset << "\n";
  out << "narrow entries (" << contents.store.narrow.size() << ", code page " << codePage << "):\n";
  for (const auto& [id, bytes] : contents.store.narrow) {
    std::string text;
    std::string shown = fromCodePage(bytes, codePage, text) == Conversion::Ok ? "\"" + escaped(text) + "\""
                                                                              : "hex " + hexOf(bytes);
    out << "  " << id << "  " << meaningOf(narrowEntries(), id) << "\n        " << shown << "\n";
  }
  out << "wide entries (" << contents.store.wide.size() << "):\n";
  for (const auto& [id, text] : contents.store.wide)
    out << "  " << id << "  " << meaningOf(wideEntries(), id) << "\n        \"" << escaped(utf8FromUtf16(text))
        << "\"\n";
  out << "payload (" << contents.payload.size() << " files):\n";
  for (const auto& p : contents.payload) {
    std::string name;
    if (fromCodePage(p.name, codePage, name) != Conversion::Ok) name = p.name;
    out << "  " << name << "  " << (p.length > 0 ? p.length : 0) << " bytes\n";
  }
  if (haveBranding) printBranding(branding, out);
  if (trailing > 0) out << trailing << " bytes follow the payload (a signature, for instance)\n";
  return EXIT_OK;
}

int runExtract(const fs::path& installer, const fs::path& directory, const std::string& askedCodePage,
               std::ostream& out, std::ostream& err) {
  std::vector<std::string> written;
  std::string error;
  std::string codePage = askedCodePage;
  if (codePage.empty()) {
    InstallerContents contents;
    if (!readInstaller(installer, contents, error)) {
      err << "plimo-pack: error: " << error << "\n";
      return EXIT_FAILED;
    }
    codePage = codePageFor(codePage, contents);
  }
  if (!extractInstaller(installer, directory, codePage, written, error)) {
    err << "plimo-pack: error: " << error << "\n";
    return EXIT_FAILED;
  }
  for (const auto& name : written) out << (directory / fs::u8path(name)).string() << "\n";
  return EXIT_OK;
}

int runRuntime(const RuntimeOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (options.arch && *options.arch != "x86" && *options.arch != "x64") {
    err << "plimo-pack: error: --arch must be x86 or x64\n";
    return EXIT_INVALID;
  }
  // A .zip is unpacked into a scratch folder that goes again at the end.
  struct Scratch {
    fs::path path;
    ~Scratch() {
      std::error_code e;
      if (!path.empty()) fs::remove_all(path, e);
    }
  } scratch;
  fs::path runtimeFolder = options.source;
  std::string why;
  if (!fs::is_directory(options.source, ec)) {
    std::string name = options.source.filename().string();
    bool zip = name.size() > 4 && (name.compare(name.size() - 4, 4, ".zip") == 0 || name.compare(name.size() - 4, 4, ".ZIP") == 0);
    if (!zip || !fs::is_regular_file(options.source, ec)) {
      err << "plimo-pack: error: \"" << options.source.string() << "\" is neither a folder nor a .zip file\n";
      return EXIT_INVALID;
    }
    if (!zipRuntimesSupported()) {
      err << "plimo-pack: error: \"" << options.source.string()
          << "\": this plimo-pack reads no .zip files: unpack it first (unzip) and give the folder\n";
      return EXIT_INVALID;
    }
    fs::path pattern;
    if (!makeTemporaryDirectory("plimo-pack-runtime", pattern)) {
      err << "plimo-pack: error: cannot create a scratch folder: " << std::strerror(errno) << "\n";
      return EXIT_FAILED;
    }
    scratch.path = runtimeFolder = pattern;
    if (!unpackRuntimeZip(options.source, runtimeFolder, why)) {
      err << "plimo-pack: error: \"" << options.source.string() << "\": " << why << "\n";
      return EXIT_INVALID;
    }
  }
  RuntimeListing listing;
  if (!listRuntimeDirectory(runtimeFolder, listing, why)) {
    err << "plimo-pack: error: " << why << "\n";
    return EXIT_FAILED;
  }
  // Without --arch the runtime's own java.exe says which stub it is for.
  std::uint16_t machine = options.arch ? (*options.arch == "x64" ? PE_MACHINE_X64 : PE_MACHINE_X86) : PE_MACHINE_X64;
  RuntimeVerdict verdict = checkRuntime(listing, machine, "", false);
  if (!options.arch && verdict.fault == RuntimeFault::JavaExeOtherProcessor) {
    machine = PE_MACHINE_X86;
    verdict = checkRuntime(listing, machine, "", false);
  }
  if (verdict.fault != RuntimeFault::None) {
    err << "plimo-pack: error: \"" << options.source.string() << "\": " << runtimeFaultText(verdict, machine) << "\n";
    return EXIT_INVALID;
  }
  fs::path folder = runtimeFolder;
  if (!verdict.topFolder.empty()) {
    folder /= fs::u8path(verdict.topFolder);
    out << "plimo-pack: the runtime stands in \"" << verdict.topFolder << "\"; packed from inside that folder\n";
  }
  fs::path source = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  fs::path target = fs::weakly_canonical(fs::absolute(options.output, ec).parent_path(), ec);
  if (!ec && isWithin(target, source)) {
    err << "plimo-pack: error: refusing to write \"" << options.output.string() << "\" inside the runtime it packs\n";
    return EXIT_INVALID;
  }
  fs::path partial = options.output;
  partial += ".partial";
  ArchiveResult archive = writeRuntimeArchive(folder, partial);
  for (const auto& w : archive.warnings) err << "plimo-pack: warning: " << w << "\n";
  if (!archive.ok || (fs::rename(partial, options.output, ec), ec)) {
    fs::remove(partial, ec);
    err << "plimo-pack: error: " << (archive.ok ? "cannot write \"" + options.output.string() + "\"" : archive.error) << "\n";
    return EXIT_FAILED;
  }
  std::optional<std::string> digest = fileSha256(options.output);
  out << "wrote " << options.output.string() << " (" << (machine == PE_MACHINE_X64 ? "x64" : "x86") << " runtime, "
      << fs::file_size(options.output, ec) << " bytes)\n"
      << "download_sha256 = \"" << digest.value_or("") << "\"\n";
  return EXIT_OK;
}

int runInit(const fs::path& directory, std::ostream& out, std::ostream& err) {
  fs::path file = directory / STARTER_PROJECT_NAME;
  std::error_code ec;
  if (fs::exists(file, ec)) {
    err << "plimo-pack: error: \"" << file.string() << "\" exists; nothing written\n";
    return EXIT_INVALID;
  }
  fs::create_directories(directory, ec);
  // "x": never replace a file that appeared since the check above.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> target(openFile(file, "wx"), std::fclose);
  bool created = target != nullptr;
  std::string text = STARTER_PROJECT;
  if (!target || std::fwrite(text.data(), 1, text.size(), target.get()) != text.size() ||
      std::fclose(target.release()) != 0) {
    err << "plimo-pack: error: cannot write \"" << file.string() << "\": " << std::strerror(errno) << "\n";
    if (created) fs::remove(file, ec);
    return EXIT_FAILED;
  }
  out << "wrote " << file.string() << "\n";
  return EXIT_OK;
}

}  // namespace plimo::pack
