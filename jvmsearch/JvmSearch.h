#pragma once
// The runtime search's decisions: which sources are asked in which order,
// which registry family and version is tried, when the version cache answers,
// which picked runtime is best, and which library of a runtime is loaded.
// Everything the search needs from the system goes through SearchPlatform, so
// these rules run natively against tables as well as on Windows. Paths are
// ANSI text (block/TextKinds.h); a candidate passed by reference is replaced
// by its normalised (absolute, lower-case) form. Versions and bounds are
// compared by their ASCII digits and dots, whichever kind they came in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "block/TextKinds.h"
#include "jvmsearch/SearchRules.h"

namespace plimo {

enum class RegistryRoot { CurrentUser, LocalMachine };

// What the search needs from the operating system. The Win32 shell answers
// with the real calls (WinSearchPlatform.h); tests answer from tables.
class SearchPlatform {
 public:
  virtual ~SearchPlatform() = default;

  // --- Files ---
  virtual bool fileExists(const AnsiText& path) = 0;
  // True when path names an existing entry, with its last-write time (a
  // 64-bit Windows file time).
  virtual bool fileTime(const AnsiText& path, std::uint64_t& time) = 0;
  // normalizePath of WinPaths.h: against the executable directory, absolute,
  // lower-case; empty when that is impossible.
  virtual AnsiText normalizePath(const AnsiText& path) = 0;
  // The first line of a text file with its line end, cut to a value buffer;
  // false when the file cannot be opened or is empty.
  virtual bool readFirstLine(const AnsiText& file, AnsiText& line) = 0;

  // --- Where runtimes are named ---
  // False when the variable is unset, empty, or longer than a value buffer.
  // The name is handed to the system as ANSI text.
  virtual bool environmentValue(const AnsiText& name, AnsiText& value) = 0;
  // The first java.exe on the program search path.
  virtual bool javaExeOnSearchPath(AnsiText& path) = 0;
  // A value of any type as text (up to its first NUL); capacity is the buffer
  // size it must fit in, terminator included.
  virtual bool registryString(RegistryRoot root, const AnsiText& subkey, const char* valueName,
                              AnsiText& value, std::size_t capacity) = 0;
  // The subkey names of a key in the order the registry lists them; false
  // when the key cannot be opened.
  virtual bool registrySubkeys(RegistryRoot root, const AnsiText& key, std::vector<AnsiText>& names) = 0;

  // --- Version cache and probe ---
  // The cache entry of a normalised java.exe path as stored: the recorded
  // file time's bytes and the version text. False when there is none.
  virtual bool readVersionCache(const AnsiText& path, std::string& storedTime, std::string& version) = 0;
  virtual void writeVersionCache(const AnsiText& path, const std::string& storedTime,
                                 const std::string& version) = 0;
  // Runs the java.exe with -version and takes its version line.
  virtual bool probeVersion(const AnsiText& path, std::string& version) = 0;

  // --- Processor ---
  // The machine field of an executable's PE file header; false when the file
  // cannot be read as one.
  virtual bool executableMachine(const AnsiText& path, std::uint16_t& machine) = 0;
  // The machine this launcher runs as (PE_MACHINE_X86 or PE_MACHINE_X64).
  virtual std::uint16_t ownMachine() = 0;

  // --- Runtime library ---
  // Loads a library by its full path, with the runtime's bin directory (that
  // of javaExe) on the DLL search path; null when absent or not loadable.
  virtual void* loadLibrary(const AnsiText& library, const AnsiText& javaExe) = 0;
  // Looks up JNI_CreateJavaVM in the module and fills the entry point slot.
  virtual bool bindCreateJavaVm(void* module) = 0;
};

// --- Verification and version cache -----------------------------------------

// home + "\jre\bin\java.exe" when that file exists, else home +
// "\bin\java.exe" (not tested). The home text is used as written.
AnsiText javaExeForHome(SearchPlatform& platform, const AnsiText& home);

// How the cache records a file time: 8 bytes, least significant first.
std::string fileTimeBytes(std::uint64_t time);
// An entry answers only for the file time it was written for, and only with
// a version a probe found (an empty one was not written by a probe).
bool versionCacheAnswers(const std::string& storedTime, const std::string& version, std::uint64_t time);
void storeJvmVersion(SearchPlatform& platform, const AnsiText& path, std::uint64_t lastWriteTime,
                     const std::string& version);
bool lookupJvmVersion(SearchPlatform& platform, const AnsiText& path, std::uint64_t lastWriteTime,
                      std::string& version);

// Normalises path, passes over a runtime built for another processor (its
// library could never load into this process, and a later source may hold
// one that can), learns the runtime's version (cache or probe) and holds it
// against the range. With application type 1 an accepted path is handed back
// as the javaw.exe beside it, which must exist. version holds what was learnt.
bool verifyJavaExeVersion(SearchPlatform& platform, AnsiText& path, std::string& version,
                          const std::string& minimum, const std::string& maximum, bool allowBeta);
bool verifyJavaExe(SearchPlatform& platform, AnsiText& path, const std::string& minimum,
                   const std::string& maximum, bool allowBeta);

// The highest-versioned runtime of the located list over both roots (the
// user's entry wins only when strictly higher). Runtimes in the list were
// picked by a person, so beta versions count.
bool bestLocatedJvm(SearchPlatform& platform, AnsiText& path, std::string& version, const std::string& minimum,
                    const std::string& maximum);

// --- Search sequence ----------------------------------------------------------

// The first line of the base directory's ".sorbilane\pref_jre.cfg" without
// its line end (ANSI text, as it names a folder); false without a usable
// base directory or line.
bool readPreferredJre(SearchPlatform& platform, AnsiText& line);
// sourceName receives what the message of a failed library names: an entry
// of the sequence (page text) or the preferred runtime's line (ANSI text).
JvmSourceKind runSearchSequence(SearchPlatform& platform, AnsiText& candidate, std::string& sourceName);
// name is a configured entry (page text) or a fixed name; the system reads it
// as ANSI text.
bool jvmFromEnvironment(SearchPlatform& platform, AnsiText& candidate, const PageText& name,
                        const std::string& minimum, const std::string& maximum);
// directory is a configured entry (page text) or a path the system gave
// (ANSI text); it is used as ANSI text.
bool jvmFromDirectory(SearchPlatform& platform, AnsiText& candidate, const std::string& directory,
                      const std::string& minimum, const std::string& maximum);
bool jvmFromSearchPath(SearchPlatform& platform, AnsiText& candidate, const std::string& minimum,
                       const std::string& maximum);
// The JavaSoft families, then the located list; equal versions choose the
// runtime the user picked.
bool jvmFromRegistry(SearchPlatform& platform, AnsiText& candidate, const std::string& minimum,
                     const std::string& maximum);
bool jvmFromJavaSoft(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                     const std::string& minimum, const std::string& maximum);
// "CurrentVersion" of a development-kit and a runtime family decide the key.
bool jvmFromCurrentVersion(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                           const std::string& minimum, const std::string& maximum,
                           const char* devKitFamily = JAVASOFT_JDK_KEY, const char* runtimeFamily = JAVASOFT_JRE_KEY);
bool jvmFromJavaSoftSubkeys(SearchPlatform& platform, AnsiText& candidate, std::string& version,
                            const std::string& minimum, const std::string& maximum, const char* familyKey);

// --- Runtime library and the whole search --------------------------------------

// The first library of the runtime that loads: beside the java.exe (the
// configured VM type first), then in a JDK's private ../jre/bin. Null when
// none does.
void* loadJvmLibrary(SearchPlatform& platform, const AnsiText& javaExe);

// The java.exe of the first runtime the last locateJvm passed over because
// it was built for another processor; empty when it passed over none.
const AnsiText& otherProcessorRuntime();

// Finds a usable runtime, loads its library and binds JNI_CreateJavaVM. With
// ansiGivenPath null: the configured search. Otherwise checks the given java.exe
// (givenIsJavaExe) or Java home. With reportErrors the user is told why
// nothing works (the message follows the source); the process goes on.
bool locateJvm(SearchPlatform& platform, bool reportErrors, const char* ansiGivenPath, bool givenIsJavaExe);

}  // namespace plimo
