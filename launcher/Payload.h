#pragma once
#include <cstdint>
#include <string>

#include "block/ByteSource.h"
#include "block/PayloadFormat.h"
#include "block/TextKinds.h"

namespace plimo {

// Told after each chunk how many payload bytes have been written so far and
// how many follow the configuration in the executable in all.
class PayloadProgress {
 public:
  virtual ~PayloadProgress() = default;
  virtual void payloadWritten(std::uint64_t written, std::uint64_t total) = 0;
};

// Writes the payload files of the block into a fresh directory under the
// user's temporary directory and returns its path in tempDir (absolute, no
// trailing backslash), or leaves it empty when entry 2002 is zero or
// absent. Failures end the process with message 1009 and a code. progress
// (may be null) follows the bytes written.
void extractPayload(AnsiText& tempDir, PayloadProgress* progress = nullptr);

// extractPayload over an already open executable whose first payload record
// starts at offset. Records every path in extractedFiles and extractedDirs.
// The payload names (page text) are joined to tempDir and used as ANSI text.
void extractPayloadFrom(ByteSource& executable, std::uint64_t offset, AnsiText& tempDir,
                        PayloadProgress* progress = nullptr);

// Creates a fresh directory under the user's temporary directory (named
// from a temporary file name of the system), records it in extractedDirs and
// puts its path in tempDir. A failure ends the process with message 1009,
// code 7.
void createTempDir(AnsiText& tempDir);

// A new empty file with the prefix "plm" in the system temporary directory,
// as the system names it. False (out empty) when the system gives no name.
bool makeTempFileName(AnsiText& out);

// Reads one record (length, then scrambled bytes) from the executable's
// position and writes it to path. A record of length zero or less creates no
// file. Ends the process with message 1009 (code 11: the file cannot be
// created; 12: the record cannot be read; 13: it cannot be written) or, when
// the length itself is cut short, with "Internal Error: readInt".
void writePayloadFile(ByteSource& executable, const AnsiText& path, CopyProgress* progress = nullptr);

}  // namespace plimo
