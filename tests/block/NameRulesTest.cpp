// The device-name rule, and the payload reader and the archive reader
// applying it alike.
#include <gtest/gtest.h>

#include <string>

#include "block/NameRules.h"
#include "block/PayloadFormat.h"
#include "provision/TarReader.h"

namespace plimo {
namespace {

const char SUPERSCRIPT_ONE_ANSI[] = "COM\xB9";
const char SUPERSCRIPT_TWO_UTF8[] = "lpt\xC2\xB2.txt";
const char SUPERSCRIPT_THREE_UTF8[] = "Com\xC2\xB3";

const std::string DEVICES[] = {
    "CON", "prn", "Aux", "nUl", "conin$", "CONOUT$",              // the fixed names, any case
    "COM1", "com9", "LPT1", "lpt9", "COM0", "lpt0",               // ports, 0 included
    SUPERSCRIPT_ONE_ANSI, SUPERSCRIPT_TWO_UTF8, SUPERSCRIPT_THREE_UTF8,
    "nul.txt", "com1.tar.gz", "AUX.", "con .txt", "PRN  ", "lpt3 ..", "con.",  // extension, blanks, dots
};

const std::string FILES[] = {
    "console", "nulx.txt", "com10", "lpt", "COMA", "conx.txt", "xcon", "com", "lpt1x", "acom1",
    "com\xB4", "com\xC2\xB9x", "com\xC3\xB9",  // other Latin-1 characters, a longer UTF-8 tail
    "com 1", "con_", "auxiliary.jar",
};

TEST(NameRules, DeviceNamesWithAndWithoutDecoration) {
  for (const std::string& name : DEVICES) EXPECT_TRUE(isReservedDeviceName(name)) << name;
  for (const std::string& name : FILES) EXPECT_FALSE(isReservedDeviceName(name)) << name;
}

// A name must not be a file in the payload and a device in the archive, or
// the other way round.
TEST(NameRules, PayloadAndArchiveReadersAgree) {
  char out[256];
  for (const std::string& name : DEVICES) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(isPlainFileName(name));
    EXPECT_FALSE(sanitizeTarName(name.data(), name.size(), out, sizeof out));
    std::string nested = "bin/" + name;
    EXPECT_FALSE(sanitizeTarName(nested.data(), nested.size(), out, sizeof out));
  }
  for (const std::string& name : FILES) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(isPlainFileName(name));
    EXPECT_TRUE(sanitizeTarName(name.data(), name.size(), out, sizeof out));
  }
}

}  // namespace
}  // namespace plimo
