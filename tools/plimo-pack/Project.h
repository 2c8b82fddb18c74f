#pragma once
// The project file: readable keys that set the launcher's configuration
// entries, the payload files and an optional runtime directory to bundle.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "block/TextKinds.h"
#include "tools/plimo-pack/Branding.h"

namespace plimo::pack {

struct Diagnostics {
  std::vector<std::string> errors;    // each stops the build (exit code 2)
  std::vector<std::string> warnings;  // reported, the build goes on
  std::vector<std::string> notes;     // what the build decided for the author (printed, not a problem)
  bool unreadable = false;            // the project file itself could not be read (exit code 1)
};

struct PayloadFile {
  Utf8Text name;                     // plain file name
  std::filesystem::path source;      // absolute or relative to the working directory
};

// The name under which a bundled runtime travels; the launcher looks for it.
inline constexpr const char* RUNTIME_ARCHIVE_NAME = "jre.tar.gz";
inline constexpr const char* DEFAULT_CODE_PAGE = "windows-1252";

struct Project {
  std::string codePage = DEFAULT_CODE_PAGE;
  // Entries set from keys, already in their block form: narrow values in the
  // code page, wide values as UTF-16. Derived entries (151, 2002, 2003) are
  // added by the writer.
  std::map<std::int32_t, PageText> narrow;
  std::map<std::int32_t, std::u16string> wide;
  std::vector<PayloadFile> payload;  // in block order, without the runtime
  std::optional<std::filesystem::path> runtimeDirectory;
  std::optional<std::filesystem::path> downloadArchive;  // runtime.download_archive
  std::string bundleAt, downloadArchiveAt;                // where those keys stand (" (line N)")
  Branding branding;  // [branding]: written into the stub's resources
  // The key arch ("x86" or "x64"), and where it stands (" (line N)").
  std::optional<std::string> arch;
  std::string archAt;
  bool application = false;  // launch.launcher_kind = "application"
  // Wide messages left at a default that depends on the stub's processor;
  // setProcessorDefaults fills them in once the stub is known.
  std::vector<std::int32_t> processorDefaults;
};

// Writes the defaults that depend on the stub's processor.
void setProcessorDefaults(Project& project, bool x64);

// Reads and checks a project file. Relative paths in it resolve against the
// file's directory. Returns false (with errors) when anything is wrong; the
// payload files are checked for existence here, so that nothing is written
// for a project that cannot be built.
bool loadProject(const std::filesystem::path& file, Project& project, Diagnostics& diagnostics);
// The same for project text already in memory; baseDirectory resolves paths.
bool loadProjectText(const Utf8Text& text, const std::filesystem::path& baseDirectory, Project& project,
                     Diagnostics& diagnostics);

// Checks used by loadProject, exposed for the reader side and for tests.
// A payload name the launcher accepts (plimo::payloadNameFault on pageName,
// the name in the installer's code page) and can write into its directory as
// it is: no characters Windows refuses, no ';', no trailing dot or blank.
// why says what is wrong, in the launcher's terms first.
bool isPackableFileName(const Utf8Text& name, const PageText& pageName, std::string& why);
// Identifiers separated by dots, as Java writes a fully qualified class name.
bool isDottedJavaName(const Utf8Text& name);
// A version bound: numbers separated by dots, optionally an update number
// after "_" last ("11", "1.8", "17.0.2", "1.8.0_201").
bool isVersionBound(const Utf8Text& text);
// A version bound as the launcher compares it: Java 5 to 8 call themselves
// 1.5 to 1.8, so "8" (or "8.0_201") becomes "1.8" ("1.8.0_201"); every other
// bound is kept.
Utf8Text javaVersionBound(const Utf8Text& bound);
// An address the launcher can download a runtime archive from: http:// or
// https://, a server, and a path (query and fragment aside) ending in
// ".tar.gz". why receives the reason when it is not.
bool isDownloadAddress(const Utf8Text& address, std::string& why);

}  // namespace plimo::pack
