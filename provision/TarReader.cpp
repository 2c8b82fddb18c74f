#include "provision/TarReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Trace.h"
#include "block/Limits.h"
#include "block/NameRules.h"

namespace plimo {

namespace {

constexpr std::size_t BLOCK_SIZE = 512;
// A pax extended header holds a handful of records for a runtime's files; a
// bigger one is refused rather than buffered without bound.
constexpr std::int64_t PAX_HEADER_LIMIT = 65536;
constexpr std::uint32_t PROGRESS_INTERVAL_MS = 200;
// A large input buffer saves most of the read calls on a runtime-sized archive.
constexpr std::size_t GZ_BUFFER_SIZE = 131072;

std::size_t boundedLength(const char* text, std::size_t width) {
  const void* nul = std::memchr(text, '\0', width);
  return nul == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(nul) - text);
}

// Reads exactly n bytes unless the data ends or fails first. Returns the
// number read, or -1 on a failed read.
long readFully(TarInput& input, char* destination, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    long r = input.source.read(destination + got, n - got);
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
    input.consumed += static_cast<std::uint64_t>(r);
  }
  return static_cast<long>(got);
}

// Skips n bytes by reading them: a skip that runs past the end must show as a
// short read, which a lazy seek in the gzip stream would hide until later.
TarStatus skipBytes(TarInput& input, char* scratch, std::int64_t n, bool endAllowed) {
  while (n > 0) {
    std::size_t chunk = n < static_cast<std::int64_t>(ARCHIVE_CHUNK_SIZE) ? static_cast<std::size_t>(n) : ARCHIVE_CHUNK_SIZE;
    long r = readFully(input, scratch, chunk);
    if (r < 0) return TarStatus::ReadError;
    if (static_cast<std::size_t>(r) < chunk) return endAllowed ? TarStatus::Ok : TarStatus::Truncated;
    n -= r;
  }
  return TarStatus::Ok;
}

std::int64_t paddingOf(std::int64_t size) {
  std::int64_t r = size % static_cast<std::int64_t>(BLOCK_SIZE);
  return r == 0 ? 0 : static_cast<std::int64_t>(BLOCK_SIZE) - r;
}

bool isForbiddenCharacter(unsigned char c) {
  return c < 0x20 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

// What the special records before an entry said about it.
struct PendingEntry {
  char name[PATH_BUFFER_SIZE];
  std::size_t nameLength = 0;
  bool hasName = false;
  std::int64_t size = 0;
  bool hasSize = false;
  bool sparse = false;  // GNU sparse data in pax form: stored data is not the file
  bool described = false;  // some record promised an entry
  void clear() {
    described = false;
    hasName = false;
    hasSize = false;
    sparse = false;
    nameLength = 0;
  }
};

bool parseDecimal(const char* text, std::size_t length, std::int64_t limit, std::int64_t& value) {
  if (length == 0) return false;
  value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > limit) return false;
  }
  return true;
}

// Records "<length> <key>=<value>\n". A last record without its newline is
// taken as it stands (some writers omit it).
TarStatus parsePaxRecords(const char* data, std::size_t size, PendingEntry& pending) {
  std::size_t at = 0;
  while (at < size) {
    std::size_t digits = 0;
    std::int64_t length = 0;
    while (at + digits < size && data[at + digits] >= '0' && data[at + digits] <= '9' && digits < 10) {
      length = length * 10 + (data[at + digits] - '0');
      ++digits;
    }
    if (digits == 0 || at + digits >= size || data[at + digits] != ' ') return TarStatus::BadHeader;
    if (length < static_cast<std::int64_t>(digits) + 3 || static_cast<std::uint64_t>(length) > size - at) {
      return TarStatus::BadHeader;
    }
    const char* record = data + at + digits + 1;
    std::size_t recordLength = static_cast<std::size_t>(length) - digits - 1;
    if (record[recordLength - 1] == '\n') --recordLength;
    const void* equals = std::memchr(record, '=', recordLength);
    if (equals == nullptr) return TarStatus::BadHeader;
    std::size_t keyLength = static_cast<std::size_t>(static_cast<const char*>(equals) - record);
    const char* value = record + keyLength + 1;
    std::size_t valueLength = recordLength - keyLength - 1;
    if (keyLength == 0 || std::memchr(record, '\0', keyLength) != nullptr) return TarStatus::BadHeader;
    if (keyLength == 4 && std::memcmp(record, "path", 4) == 0) {
      if (std::memchr(value, '\0', valueLength) != nullptr) return TarStatus::BadHeader;
      if (valueLength >= sizeof(pending.name)) return TarStatus::NameTooLong;
      std::memcpy(pending.name, value, valueLength);
      pending.name[valueLength] = '\0';
      pending.nameLength = valueLength;
      pending.hasName = true;
    } else if (keyLength == 4 && std::memcmp(record, "size", 4) == 0) {
      if (!parseDecimal(value, valueLength, INT32_MAX, pending.size)) return TarStatus::BadHeader;
      pending.hasSize = true;
    } else if (keyLength > 11 && std::memcmp(record, "GNU.sparse.", 11) == 0) {
      pending.sparse = true;
    }
    at += static_cast<std::size_t>(length);
  }
  return TarStatus::Ok;
}

bool isHeaderOnlyType(char type) {
  // Links, devices, directories and FIFOs carry no data, whatever the size
  // field says.
  return type >= '1' && type <= '6';
}

void reportProgress(TarProgress* progress, std::uint64_t consumed, std::int64_t total) {
  if (progress != nullptr) progress->setPosition(tarProgressPosition(consumed, total));
}

// Creates every directory on the way to name (not name itself); results are
// ignored, the creation of name decides.
void makeParentDirectories(TarTarget& target, const char* name) {
  char parent[PATH_BUFFER_SIZE];
  std::size_t length = boundedLength(name, PATH_BUFFER_SIZE - 1);
  std::memcpy(parent, name, length);
  parent[length] = '\0';
  for (std::size_t i = 0; i < length; ++i) {
    if (parent[i] != '/') continue;
    parent[i] = '\0';
    target.makeDirectory(parent);
    parent[i] = '/';
  }
}

struct Buffers {
  char header[BLOCK_SIZE];
  char path[PATH_BUFFER_SIZE];
  char joined[PATH_BUFFER_SIZE];
  PendingEntry pending;
};

}  // namespace

const char* tarStatusText(TarStatus status) {
  switch (status) {
    case TarStatus::Ok: return "ok";
    case TarStatus::ReadError: return "read error";
    case TarStatus::Truncated: return "truncated archive";
    case TarStatus::BadHeader: return "malformed header";
    case TarStatus::UnsafeName: return "unsafe entry name";
    case TarStatus::NameTooLong: return "entry name too long";
    case TarStatus::CreateFailed: return "cannot create";
    case TarStatus::WriteFailed: return "cannot write";
    case TarStatus::OpenFailed: return "cannot open archive";
  }
  return "?";
}

std::int32_t parseTarOctal(const char* field, int width) {
  std::int64_t value = 0;
  bool leading = true;
  for (int i = 0; i < width; ++i) {
    char ch = field[i];
    if (ch == '\0') break;
    if (ch == ' ') {
      if (leading) continue;
      break;
    }
    if (ch == '0' && leading) continue;
    if (ch < '0' || ch > '7') return -1;
    value = value * 8 + (ch - '0');
    if (value > INT32_MAX) return -1;
    leading = false;
  }
  return static_cast<std::int32_t>(value);
}

int tarProgressPosition(std::uint64_t consumed, std::int64_t total) {
  if (total <= 0) return 0;
  double position = 100.0 * static_cast<double>(consumed) / static_cast<double>(total);
  if (position >= 100.0) return 100;
  return static_cast<int>(position);
}

bool sanitizeTarName(const char* utf8Name, std::size_t length, char* out, std::size_t capacity) {
  if (capacity == 0) return false;
  if (length > 0 && (utf8Name[0] == '/' || utf8Name[0] == '\\')) return false;
  std::size_t used = 0;
  std::size_t at = 0;
  while (at < length) {
    std::size_t end = at;
    while (end < length && utf8Name[end] != '/' && utf8Name[end] != '\\') ++end;
    const char* component = utf8Name + at;
    std::size_t componentLength = end - at;
    at = end + 1;
    if (componentLength == 0 || (componentLength == 1 && component[0] == '.')) continue;
    if (componentLength == 2 && component[0] == '.' && component[1] == '.') return false;
    char last = component[componentLength - 1];
    if (last == '.' || last == ' ') return false;
    for (std::size_t i = 0; i < componentLength; ++i) {
      if (isForbiddenCharacter(static_cast<unsigned char>(component[i]))) return false;
    }
    if (isReservedDeviceName(std::string_view(component, componentLength))) return false;
    std::size_t needed = componentLength + (used > 0 ? 1 : 0);
    if (used + needed >= capacity) return false;
    if (used > 0) out[used++] = '/';
    std::memcpy(out + used, component, componentLength);
    used += componentLength;
  }
  out[used] = '\0';
  return true;
}

TarStatus extractTarEntryFile(TarInput& input, TarTarget& target, const char* utf8Name, std::int64_t size,
                              TarProgress* progress, std::int64_t total) {
  if (!target.openFile(utf8Name)) {
    // The archive did not list the parent directories: create them, as every
    // tar program does, then try once more.
    makeParentDirectories(target, utf8Name);
    if (!target.openFile(utf8Name)) return TarStatus::CreateFailed;
  }
  char* chunk = input.chunk.get();
  TarStatus status = TarStatus::Ok;
  std::int64_t written = 0;
  std::uint32_t lastUpdate = progress != nullptr ? progress->ticks() : 0;
  while (written < size) {
    std::int64_t left = size - written;
    std::size_t n = left < static_cast<std::int64_t>(ARCHIVE_CHUNK_SIZE) ? static_cast<std::size_t>(left) : ARCHIVE_CHUNK_SIZE;
    long got = readFully(input, chunk, n);
    if (got < 0) {
      status = TarStatus::ReadError;
      break;
    }
    if (got > 0 && !target.writeFile(chunk, static_cast<std::size_t>(got))) {
      status = TarStatus::WriteFailed;
      break;
    }
    written += got;
    if (static_cast<std::size_t>(got) < n) {
      // The data ended before the entry did.
      status = TarStatus::Truncated;
      break;
    }
    if (progress != nullptr) {
      std::uint32_t now = progress->ticks();
      if (now - lastUpdate > PROGRESS_INTERVAL_MS) {
        lastUpdate = now;
        reportProgress(progress, input.consumed, total);
      }
    }
  }
  if (!target.closeFile() && status == TarStatus::Ok) status = TarStatus::WriteFailed;
  return status;
}

namespace {

// A GNU long name ('L'), a long link target ('K', skipped) or a pax header
// ('x'): records that describe the entry after them, read into pending.
TarStatus readDescribingRecord(TarInput& input, char type, std::int64_t size, PendingEntry& pending) {
  pending.described = true;
  std::int64_t limit = type == 'x' ? PAX_HEADER_LIMIT : static_cast<std::int64_t>(PATH_BUFFER_SIZE - 1);
  if (type == 'K') return skipBytes(input, input.chunk.get(), size, false);
  if (size > limit) return type == 'L' ? TarStatus::NameTooLong : TarStatus::BadHeader;
  if (type == 'x' && size > static_cast<std::int64_t>(ARCHIVE_CHUNK_SIZE)) {
    // Rare: a big extended header gets its own buffer.
    std::unique_ptr<char[]> big(new char[static_cast<std::size_t>(size)]);
    long r = readFully(input, big.get(), static_cast<std::size_t>(size));
    if (r < 0) return TarStatus::ReadError;
    if (r < size) return TarStatus::Truncated;
    return parsePaxRecords(big.get(), static_cast<std::size_t>(size), pending);
  }
  char* data = type == 'L' ? pending.name : input.chunk.get();
  long r = readFully(input, data, static_cast<std::size_t>(size));
  if (r < 0) return TarStatus::ReadError;
  if (r < size) return TarStatus::Truncated;
  if (type == 'x') return parsePaxRecords(data, static_cast<std::size_t>(size), pending);
  // The name ends at its first NUL.
  pending.nameLength = boundedLength(pending.name, static_cast<std::size_t>(size));
  pending.name[pending.nameLength] = '\0';
  pending.hasName = true;
  return TarStatus::Ok;
}

// The name a header gives its entry, joined into joined: POSIX ustar keeps
// the leading part of a long name in the prefix field; GNU headers
// ("ustar  ") use those bytes for time stamps, and star shortens the prefix
// to make room for its own. Returns the name's length.
std::size_t headerName(const char* header, char* joined) {
  std::size_t fieldLength = boundedLength(header, 100);
  std::size_t prefixLength = 0;
  if (std::memcmp(header + 257, "ustar\0", 6) == 0) {
    bool star = std::memcmp(header + 508, "tar\0", 4) == 0;
    prefixLength = boundedLength(header + 345, star ? 131 : 155);
  }
  std::memcpy(joined, header + 345, prefixLength);
  std::size_t at = prefixLength;
  if (prefixLength > 0) joined[at++] = '/';
  std::memcpy(joined + at, header, fieldLength);
  at += fieldLength;
  joined[at] = '\0';
  return at;
}

// Reads past the data of an entry that is not written (links, devices,
// sparse files, unknown types).
TarStatus skipEntryData(TarInput& input, const char* header, char type, std::int64_t size) {
  if (type == 'S' && header[482] != '\0') {
    // Old GNU sparse entries continue their map in extension blocks before
    // the data.
    char extension[BLOCK_SIZE];
    do {
      long r = readFully(input, extension, BLOCK_SIZE);
      if (r < 0) return TarStatus::ReadError;
      if (r < static_cast<long>(BLOCK_SIZE)) return TarStatus::Truncated;
    } while (extension[504] != '\0');
  }
  return skipBytes(input, input.chunk.get(), size, false);
}

}  // namespace

TarStatus extractTarStream(TarSource& source, TarTarget& target, TarProgress* progress, std::int64_t total) {
  TarInput input(source);
  std::unique_ptr<Buffers> buffers(new Buffers);
  char* header = buffers->header;
  PendingEntry& pending = buffers->pending;
  pending.clear();
  for (;;) {
    long got = readFully(input, header, BLOCK_SIZE);
    if (got < 0) return TarStatus::ReadError;
    // The data may end at a header boundary, but not between a long-name or
    // pax record and the entry it describes.
    if (got == 0) return pending.described ? TarStatus::Truncated : TarStatus::Ok;
    if (static_cast<std::size_t>(got) < BLOCK_SIZE) {
      // A cut inside the closing zero blocks loses nothing; a cut header does.
      bool zeros = std::count(header, header + got, '\0') == got;
      return zeros && !pending.described ? TarStatus::Ok : TarStatus::Truncated;
    }
    // Only the five magic bytes are compared, so the POSIX "ustar\0" and the
    // GNU "ustar " both pass; the closing zero blocks end the archive here.
    if (std::memcmp(header + 257, "ustar", 5) != 0) return TarStatus::Ok;

    char type = header[156];
    std::int64_t size = parseTarOctal(header + 124, 12);
    if (size < 0) return TarStatus::BadHeader;

    if (type == 'L' || type == 'K' || type == 'x') {
      TarStatus read = readDescribingRecord(input, type, size, pending);
      if (read != TarStatus::Ok) return read;
      TarStatus padded = skipBytes(input, input.chunk.get(), paddingOf(size), true);
      if (padded != TarStatus::Ok) return padded;
      continue;
    }

    if (pending.hasSize) size = pending.size;
    const char* name = pending.hasName ? pending.name : buffers->joined;
    std::size_t nameLength = pending.hasName ? pending.nameLength : headerName(header, buffers->joined);
    bool sparse = pending.sparse;
    pending.clear();

    if ((type == '0' && !sparse) || type == '5') {
      if (!sanitizeTarName(name, nameLength, buffers->path, sizeof(buffers->path))) {
        trace("archive: refusing entry name \"%.*s\"", static_cast<int>(nameLength), name);
        return TarStatus::UnsafeName;
      }
      if (type == '5') {
        // An empty name is the target itself, which exists.
        if (buffers->path[0] != '\0' && !target.makeDirectory(buffers->path)) {
          makeParentDirectories(target, buffers->path);
          target.makeDirectory(buffers->path);
        }
        continue;
      }
      if (buffers->path[0] == '\0') return TarStatus::UnsafeName;
      reportProgress(progress, input.consumed, total);
      TarStatus copied = extractTarEntryFile(input, target, buffers->path, size, progress, total);
      if (copied != TarStatus::Ok) {
        trace("archive: %s at \"%s\"", tarStatusText(copied), buffers->path);
        return copied;
      }
    } else if (isHeaderOnlyType(type)) {
      continue;
    } else {
      TarStatus skipped = skipEntryData(input, header, type, size);
      if (skipped != TarStatus::Ok) return skipped;
    }
    TarStatus padded = skipBytes(input, input.chunk.get(), paddingOf(size), true);
    if (padded != TarStatus::Ok) return padded;
  }
}

namespace {

constexpr unsigned char GZIP_MAGIC_1 = 0x1f;
constexpr unsigned char GZIP_MAGIC_2 = 0x8b;

// The archive file's stored bytes, decompressed when they start with the gzip
// magic (members one after another, as gzip writes them; anything after the
// last member that is not another member is ignored, as gzip does), passed
// through unchanged otherwise. zlib's inflate is used directly rather than
// its gzip file layer, which would bring its own file and formatting code
// into every installer.
class GzipSource final : public TarSource {
 public:
  explicit GzipSource(TarSource& file) : file_(file) {}
  ~GzipSource() override {
    if (inflating_) inflateEnd(&stream_);
  }

  // False when the first read fails or inflate cannot start.
  bool start() {
    if (!fill(0, 2)) return false;
    gzip_ = available_ >= 2 && input_[0] == GZIP_MAGIC_1 && input_[1] == GZIP_MAGIC_2;
    if (!gzip_) return true;
    std::memset(&stream_, 0, sizeof stream_);
    if (inflateInit2(&stream_, 16 + MAX_WBITS) != Z_OK) return false;
    inflating_ = true;
    stream_.next_in = input_.get();
    stream_.avail_in = static_cast<uInt>(available_);
    return true;
  }

  long read(void* destination, std::size_t n) override {
    if (!gzip_) return passThrough(destination, n);
    stream_.next_out = static_cast<Bytef*>(destination);
    stream_.avail_out = static_cast<uInt>(n);
    while (stream_.avail_out == n && !ended_) {
      if (stream_.avail_in == 0) {
        if (!fill(0, 1)) return -1;
        // The data ends inside a member: it is cut short.
        if (available_ == 0) return -1;
        stream_.next_in = input_.get();
        stream_.avail_in = static_cast<uInt>(available_);
      }
      int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        // A read that fails here is not the end of the archive: when the
        // member ended on an entry boundary, the rest of the runtime would
        // be missing without a word.
        Next next = nextMember();
        if (next == Next::Failed) return -1;
        ended_ = next == Next::End;
      } else if (result != Z_OK) {
        return -1;
      }
    }
    return static_cast<long>(n - stream_.avail_out);
  }

 private:
  enum class Next { Member, End, Failed };

  // Reads behind the first kept bytes of the input buffer until it holds at
  // least wanted bytes or the data ends; false on a failed read.
  bool fill(std::size_t kept, std::size_t wanted) {
    available_ = kept;
    while (available_ < wanted) {
      long got = file_.read(input_.get() + available_, GZ_BUFFER_SIZE - available_);
      if (got < 0) return false;
      if (got == 0) break;
      available_ += static_cast<std::size_t>(got);
    }
    return true;
  }

  // After a member: whether another one follows (inflate is then ready for
  // it), the data ends, or the read failed.
  Next nextMember() {
    if (stream_.avail_in < 2) {
      // The next magic may be cut between two reads: keep its first byte.
      std::size_t kept = stream_.avail_in;
      if (kept == 1) input_[0] = stream_.next_in[0];
      if (!fill(kept, 2)) return Next::Failed;
      stream_.next_in = input_.get();
      stream_.avail_in = static_cast<uInt>(available_);
    }
    if (stream_.avail_in < 2 || stream_.next_in[0] != GZIP_MAGIC_1 || stream_.next_in[1] != GZIP_MAGIC_2) {
      return Next::End;
    }
    return inflateReset(&stream_) == Z_OK ? Next::Member : Next::Failed;
  }

  long passThrough(void* destination, std::size_t n) {
    if (offset_ < available_) {
      std::size_t done = std::min(n, available_ - offset_);
      std::memcpy(destination, input_.get() + offset_, done);
      offset_ += done;
      return static_cast<long>(done);
    }
    return file_.read(destination, n);
  }

  TarSource& file_;
  std::unique_ptr<unsigned char[]> input_{new unsigned char[GZ_BUFFER_SIZE]};
  std::size_t available_ = 0;
  std::size_t offset_ = 0;  // pass-through: bytes of the first piece handed out
  z_stream stream_;
  bool gzip_ = false;
  bool inflating_ = false;
  bool ended_ = false;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file as the C library reads it.
class StdioSource final : public TarSource {
 public:
  explicit StdioSource(std::FILE* file) : file_(file) {}
  long read(void* destination, std::size_t n) override {
    std::size_t got = std::fread(destination, 1, n, file_);
    return std::ferror(file_) ? -1 : static_cast<long>(got);
  }

 private:
  std::FILE* file_;
};

}  // namespace

TarStatus extractTarGz(TarSource& file, TarTarget& target, TarProgress* progress, std::int64_t total) {
  GzipSource source(file);
  if (!source.start()) return TarStatus::ReadError;
  return extractTarStream(source, target, progress, total);
}

TarStatus extractTarGzFile(const char* ansiPath, TarTarget& target, TarProgress* progress, std::int64_t total) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(ansiPath, "rb"));
  if (file == nullptr) return TarStatus::OpenFailed;
  StdioSource stored(file.get());
  TarStatus status = extractTarGz(stored, target, progress, total);
  trace("archive: unpacking %s ended: %s", ansiPath, tarStatusText(status));
  return status;
}

}  // namespace plimo
