#pragma once
// The commands of plimo-pack, callable in-process (the tests do) and
// from main. Each returns the process exit code.
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace plimo::pack {

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;      // input/output failure while writing or reading
constexpr int EXIT_INVALID = 2;     // the project or the command line is wrong; nothing written

struct BuildOptions {
  std::filesystem::path project;
  std::filesystem::path output;
  std::optional<std::string> arch;            // "x86" or "x64"; wins over the project's arch
  std::optional<std::filesystem::path> stub;  // explicit stub
  std::filesystem::path toolDirectory;        // where the running plimo-pack lies (stub search)
};

// Where the stub for arch is looked for, in order: beside the tool, then in
// a "dist" folder beside the tool or beside any folder above it, then in
// "dist" below the current directory.
std::vector<std::filesystem::path> stubCandidates(const std::filesystem::path& toolDirectory, const std::string& arch);

int runBuild(const BuildOptions& options, std::ostream& out, std::ostream& err);
int runInspect(const std::filesystem::path& installer, bool json, const std::string& codePage, std::ostream& out,
               std::ostream& err);
int runExtract(const std::filesystem::path& installer, const std::filesystem::path& directory,
               const std::string& codePage, std::ostream& out, std::ostream& err);

struct RuntimeOptions {
  std::filesystem::path source;         // a runtime folder
  std::filesystem::path output;         // the .tar.gz to write
  std::optional<std::string> arch;      // "x86" or "x64"; otherwise that of its java.exe
};

// Packs a runtime folder as the jre.tar.gz the launcher unpacks, checked by
// the launcher's rules (from inside its one top folder when the runtime
// stands there), and prints its SHA-256 for runtime.download_sha256.
int runRuntime(const RuntimeOptions& options, std::ostream& out, std::ostream& err);

// The name init gives the starter project.
inline constexpr const char* STARTER_PROJECT_NAME = "plimo.toml";
// Writes a commented starter project into directory (created when missing).
// An existing one is left alone (EXIT_INVALID).
int runInit(const std::filesystem::path& directory, std::ostream& out, std::ostream& err);

}  // namespace plimo::pack
