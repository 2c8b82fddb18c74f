#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "block/TextKinds.h"
#include "jvmsearch/PathText.h"

namespace plimo {

// The path utilities that ask the system (the file system, the command line,
// the running module), shared by the whole Win32 shell. Paths are ANSI text
// (block/TextKinds.h). The text rules alone are in PathText.h.

// True when the file or directory exists; drive roots ("c:\", "c:\.",
// "c:\.\.") always exist without asking the file system.
bool fileExists(const char* ansiPath);
// True when the path names an existing entry; stores its last-write time
// (64-bit Windows file time) when time is not null.
bool findFileTime(const char* ansiPath, std::uint64_t* time);
// Absolute, lower-case path of the launcher as its command line names it
// (ANSI text, the short form where needed), computed once; empty when the
// command line's quote is not closed.
const char* executablePath();
// GetFullPathName into a path buffer; empty when it fails or would not fit.
// fileNameOffset, when given, receives where the file name part starts.
AnsiText fullPathName(const AnsiText& path, std::size_t* fileNameOffset = nullptr);
// The file of the module running, in its ANSI code page form (the short name
// where the code page cannot hold the long one); empty when it cannot be read.
AnsiText moduleFilePath();
// The executable directory (with its trailing backslash) followed by source
// when source is relative, else source; doubled backslashes collapsed. The
// source's case is kept and "." or ".." are not resolved. Empty when the
// result would be longer than a path buffer holds (MAX_VALUE_LENGTH): a cut
// path could name another file. When the command line names no usable
// program, the executable directory is that of the running module.
AnsiText resolveAgainstExeDir(const AnsiText& source);
// resolveAgainstExeDir, then made absolute, lower-cased and collapsed; empty
// when the path cannot be made absolute within a path buffer.
AnsiText normalizePath(const AnsiText& source);

}  // namespace plimo
