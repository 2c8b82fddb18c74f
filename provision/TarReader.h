#pragma once
// Reading a runtime archive: a tar stream (POSIX ustar, with the GNU and pax
// long-name records) unpacked into a target directory. The stream, the place
// files are written to and the progress display are small interfaces, so the
// same reader runs over a gzip file in the launcher, over memory in the fuzzer
// and into a scratch directory in the tests.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "block/Limits.h"

namespace plimo {

// Archive bytes read front to back: the decompressed tar stream, or under the
// gzip layer the bytes as the file stores them.
class TarSource {
 public:
  virtual ~TarSource() = default;
  // Reads up to n bytes (n <= 128 KiB). Returns the number read, 0 at the end
  // of the data, -1 when the read failed.
  virtual long read(void* destination, std::size_t n) = 0;
};

// Where the entries land. Paths are relative to the target, components
// separated by '/', already checked by the reader: never empty, never
// absolute, no "." or ".." component, no drive or stream colon. They are the
// archive's names, UTF-8 in the archives plimo-pack writes (pax records are
// UTF-8 by definition); the byte-wise checks of the reader are safe on UTF-8.
class TarTarget {
 public:
  virtual ~TarTarget() = default;
  // Creates one directory whose parent exists; an existing directory is fine.
  virtual bool makeDirectory(const char* utf8RelativePath) = 0;
  // Creates or truncates a file whose parent exists, for writing; at most one
  // file is open at a time.
  virtual bool openFile(const char* utf8RelativePath) = 0;
  virtual bool writeFile(const void* data, std::size_t n) = 0;
  // Closes the open file; false when the data did not all reach it.
  virtual bool closeFile() = 0;
};

// Progress display. position runs from 0 to 100.
class TarProgress {
 public:
  virtual ~TarProgress() = default;
  // A millisecond tick count that may wrap around.
  virtual std::uint32_t ticks() = 0;
  virtual void setPosition(int position) = 0;
};

enum class TarStatus {
  Ok,
  ReadError,       // the stream reported a failed read
  Truncated,       // the data ended inside a header or an entry's data
  BadHeader,       // a size that is not octal, negative or too large; a malformed record
  UnsafeName,      // absolute, climbing out with "..", or otherwise not a plain relative name
  NameTooLong,     // a name that does not fit a path buffer
  CreateFailed,    // a directory or file could not be created
  WriteFailed,     // a file could not be written completely
  OpenFailed,      // the archive file could not be opened
};
const char* tarStatusText(TarStatus status);

// Octal number field of a header: leading blanks and zeros are skipped; a
// blank or NUL after the first significant digit, or the end of the field,
// ends it. An empty field reads as 0. A character that is not an octal digit,
// or a value above INT32_MAX, gives -1.
std::int32_t parseTarOctal(const char* field, int width);

// The stream being unpacked: the decompressed bytes consumed so far (what
// the progress is computed from) and the one copy buffer.
struct TarInput {
  explicit TarInput(TarSource& source) : source(source), chunk(new char[ARCHIVE_CHUNK_SIZE]) {}
  TarSource& source;
  std::uint64_t consumed = 0;
  std::unique_ptr<char[]> chunk;
};

// Progress position 0..100 for consumed bytes of total; a missing or
// non-positive total gives 0.
int tarProgressPosition(std::uint64_t consumed, std::int64_t total);

// Copies size bytes of entry data from input into the already checked file
// name of target, in chunks of ARCHIVE_CHUNK_SIZE, reporting progress at most
// every 200 ms. Missing parent directories are created. The input is left
// after the last data byte read; a file left incomplete stays on disk.
TarStatus extractTarEntryFile(TarInput& input, TarTarget& target, const char* utf8Name, std::int64_t size,
                              TarProgress* progress, std::int64_t total);

// Unpacks the whole tar stream into target. Regular files ('0') and
// directories ('5') are written; long names come from the ustar prefix, a GNU
// 'L' record or a pax "path" record; every other entry is skipped. The first
// header without the "ustar" magic (the closing zero blocks) or the end of
// the data at a header boundary ends it with success. progress may be null.
TarStatus extractTarStream(TarSource& source, TarTarget& target, TarProgress* progress, std::int64_t total);

// Inflates the stored bytes of file as gzip (members one after another;
// plain data without the gzip magic passes through unchanged) and unpacks
// them with extractTarStream. Data that ends inside a gzip member is a failed
// read (ReadError), and so is a read of file that fails anywhere, also between
// members.
TarStatus extractTarGz(TarSource& file, TarTarget& target, TarProgress* progress, std::int64_t total);
// extractTarGz over the file at ansiPath; OpenFailed when it cannot be opened.
TarStatus extractTarGzFile(const char* ansiPath, TarTarget& target, TarProgress* progress, std::int64_t total);

// Checks an archive entry name and writes it to out (capacity bytes) as a
// plain relative path: separators '/' and '\' both become '/', empty and "."
// components are dropped. Refused (false): absolute names, names with a
// drive or stream colon, ".." components, components ending in a dot or a
// blank (Windows would strip them), control characters and <>"|?*, device
// names (CON, NUL, COM1, ...), and results that do not fit. An empty result
// (the target itself) is accepted. Byte-wise, which suits UTF-8 names; a name
// written in a double-byte ANSI page would be split at a character whose
// second byte is '\'.
bool sanitizeTarName(const char* utf8Name, std::size_t length, char* out, std::size_t capacity);

}  // namespace plimo
