#pragma once
#include <cstdint>
#include <string>

namespace plimo {

// True when the file or directory exists; drive roots ("c:\", "c:\.",
// "c:\.\.") always exist without asking the file system.
bool fileExists(const char* path);

}  // namespace plimo
