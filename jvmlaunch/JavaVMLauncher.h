#pragma once
#include <jni.h>

#include <cstdio>
#include <string>
#include <vector>

#include "block/TextKinds.h"

namespace plimo {

// What the VM calls when the Java program ends the process (System.exit):
// it must end the process itself, with the status. A runtime ends the
// process through its own C library otherwise, past the launcher's exit
// handlers.
using RuntimeExitHook = void(JNICALL*)(jint status);

// Creates the Java VM in this process through the bound JNI_CreateJavaVM,
// calls the configured main class's main(String[]) on this thread and
// destroys the VM after it returns. True after a normal return; false when
// the VM could not be created, the entry point was never bound, or main
// ended with an exception. Bad quoting, a missing required class path item,
// a missing main class or main method end the process with their message.
// exitHook (may be null) is handed to the VM as its "exit" option.
// utf8CommandLine is the tail of the command line after the program name.
bool launchJvm(int jniVersion, const char* utf8CommandLine, const char* ansiCommFile, const char* ansiSemaphoreName,
               const char* ansiTempDir, RuntimeExitHook exitHook);

// What the launch needs from the operating system. The Win32 shell answers
// with the real calls; tests answer from tables.
class LaunchPlatform {
 public:
  virtual ~LaunchPlatform() = default;
  // False when the variable is not defined; true with its value (possibly
  // empty) otherwise. Values have no length limit. The name is a configured
  // one, which the system reads as ANSI text.
  virtual bool environmentVariable(const PageText& name, AnsiText& value) = 0;
  // True when the file or directory exists.
  virtual bool fileExists(const AnsiText& path) = 0;
  // A relative path prefixed with the executable directory; an absolute one
  // kept; doubled backslashes collapsed. The empty path gives the executable
  // directory with its trailing backslash.
  virtual AnsiText resolveAgainstExeDir(const AnsiText& path) = 0;
  // resolveAgainstExeDir, made absolute and lower-cased.
  virtual AnsiText normalizePath(const AnsiText& path) = 0;
  // Names (not paths) of the entries of dir matching "*.<ext>", in the order
  // the file system enumerates them; directories included. Empty when the
  // search cannot start.
  virtual std::vector<AnsiText> listDirectoryMatches(const AnsiText& dir, const std::string& ext) = 0;
  // Full path of the launcher's own executable file.
  virtual AnsiText moduleFileName() = 0;
  // A configured program argument (narrow, in the installer's code page) as
  // UTF-16.
  virtual std::u16string toUtf16(const PageText& text) = 0;
  // A program argument from the command line (UTF-8) as UTF-16.
  virtual std::u16string commandLineToUtf16(const Utf8Text& text) = 0;
  // A "-J" option from the command line (UTF-8) in the encoding the VM reads
  // its options in.
  virtual AnsiText commandLineToSystem(const Utf8Text& text) = 0;
  // The hook the VM calls instead of ending the process itself; null for
  // none (the VM then ends the process its own way).
  virtual RuntimeExitHook exitHook() = 0;
};

// --- Argument splitting and launcher variables ----------------------------
// These take every narrow kind (configured parameters in page text, the
// command line in UTF-8) and give back items of the kind they were given:
// blanks, quotes, apostrophes and '%' are never the second byte of a
// character, so splitting and replacing byte by byte keeps characters whole.

// Cuts text into items at blanks, honouring double quotes and apostrophes.
// With a prefix, only the leading items that start with it are taken (without
// it). Returns the position where splitting stopped: the unconsumed rest.
// An unclosed quote ends the process with message 1007.
const char* splitArguments(const char* text, const char* prefix, std::vector<std::string>& items);
// Takes the item that starts at start and whose quoted part opens at
// openQuote (start == openQuote for an item that begins with its quote): the
// text before the quote followed by the quoted text, quotes removed. Returns
// where splitting goes on: after the closing quote and one blank after it.
const char* takeQuotedToken(std::vector<std::string>& items, const char* openQuote, const char* start, char quote);
// Replaces every occurrence of placeholder; inserted text is not searched again.
void replaceAll(std::string& text, const std::string& placeholder, const std::string& replacement);
// Replaces the launcher variables (executable directory, temporary directory,
// path-list separator) in the configured VM parameters. The text may grow
// without limit. The directories are ANSI text, as the VM reads its options.
void substituteLauncherVariables(PageText& text, const AnsiText& exeDir, const AnsiText& tempDir);

// --- Class path ------------------------------------------------------------
// The option is ANSI text, what the VM reads. Configured items (entry 121)
// are page text and join it as they are: the same bytes as ANSI text when the
// installer was built for the system's code page.

// "-Djava.class.path=" + quote + ";" + every element followed by ";" + quote.
// Built without a length limit. Missing required items end the process with
// message 1006 or 1008.
AnsiText buildClassPathOption(LaunchPlatform& platform, const AnsiText& tempDir);
// Appends each element followed by ";": the archives of tempDir (jars, then
// zips), the runtime jar, then the configured items of entry 121 in order
// (empty items skipped).
void appendClassPathEntries(LaunchPlatform& platform, AnsiText& option, const AnsiText& tempDir);
// One configured item: a kind letter, a flag ('1': required) and a name. An
// item shorter than two characters is ignored. 'A' and 'D' name a file or
// directory, 'E' a variable, 'S' a directory to scan; other kinds add
// nothing. A required item that is missing ends the process with message
// 1006 (1008 for a variable).
void appendConfiguredItem(LaunchPlatform& platform, AnsiText& option, const PageText& item);
// The name resolved against the executable directory, added whether or not
// it exists; true when it exists.
bool appendFileItem(LaunchPlatform& platform, AnsiText& option, const PageText& name);
// The variable's value, without one pair of enclosing quotes, and ";" unless
// it ends with one. An undefined or empty variable adds nothing and returns
// false; when required it ends the process with message 1008.
bool appendVariableItem(LaunchPlatform& platform, AnsiText& option, const PageText& name, bool required);
// The jars, then the zips of the directory named (resolved against the
// executable directory); true when the directory exists, even if empty.
bool appendScannedDirectoryItem(LaunchPlatform& platform, AnsiText& option, const PageText& name);
// Appends dir\name; for every "*.<ext>" match; false (nothing appended) when
// dir does not exist.
bool appendDirectoryArchives(LaunchPlatform& platform, AnsiText& option, const AnsiText& dir,
                             const std::string& ext);
// Installer kind only: the base directory's ".sorbilane\sblruntime.jar".
void appendRuntimeJar(LaunchPlatform& platform, AnsiText& option);

// --- VM options file -------------------------------------------------------

// "<module file name>.vmoptions" opened for reading in text mode; null when
// it cannot be opened.
std::FILE* openVmOptionsFile(const AnsiText& moduleFileName);
// One option per line, line ends removed; a line longer than 8191 bytes
// arrives as several options. A missing file adds nothing. The file's lines
// are taken as ANSI text, as the VM reads them.
void appendVmOptionsFileLines(LaunchPlatform& platform, std::vector<AnsiText>& options);

// --- The launch ------------------------------------------------------------

// The "-D" launcher properties in their fixed order; ansiCommFile and
// ansiSemaphoreName may be null.
std::vector<AnsiText> launcherProperties(const AnsiText& moduleFileName, const char* ansiCommFile,
                                         const char* ansiSemaphoreName, bool manualMode);
// Fills options in launch order (properties, VM options file, class path,
// configured VM parameters, "-J" items) and returns the program-argument text
// (the rest of commandLine). The "-J" items are converted to ANSI text; the
// configured VM parameters are page text and join the options as they are.
Utf8Text buildVmOptions(LaunchPlatform& platform, const std::vector<AnsiText>& properties,
                        const AnsiText& tempDir, const Utf8Text& commandLine, std::vector<AnsiText>& options);
// Clears args and fills it with the options, then the option "exit" with
// exitHook as its extra information when exitHook is not null. The option
// array and its texts are kept for the rest of the process, as the VM may
// hold on to them.
void buildVmInitArgs(JavaVMInitArgs& args, const std::vector<AnsiText>& options, jint version,
                     RuntimeExitHook exitHook = nullptr);
// Creates the VM through createJavaVmEntry; true when it returned JNI_OK.
bool createJavaVm(LaunchPlatform& platform, jint version, const Utf8Text& commandLine,
                  const std::vector<AnsiText>& properties, const AnsiText& tempDir, Utf8Text& programArguments);
// Looks up the main class and main(String[]), passes the configured (page
// text) and the given arguments (argumentText) and calls it. False when an exception is pending afterwards
// or the argument array cannot be built (the VM's exception is described).
bool invokeMainClass(LaunchPlatform& platform, JNIEnv* env, const Utf8Text& argumentText);
// Every "." becomes "/" (never the second byte of a character).
void toInternalClassName(PageText& name);
// The whole launch over a platform; launchJvm is this with the Win32 one.
bool launchJvm(LaunchPlatform& platform, jint version, const Utf8Text& commandLine, const char* ansiCommFile,
               const char* ansiSemaphoreName, const AnsiText& tempDir);

}  // namespace plimo
