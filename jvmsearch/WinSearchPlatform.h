#pragma once
// The Win32 side of the runtime search: the real files, variables, registry,
// probe and library loading behind SearchPlatform.
#include <string>

#include "jvmsearch/JvmSearch.h"

namespace plimo {

// The process's platform for the search (one instance, made on first use).
SearchPlatform& windowsSearchPlatform();

// Runs `"<path>" -version` hidden, in the folder of path, reads its standard
// error and takes the version line. Fails when the child cannot start, its
// output ends (or fills 8192 bytes) without a version line, or it runs past
// the time limit. Returns only once the child has ended: after the version
// line it is given the rest of the time limit, and it is ended on every path
// that gives up on it.
bool probeJavaVersion(const AnsiText& path, std::string& version);
// Ends the java.exe a probe on another thread is waiting for, if any, and
// waits for it: the process is ending and must not leave it behind.
void endRunningProbe();
// The probe's time limit in milliseconds (a few seconds by default).
void setProbeTimeLimit(unsigned milliseconds);

// Loads one library by its full path. Its imports are looked for in its own
// folder, the bin directory of javaExe (a current jvm.dll needs the C runtime
// DLLs kept there) and the system directory only, never in the program's
// folder or PATH; bin leaves the search again once the load is done. A system
// without those search flags (Windows 7 before its 2011 loader update) loads
// it with bin as the DLL directory for the load instead, where the program's
// folder still comes first. Null when it is absent or does not load; the
// module is returned as an opaque handle (HMODULE).
void* loadRuntimeLibrary(const AnsiText& library, const AnsiText& javaExe);

}  // namespace plimo
