#pragma once
#include <string>
#include <string_view>

namespace plimo {

// Replaces the first occurrence of placeholder in text by value (verbatim;
// a placeholder inside value is not expanded). A null or absent placeholder
// leaves the text unchanged. The result is cut at MAX_VALUE_LENGTH bytes, the
// size of the buffer a message is built in.
std::string expandPlaceholder(std::string_view text, const char* placeholder, const char* value);

}  // namespace plimo
