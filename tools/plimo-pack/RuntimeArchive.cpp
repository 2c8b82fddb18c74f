#include "tools/plimo-pack/RuntimeArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <zlib.h>

#include "block/Limits.h"
#include "tools/plimo-pack/HostFiles.h"

namespace plimo::pack {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t BLOCK = 512;
constexpr std::size_t NAME_FIELD = 100;
constexpr std::size_t PREFIX_FIELD = 155;
// The largest size the 11 octal digits of a ustar size field hold.
constexpr std::uint64_t MAX_USTAR_SIZE = 077777777777ull;
constexpr std::size_t CHUNK = ARCHIVE_CHUNK_SIZE * 8;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Feeds bytes through deflate into a gzip file and counts them on the way in:
// that count is the unpacked size the launcher shows its progress against.
class GzipFile {
 public:
  GzipFile(const fs::path& path, std::string& error) : error_(error) {
    file_.reset(openFile(path, "wb"));
    if (!file_) {
      error_ = "cannot create the runtime archive \"" + path.string() + "\": " + std::strerror(errno);
      return;
    }
    // windowBits 15 + 16 asks for a gzip wrapper. Its header has no name and
    // a zero time stamp, so the same tree gives the same bytes; its system
    // field is Unix (3) wherever plimo-pack runs (zlib would write the
    // building host's), so every host gives the same bytes too.
    header_.os = 3;
    if (deflateInit2(&z_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      error_ = "cannot start the gzip compression";
      file_.reset();
      return;
    }
    if (deflateSetHeader(&z_, &header_) != Z_OK) {
      deflateEnd(&z_);
      error_ = "cannot start the gzip compression";
      file_.reset();
      return;
    }
    started_ = true;
  }
  ~GzipFile() {
    if (started_) deflateEnd(&z_);
  }
  GzipFile(const GzipFile&) = delete;
  GzipFile& operator=(const GzipFile&) = delete;

  bool isOpen() const { return started_; }
  std::uint64_t written() const { return in_; }

  bool write(const void* data, std::size_t n) {
    in_ += n;
    z_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z_.avail_in = static_cast<uInt>(n);
    return pump(Z_NO_FLUSH);
  }

  bool finish() {
    z_.next_in = nullptr;
    z_.avail_in = 0;
    if (!pump(Z_FINISH)) return false;
    if (std::fclose(file_.release()) != 0) {
      error_ = std::string("cannot write the runtime archive: ") + std::strerror(errno);
      return false;
    }
    return true;
  }

 private:
  bool pump(int flush) {
    int rc;
    do {
      z_.next_out = buffer_.get();
      z_.avail_out = CHUNK;
      rc = deflate(&z_, flush);
      if (rc == Z_STREAM_ERROR) {
        error_ = "the gzip compression failed";
        return false;
      }
      std::size_t produced = CHUNK - z_.avail_out;
      if (produced > 0 && std::fwrite(buffer_.get(), 1, produced, file_.get()) != produced) {
        error_ = std::string("cannot write the runtime archive: ") + std::strerror(errno);
        return false;
      }
    } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    return true;
  }

  std::string& error_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::unique_ptr<unsigned char[]> buffer_{new unsigned char[CHUNK]};
  z_stream z_{};
  gz_header header_{};  // read by deflate until the header is written
  bool started_ = false;
  std::uint64_t in_ = 0;
};

void putOctal(char* field, std::size_t width, std::uint64_t value) {
  // width - 1 digits and a NUL, as POSIX asks.
  std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1), static_cast<unsigned long long>(value));
}

void putText(char* field, std::size_t width, const std::string& text) {
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::string ustarHeader(const std::string& name, const std::string& prefix, std::uint64_t size, unsigned mode,
                        char type) {
  std::string h(BLOCK, '\0');
  putText(&h[0], NAME_FIELD, name);
  putOctal(&h[100], 8, mode);
  putOctal(&h[108], 8, 0);   // uid
  putOctal(&h[116], 8, 0);   // gid
  putOctal(&h[124], 12, size);
  putOctal(&h[136], 12, 0);  // mtime
  h[156] = type;
  std::memcpy(&h[257], "ustar\0" "00", 8);
  putOctal(&h[329], 8, 0);   // device major
  putOctal(&h[337], 8, 0);   // device minor
  putText(&h[345], PREFIX_FIELD, prefix);
  std::memset(&h[148], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  std::snprintf(&h[148], 8, "%06o", sum);
  h[155] = ' ';
  return h;
}

// "<length> path=<name>\n", where length counts the whole record, its own
// digits included.
std::string paxPathRecord(const std::string& name) {
  std::string body = " path=" + name + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

// Splits name at a '/' into a ustar prefix and name field when it does not
// fit the name field alone; false when no split fits either.
bool splitUstarName(const std::string& name, std::string& prefix, std::string& rest) {
  if (name.size() <= NAME_FIELD) {
    prefix.clear();
    rest = name;
    return true;
  }
  // The last '/' that leaves a prefix short enough; a directory's trailing
  // slash stays with its last component. An earlier '/' would only lengthen
  // the name field.
  std::size_t slash = name.rfind('/', std::min(name.size() - 2, PREFIX_FIELD));
  if (slash == std::string::npos || slash == 0 || name.size() - slash - 1 > NAME_FIELD) return false;
  prefix = name.substr(0, slash);
  rest = name.substr(slash + 1);
  return true;
}

std::string paddingFor(std::uint64_t size) { return std::string((BLOCK - size % BLOCK) % BLOCK, '\0'); }

struct Walker {
  GzipFile& out;
  ArchiveResult& result;

  bool add(const fs::path& root, const fs::path& relative) {
    std::vector<fs::directory_entry> children;
    std::error_code ec;
    for (fs::directory_iterator it(root / relative, ec), end; !ec && it != end; it.increment(ec))
      children.push_back(*it);
    if (ec) {
      result.error = "cannot list \"" + (root / relative).string() + "\": " + ec.message();
      return false;
    }
    // Byte order of the names, whatever the locale.
    std::sort(children.begin(), children.end(), [](const fs::directory_entry& x, const fs::directory_entry& y) {
      return x.path().filename().native() < y.path().filename().native();
    });
    for (const auto& child : children) {
      fs::path rel = relative / child.path().filename();
      fs::file_status status = child.symlink_status(ec);
      if (fs::is_symlink(status) || !(fs::is_directory(status) || fs::is_regular_file(status))) {
        result.warnings.push_back("runtime.bundle: \"" + rel.generic_string() +
                                  "\" is neither a regular file nor a directory; left out");
        continue;
      }
      bool directory = fs::is_directory(status);
      std::string name = rel.generic_string() + (directory ? "/" : "");
      if (!writeEntry(child.path(), name, directory, status)) return false;
      if (directory && !add(root, rel)) return false;
    }
    return true;
  }

  bool emit(const std::string& bytes) {
    if (out.write(bytes.data(), bytes.size())) return true;
    if (result.error.empty()) result.error = "cannot write the runtime archive";
    return false;
  }

  bool writeEntry(const fs::path& source, const std::string& name, bool directory, const fs::file_status& status) {
    std::error_code ec;
    std::uintmax_t size = directory ? 0 : fs::file_size(source, ec);
    if (ec) {
      result.error = "cannot read \"" + source.string() + "\": " + ec.message();
      return false;
    }
    if (size > MAX_USTAR_SIZE) {
      result.error = "\"" + source.string() + "\" is too large for the runtime archive";
      return false;
    }
    bool executable = storedAsExecutable(source, status);
    unsigned mode = directory || executable ? 0755 : 0644;
    char type = directory ? '5' : '0';
    std::string prefix, field;
    if (!splitUstarName(name, prefix, field)) {
      // Too long for ustar: the full name goes into a pax extended header
      // before the entry; the entry's own name field keeps a shortened copy
      // for readers that ignore pax.
      std::string record = paxPathRecord(name);
      if (!emit(ustarHeader("PaxHeader", "", record.size(), 0644, 'x')) || !emit(record) ||
          !emit(paddingFor(record.size())))
        return false;
      prefix.clear();
      field = name.substr(0, NAME_FIELD);
    }
    if (!emit(ustarHeader(field, prefix, size, mode, type))) return false;
    if (directory) return true;
    std::unique_ptr<std::FILE, FileCloser> in(openFile(source, "rb"));
    if (!in) {
      result.error = "cannot open \"" + source.string() + "\": " + std::strerror(errno);
      return false;
    }
    std::unique_ptr<char[]> buffer(new char[CHUNK]);
    std::uintmax_t done = 0;
    while (done < size) {
      std::size_t want = static_cast<std::size_t>(std::min<std::uintmax_t>(CHUNK, size - done));
      std::size_t n = std::fread(buffer.get(), 1, want, in.get());
      if (n == 0) {
        result.error = "\"" + source.string() + "\" became shorter while it was packed";
        return false;
      }
      if (!out.write(buffer.get(), n)) {
        if (result.error.empty()) result.error = "cannot write the runtime archive";
        return false;
      }
      done += n;
    }
    return emit(paddingFor(size));
  }
};

}  // namespace

ArchiveResult writeRuntimeArchive(const fs::path& directory, const fs::path& archivePath) {
  ArchiveResult result;
  GzipFile out(archivePath, result.error);
  if (!out.isOpen()) return result;
  Walker walker{out, result};
  if (!walker.add(directory, fs::path())) return result;
  // Two zero blocks close a tar stream.
  if (!walker.emit(std::string(2 * BLOCK, '\0')) || !out.finish()) {
    if (result.error.empty()) result.error = "cannot finish the runtime archive";
    return result;
  }
  result.decompressedSize = out.written();
  result.ok = true;
  return result;
}

}  // namespace plimo::pack
