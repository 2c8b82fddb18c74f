#include "block/NameRules.h"

namespace plimo {

namespace {

bool equalsIgnoringCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

// The digit after COM or LPT. Windows lists COM0 and LPT0 among the reserved
// names although few systems have such a port, and it maps the superscript
// digits 1 to 3 (Latin-1 U+00B9, U+00B2, U+00B3) like the plain ones. All of
// them are refused: a refused name costs the installer's author one rename, a
// name let through would send an installer's file to a port. Names arrive in the ANSI code page (payload
// names, most archives) or in UTF-8 (pax records, plimo-pack's project file),
// so both encodings of the superscripts count.
bool isPortNumber(std::string_view text) {
  auto isSuperscript = [](unsigned char c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; };
  if (text.size() == 1) {
    return (text[0] >= '0' && text[0] <= '9') || isSuperscript(static_cast<unsigned char>(text[0]));
  }
  return text.size() == 2 && static_cast<unsigned char>(text[0]) == 0xC2 &&
         isSuperscript(static_cast<unsigned char>(text[1]));
}

}  // namespace

bool isReservedDeviceName(std::string_view component) {
  // Windows looks only at the text before the first dot and ignores blanks
  // at its end; trailing dots and blanks of the whole name are dropped too,
  // which leaves the same stem.
  std::string_view stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (equalsIgnoringCase(stem, device)) return true;
  }
  if (stem.size() < 4) return false;
  std::string_view port = stem.substr(0, 3);
  return (equalsIgnoringCase(port, "COM") || equalsIgnoringCase(port, "LPT")) && isPortNumber(stem.substr(3));
}

}  // namespace plimo
