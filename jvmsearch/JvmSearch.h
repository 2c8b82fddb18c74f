#pragma once
// The pieces of the runtime search, verification, version cache and library
// loading. locateJvm (JvmLocator.h) is the entry point; these are declared for
// it and for tests. Paths are narrow strings; a candidate passed by reference
// is replaced by its normalised (absolute, lower-case) form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jvmsearch/SearchRules.h"

namespace plimo {

enum class RegistryRoot { CurrentUser, LocalMachine };

// --- Verification and version cache ---------------------------------------

// home + "\jre\bin\java.exe" when that file exists, else home +
// "\bin\java.exe" (not tested). The home text is used as written.
std::string javaExeForHome(const std::string& home);

// Normalises path, learns the runtime's version (cache or probe) and holds it
// against the range. With application type 1 an accepted path is handed back
// as the javaw.exe beside it, which must exist. version holds what was learnt.
bool verifyJavaExeVersion(std::string& path, std::string& version, const std::string& minimum,
                          const std::string& maximum, bool allowBeta);
bool verifyJavaExe(std::string& path, const std::string& minimum, const std::string& maximum, bool allowBeta);

// Runs `"<path>" -version` hidden, in the folder of path, reads its standard
// error and takes the version line. Fails when the child cannot start, its
// output ends (or fills 8192 bytes) without a version line, or it runs past
// the time limit. Returns only once the child has ended: after the version
// line it is given the rest of the time limit, and it is ended on every path
// that gives up on it.
bool probeJavaVersion(const std::string& path, std::string& version);
// Ends the java.exe a probe on another thread is waiting for, if any, and
// waits for it: the process is ending and must not leave it behind.
void endRunningProbe();
// The probe's time limit in milliseconds (a few seconds by default).
void setProbeTimeLimit(unsigned milliseconds);

// The per-user version cache, keyed by the normalised path of a java.exe and
// valid while the file's last-write time is unchanged.
void storeJvmVersion(const std::string& path, std::uint64_t lastWriteTime, const std::string& version);
bool lookupJvmVersion(const std::string& path, std::uint64_t lastWriteTime, std::string& version);

// The highest-versioned runtime of the located list under one root, and over
// both roots (the user's entry wins only when strictly higher).
bool bestLocatedJvmUnder(RegistryRoot root, std::string& path, std::string& version, const std::string& minimum,
                         const std::string& maximum);
bool bestLocatedJvm(std::string& path, std::string& version, const std::string& minimum,
                    const std::string& maximum);

// --- Runtime library --------------------------------------------------------

// Modules are returned as opaque handles (HMODULE); null when nothing loaded.
// Each library is loaded by its full path with the runtime's bin directory
// (the directory of the java.exe) on the DLL search path for the duration of
// the load, because a current jvm.dll needs the C runtime DLLs kept there.
void* loadJvmLibraryFromBin(const std::string& javaExe);
void* loadJvmLibrary(const std::string& javaExe);
// Looks up JNI_CreateJavaVM and fills the entry point slot (JniEntry.h).
bool bindCreateJavaVm(void* module);

// --- Search sequence ----------------------------------------------------------

JvmSourceKind runSearchSequence(std::string& candidate, std::string& sourceName);
bool readPreferredJre(std::string& line);
bool jvmFromEnvironment(std::string& candidate, const std::string& name, const std::string& minimum,
                        const std::string& maximum);
bool jvmFromDirectory(std::string& candidate, const std::string& directory, const std::string& minimum,
                      const std::string& maximum);
bool jvmFromSearchPath(std::string& candidate, const std::string& minimum, const std::string& maximum);
bool jvmFromRegistry(std::string& candidate, const std::string& minimum, const std::string& maximum);
bool jvmFromJavaSoft(std::string& candidate, std::string& version, const std::string& minimum,
                     const std::string& maximum);
// "CurrentVersion" of a development-kit and a runtime family decide the key.
bool jvmFromCurrentVersion(std::string& candidate, std::string& version, const std::string& minimum,
                           const std::string& maximum, const char* devKitFamily = JAVASOFT_JDK_KEY,
                           const char* runtimeFamily = JAVASOFT_JRE_KEY);
bool jvmFromJavaSoftSubkeys(std::string& candidate, std::string& version, const std::string& minimum,
                            const std::string& maximum, const char* familyKey);
// Reads a value of any type as text (up to its first NUL); capacity is the
// buffer size the value must fit in, terminator included.
bool readRegistryString(RegistryRoot root, const std::string& subkey, const char* valueName, std::string& value,
                        std::size_t capacity);

}  // namespace plimo
