#pragma once
// Narrow texts of the block are in a Windows code page; the project file and
// the console speak UTF-8. A code page is named as iconv names it, and only
// names with a Windows code page number (windowsCodePage) are taken, on every
// host alike; the conversion itself is the host's (SystemCodePage.h). What
// the conversion gives is page text (block/TextKinds.h); code page names are
// ASCII.
#include <string>

#include "block/TextKinds.h"

namespace plimo::pack {

enum class Conversion { Ok, UnknownCodePage, NotRepresentable };

// UTF-8 text into the code page (a name such as "windows-1252" or "cp932";
// UnknownCodePage for a name without a Windows number). NotRepresentable when a character has no form in that code page;
// nothing is approximated.
Conversion toCodePage(const Utf8Text& utf8, const std::string& codePage, PageText& out);
// Bytes in the code page into UTF-8; NotRepresentable when the bytes are not
// valid in that code page.
Conversion fromCodePage(const PageText& bytes, const std::string& codePage, Utf8Text& utf8);

// The Windows code page number for an iconv name ("windows-1252" 1252,
// "cp932" and "shift_jis" 932, "utf-8" 65001, ...); 0 when there is none.
int windowsCodePage(const std::string& iconvName);
// An iconv name for a Windows code page number; empty for 0 or below.
std::string iconvNameOf(int windowsCodePage);

}  // namespace plimo::pack
