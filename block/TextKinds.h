#pragma once
// The kinds of narrow text that travel through the launcher and plimo-pack.
// They are all bytes in a std::string, but each is in its own encoding, and a
// rule written for one must not run on another: in the double-byte code pages
// (932, 936, 949, 950) the second byte of a character can be '\' or an ASCII
// letter, so a byte-wise search for a separator or an ASCII case fold breaks
// a character apart. The aliases below change nothing for the compiler; they
// say at every function boundary which kind a string is, so that a reader
// sees a mix-up where it happens.
//
// Raw pointers and views carry no alias: a `const char*` or std::string_view
// parameter says its kind in its name instead (ansiPath, utf8Tail, pageText,
// ...). Text that is plain ASCII by construction (registry key and value
// names, option keys, placeholders, fixed literals, version numbers) may stay
// std::string or const char*, as every kind reads it alike; so do bytes that
// are not text (block records, file contents). A function that takes more
// than one kind says so in its comment.
#include <string>

namespace plimo {

// Text in the system's ANSI code page (GetACP), or a path's short (8.3) form
// where that page cannot hold the long one: paths and file names, registry
// values, environment values, the VM's options. Rules that look for '\' or
// fold letters are the double-byte aware ones, which take the code page
// (base/CodePage.h); a byte-wise rule may only look for the characters that
// are never a second byte (blank, '"', '%', '.', '/', ':', ';').
using AnsiText = std::string;

// UTF-8: the command line, as the launcher takes it from the system, and
// plimo-pack's project file and console. Every byte of a character outside
// ASCII is 0x80 or above, so byte-wise ASCII rules are safe on it.
using Utf8Text = std::string;

// Text in the installer's code page (configuration entry 154, the project's
// code page in plimo-pack): the block's narrow values and messages as
// ConfigStore reads them. Shown through that page (installerCodePage); where
// such a value is used as a path it is taken as ANSI text, which it is when
// the installer was built for the system's code page.
using PageText = std::string;

// UTF-16 travels as std::u16string or const char16_t* (wide messages, the
// block's wide table), and as std::wstring or const wchar_t* where it meets
// the wide Win32 calls.

}  // namespace plimo
