#pragma once
// The system's own conversion between UTF-8 and a Windows code page, by its
// number: iconv on Linux (posix/), MultiByteToWideChar and WideCharToMultiByte
// on Windows (windows/). Both take only what converts exactly: nothing is
// approximated (no best-fit or transliteration), and bytes that are not valid
// in the code page are refused. CodePage.cpp maps names to numbers, the same
// on every host, so a project builds the same installer wherever it is built.
#include <string>

#include "tools/plimo-pack/CodePage.h"

namespace plimo::pack {

// UTF-8 text into the code page. UnknownCodePage when this system cannot
// convert to it; NotRepresentable when a character has no exact form there or
// the input is not valid UTF-8.
Conversion encodeCodePage(const Utf8Text& utf8, int windowsCodePage, PageText& out);
// Bytes in the code page into UTF-8; NotRepresentable when they are not valid there.
Conversion decodeCodePage(const PageText& bytes, int windowsCodePage, Utf8Text& utf8);

}  // namespace plimo::pack
