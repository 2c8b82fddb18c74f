#pragma once
// The byte and name rules of payload extraction, kept apart from the file
// system so that they run and are tested on every platform.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "block/ByteSource.h"
#include "block/TextKinds.h"

namespace plimo {

// Where copied bytes go: a payload file at run time, memory in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes up to n bytes; written receives how many were taken (possibly
  // fewer than n). False when the write itself failed.
  virtual bool write(const void* data, std::size_t n, std::size_t& written) = 0;
};

// The payload file names of entry 2003 (page text): fields separated by ";"
// (never the second byte of a character), empty fields skipped, order kept.
std::vector<PageText> splitPayloadNames(std::string_view pageList);

// Why the launcher refuses a payload name, the first reason that applies:
// empty; holding "\", "/" or ":"; made of dots and blanks only ("." and ".."
// among them: Windows trims trailing dots and blanks, so such a name reaches
// the directory itself); a DOS device name such as "NUL" or "com1.txt" (those
// open a device wherever they are placed). The name is page text, searched
// byte by byte: in a double-byte code page a character whose second byte is
// '\' makes the name refused. plimo-pack explains its refusals from this.
enum class NameFault { None, Empty, Separator, DotsAndBlanksOnly, DeviceName };
NameFault payloadNameFault(std::string_view pageName);

// True for a name that can only name a file directly inside the extraction
// directory: payloadNameFault finds nothing.
bool isPlainFileName(std::string_view pageName);

// The extraction directory's name: the temporary file name the system chose
// (ANSI text), "_dir", and the random number in decimal without padding.
AnsiText tempDirNameFrom(std::string_view ansiTempFileName, int randomNumber);

// Bytes per read and write while copying a payload record.
std::size_t payloadChunkSize(std::uint64_t remaining);

// Told how many bytes of a copy have been written, after each chunk.
class CopyProgress {
 public:
  virtual ~CopyProgress() = default;
  virtual void copied(std::uint64_t bytes) = 0;
};

enum class CopyResult {
  Done,
  ReadFailed,    // a read call failed
  SourceEnded,   // a read delivered nothing before the record was complete
  WriteFailed,   // a write call failed or took no bytes
};

// Copies length bytes from the source's position to the target through one
// chunk buffer of at most PAYLOAD_CHUNK_SIZE bytes (memory use does not grow
// with length), XOR-ing each byte with PAYLOAD_KEY when descramble is set.
// Each chunk is written with as many calls as the target needs; progress
// (may be null) hears of each chunk written.
CopyResult copyDescrambled(ByteSource& source, ByteSink& target, std::uint64_t length, bool descramble,
                           CopyProgress* progress = nullptr);

// The code that message 1009 shows for a failed copy ("12" for reading, "13"
// for writing); null for Done.
const char* copyFailureCode(CopyResult result);

}  // namespace plimo
