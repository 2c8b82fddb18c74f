#pragma once
#include <string>
#include <string_view>

#include "block/TextKinds.h"

namespace plimo {

// Replaces the first occurrence of placeholder in pageText (a narrow message)
// by value (verbatim; a placeholder inside value is not expanded). A null or
// absent placeholder leaves the text unchanged. The result is cut at
// MAX_VALUE_LENGTH bytes, the size of the buffer a message is built in.
// Placeholders are ASCII and start with '%', which is never the second byte
// of a character, so the byte-wise search finds only whole ones. value is
// page text (a configured name) or ANSI text (a path the system gave), as
// the caller has it: its bytes are inserted either way.
PageText expandPlaceholder(std::string_view pageText, const char* placeholder, const char* value);

}  // namespace plimo
