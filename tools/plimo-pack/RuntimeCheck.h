#pragma once
// A Java runtime checked when the installer is built, by the rules the
// launcher applies when it runs: java.exe where the launcher looks for it
// (jre\bin\java.exe, else bin\java.exe, at the runtime's top), a jvm.dll in
// one of the folders it tries, both built for the stub's processor. What
// fails here would otherwise fail on the user's machine, after a download.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "block/TextKinds.h"
#include "tools/plimo-pack/Project.h"

namespace plimo::pack {

// The files of a runtime: each name relative to the runtime's top, '/'
// separated and in lower case (Windows compares names so), mapped to its
// first bytes when it is a java.exe, javaw.exe or jvm.dll (empty otherwise).
// Names are UTF-8 as the host and the archive give them; the launcher's
// rules (jvmsearch/SearchRules.h) run on them only for the ASCII names they
// look for.
struct RuntimeListing {
  std::map<std::string, std::string> files;
  // The top-level names as written, keyed by their lower-case form.
  std::map<std::string, std::string> topNames;
};

// The first bytes kept of the files whose PE headers are read.
constexpr std::size_t RUNTIME_HEAD_SIZE = 8192;

// A folder as the bundle packs it (regular files; symbolic links are left
// out, as the archive leaves them out).
bool listRuntimeDirectory(const std::filesystem::path& directory, RuntimeListing& listing, std::string& why);
// A .tar.gz read by the launcher's own archive reader.
bool listRuntimeArchive(const std::filesystem::path& archive, RuntimeListing& listing, std::string& why);

enum class RuntimeFault {
  None,
  NoJavaExe,              // neither jre/bin/java.exe nor bin/java.exe at the top
  NotWindowsProgram,      // java.exe is no PE file
  JavaExeOtherProcessor,  // java.exe built for the other processor
  NoWindowedJavaExe,      // application type gui-javaw without javaw.exe beside java.exe
  NoJvmLibrary,           // no jvm.dll in a folder the launcher tries
  JvmLibraryOtherProcessor,
};

struct RuntimeVerdict {
  RuntimeFault fault = RuntimeFault::None;
  std::string javaExe;  // the java.exe the launcher would take, '/' separated
  std::string detail;   // the library or machine the fault is about
  // When the top holds no runtime but its one folder does: that folder's
  // name as written (the verdict is then the one for inside it).
  std::string topFolder;
};

// Checks listing for a stub of machine (PE_MACHINE_X86 or PE_MACHINE_X64).
// preferredType is runtime.preferred_vm_type as the block holds it, windowed
// true for gui-javaw.
RuntimeVerdict checkRuntime(const RuntimeListing& listing, std::uint16_t machine, const PageText& preferredType,
                            bool windowed);

// One sentence for a verdict's fault, naming the runtime's files as a
// Windows user sees them.
std::string runtimeFaultText(const RuntimeVerdict& verdict, std::uint16_t machine);

// Checks the project's bundled runtime and pinned download archive for a stub
// of machine. A bundle whose runtime stands in its one folder is packed from
// inside that folder (project.runtimeDirectory changes; a note says so); a
// pinned archive with such a folder is an error, as the file is what the
// server sends. Returns false when an error was added.
bool checkProjectRuntimes(Project& project, std::uint16_t machine, Diagnostics& diagnostics);

}  // namespace plimo::pack
