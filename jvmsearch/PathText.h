#pragma once
#include <string>

#include "base/CodePage.h"
#include "block/TextKinds.h"

namespace plimo {

// The text rules of the path utilities, free of any file-system access so
// that they can be checked on their own. Paths are in the ANSI code page
// given as ansi: a rule that looks for '\' or letters steps over double-byte
// characters, whose second byte may be either.

// Relative in the launcher's sense: "c:\x", a quoted "c:\x" and "\\host\share"
// are absolute; "c:/x", "c:x", "\x", "jre" and "." are relative.
bool isRelativePath(const char* ansiPath);
// Drops every backslash that directly follows another one; a leading pair
// ("\\host\share") is kept so that a network path stays one.
void collapseBackslashes(AnsiText& path, const CodePage& ansi);

// "c:\", "c:\." and "c:\.\." (any first character): a drive root that
// counts as existing without asking the file system. Byte-wise, which is
// safe: ':' is never the second byte of a character.
bool isDriveRoot(const char* ansiPath);

// The program name at the start of a command line (UTF-8): the text between
// a leading double quote and the next one, or else the text up to the first
// blank. False (and name untouched) when the leading quote is never closed.
bool programNameFromCommandLine(const char* utf8CommandLine, Utf8Text& name);

// The directory part of an absolute path, up to and including its last
// backslash; empty when it has none.
AnsiText directoryPart(const AnsiText& path, const CodePage& ansi);

// exeDir followed by source when source is relative, else source; doubled
// backslashes collapsed. Empty when the result would not fit a path buffer
// (more than MAX_VALUE_LENGTH characters): a cut path could name another file.
AnsiText joinWithExeDir(const AnsiText& exeDir, const AnsiText& source, const CodePage& ansi);

// ASCII letters lowered in place, as the C library's _strlwr does in the "C"
// locale; other characters of the code page are kept whole.
void lowerCaseAscii(AnsiText& text, const CodePage& ansi);

}  // namespace plimo
