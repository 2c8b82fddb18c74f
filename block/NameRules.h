#pragma once
// Name rules shared by everything that turns a name from an installer's data
// into a file on Windows: payload file names, runtime archive entry names and
// the names plimo-pack accepts. Portable, so the builder refuses exactly what
// the launcher would.
#include <string_view>

namespace plimo {

// True when Windows would open a device instead of a file for this one path
// component, wherever it is placed: CON, PRN, AUX, NUL, CONIN$, CONOUT$,
// COM0-COM9 and LPT0-LPT9, COM and LPT followed by a superscript 1, 2 or 3
// (in the ANSI code page or in UTF-8), in any case, also with an extension
// ("nul.txt", "com1.tar.gz") and with blanks or dots before it or at the end
// ("con .txt", "aux.", "prn  "). Takes every narrow kind: payload names are
// page text, archive names ANSI or UTF-8, plimo-pack's UTF-8. The names are
// ASCII, and '.' and blanks are never the second byte of a character; a
// double-byte character that happens to hold a superscript byte is refused
// too, which errs on the safe side.
bool isReservedDeviceName(std::string_view component);

}  // namespace plimo
