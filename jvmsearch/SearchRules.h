#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/CodePage.h"
#include "block/TextKinds.h"

namespace plimo {

// Text rules of the runtime search that need no system access.

// Where a candidate came from; decides the message when its library fails.
enum class JvmSourceKind : int {
  NotFound = 0,
  FromSearchPath = 1,
  FromDefinedPath = 2,
  FromEnvironment = 3,
  FromRegistry = 4,
};

// One entry of the search sequence: its kind letter and the text after it,
// page text like the sequence it comes from (a variable name or a directory,
// which the search hands to the system as ANSI text).
struct SearchEntry {
  char letter;
  PageText argument;
};

// Splits the configured sequence at ";" the way strtok does: empty entries
// do not exist.
std::vector<SearchEntry> parseSearchSequence(const PageText& sequence);

// The fallback variable chosen by the launcher kind: 'e' PLIMO_JAVA_HOME,
// 'i' SORBILANE_JAVA_HOME, anything else none (null).
const char* fallbackVariable(char launcherKind);

// The message reporting an unusable runtime library of the given source.
struct SourceMessage {
  std::int32_t id;
  const char* placeholder;  // null when the message has none
};
SourceMessage messageForSource(JvmSourceKind kind);

// Short name of a source kind for the trace.
const char* sourceKindName(JvmSourceKind kind);

// The windowed twin of a runtime executable: "...\java.exe" becomes
// "...\javaw.exe". A path already naming javaw.exe is kept.
AnsiText windowedJavaExe(const AnsiText& javaExe);

// The directory of a java.exe or javaw.exe path with its trailing separator
// (the file name cut by its length); empty for a shorter path.
AnsiText javaExeDirectory(const AnsiText& javaExe);

// The VM type directories tried for jvm.dll, in order.
extern const char* const VM_TYPE_DIRECTORIES[4];

// The libraries tried beside a java.exe or javaw.exe: the preferred type
// directory when it is not empty, then the whole table from its start.
// preferredType is the configured directory name (page text, ASCII in
// practice).
std::vector<AnsiText> jvmLibrariesBeside(const AnsiText& javaExe, const PageText& preferredType);

// Where a JDK keeps its private runtime, seen from its java.exe:
// "<dir>../jre/bin/java.exe".
AnsiText privateJreJavaExe(const AnsiText& javaExe);

// A line without its trailing carriage returns and line feeds. Any narrow
// kind: neither is ever the second byte of a character.
std::string withoutLineEnd(std::string line);

// Registry key names of paths: the prefix, then the path (in the ANSI code
// page ansi) with every backslash turned into a forward slash, the second
// bytes of double-byte characters kept; and back again ('/' is never such a
// second byte).
AnsiText registryKeyForPath(const AnsiText& path, const std::string& prefix, const CodePage& ansi);
AnsiText pathFromKeyName(const AnsiText& keyName);

// Keys of the per-user version cache and of the list of runtimes picked by
// hand.
constexpr const char* VERSION_CACHE_KEY = "SOFTWARE\\kaldor-codework\\plimo\\jvms\\";
constexpr const char* LOCATED_JVMS_KEY = "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms\\";
constexpr const char* JAVASOFT_JRE_KEY = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr const char* JAVASOFT_JDK_KEY = "SOFTWARE\\JavaSoft\\Java Development Kit";
// Where Java 9 and later register themselves.
constexpr const char* JAVASOFT_MODERN_JRE_KEY = "SOFTWARE\\JavaSoft\\JRE";
constexpr const char* JAVASOFT_MODERN_JDK_KEY = "SOFTWARE\\JavaSoft\\JDK";

}  // namespace plimo
