#pragma once
#include <string>

namespace plimo {

// Writes the payload files of the block into a fresh directory under the
// user's temporary directory and returns its path in tempDir (absolute, no
// trailing backslash), or leaves it empty when entry 2002 is zero or
// absent. Failures end the process with message 1009 and a code.
void extractPayload(std::string& tempDir);

}  // namespace plimo
