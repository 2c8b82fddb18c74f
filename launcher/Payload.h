#pragma once
#include <cstdint>
#include <string>

#include "launcher/ByteSource.h"

namespace plimo {

// Writes the payload files of the block into a fresh directory under the
// user's temporary directory and returns its path in tempDir (absolute, no
// trailing backslash), or leaves it empty when entry 2002 is zero or
// absent. Failures end the process with message 1009 and a code.
void extractPayload(std::string& tempDir);

// extractPayload over an already open executable whose first payload record
// starts at offset. Records every path in extractedFiles and extractedDirs.
void extractPayloadFrom(ByteSource& executable, std::uint64_t offset, std::string& tempDir);

// A new empty file with the prefix "plm" in the system temporary directory,
// as the system names it. False (out empty) when the system gives no name.
bool makeTempFileName(std::string& out);

// Reads one record (length, then scrambled bytes) from the executable's
// position and writes it to path. A record of length zero or less creates no
// file. Ends the process with message 1009 (code 11: the file cannot be
// created; 12: the record cannot be read; 13: it cannot be written) or, when
// the length itself is cut short, with "Internal Error: readInt".
void writePayloadFile(ByteSource& executable, const std::string& path);

}  // namespace plimo
