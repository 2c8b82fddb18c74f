#pragma once
// Text and path conversions of the Win32 shell. The system hands out paths
// and the command line in UTF-16; the launcher keeps paths in the ANSI code
// page, the encoding the Java VM reads its options (class path, properties)
// in, and keeps the command line in UTF-8, which holds every character.
#include <string>

#include "base/CodePage.h"
#include "block/TextKinds.h"

namespace plimo {

// The system's ANSI code page (GetACP): the one every narrow path is in.
CodePage ansiCodePage();

// Narrow text as UTF-16. Takes every narrow kind: codePage says which one
// text is (CP_ACP for ANSI, CP_UTF8, installerCodePage() for page text).
std::wstring wideFrom(const char* text, unsigned codePage);
// UTF-16 as UTF-8.
Utf8Text utf8From(const wchar_t* text);

// The ANSI code page form of a path: the path itself when the code page holds
// every character of it, else its short (8.3) form when that exists and the
// code page holds it. False when neither does (out is then empty).
bool ansiPath(const wchar_t* path, AnsiText& out);
// ansiPath, or the end of the process with the message that the path cannot
// be used, followed by the path on a line of its own.
AnsiText ansiPathOrFatal(const wchar_t* path);
// A value that may or may not be a path (an environment variable): its exact
// or short form as ansiPath gives it, else its text with '?' for what the
// code page cannot hold.
AnsiText ansiValue(const wchar_t* text);

// The code page the installer's narrow texts were written in (configuration
// entry 154), or 0 when the block records none or names one this system does
// not have: those texts are then read in the ANSI code page. The page of
// every PageText at run time.
unsigned installerCodePage();

}  // namespace plimo
