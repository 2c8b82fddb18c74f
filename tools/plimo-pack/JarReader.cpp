#include "tools/plimo-pack/JarReader.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <zlib.h>

#include "block/BlockFormat.h"
#include "tools/plimo-pack/Installer.h"

namespace plimo::pack {

namespace {

constexpr std::uint32_t END_SIGNATURE = 0x06054b50;
constexpr std::uint32_t ZIP64_LOCATOR_SIGNATURE = 0x07064b50;
constexpr std::uint32_t ZIP64_END_SIGNATURE = 0x06064b50;
constexpr std::uint32_t CENTRAL_SIGNATURE = 0x02014b50;
constexpr std::uint32_t LOCAL_SIGNATURE = 0x04034b50;
constexpr std::size_t END_SIZE = 22;
constexpr std::size_t CENTRAL_SIZE = 46;
constexpr std::size_t LOCAL_SIZE = 30;
// The central directory is read whole; far beyond any jar's.
constexpr std::uint64_t MAX_DIRECTORY_SIZE = 256u << 20;

std::uint64_t le64At(const std::string& b, std::size_t at) {
  return le32At(b, at) | static_cast<std::uint64_t>(le32At(b, at + 4)) << 32;
}

// n bytes at offset, or false when the source does not hold them.
bool readAt(ByteSource& source, std::uint64_t offset, std::uint64_t n, std::string& out) {
  if (offset > source.size() || n > source.size() - offset || !source.seek(offset)) return false;
  out.assign(static_cast<std::size_t>(n), '\0');
  return n == 0 || source.read(&out[0], out.size()) == out.size();
}

struct Directory {
  std::uint64_t offset = 0, size = 0, entries = 0;
};

bool findDirectory(ByteSource& source, Directory& d, std::string& why) {
  std::uint64_t size = source.size();
  if (size < END_SIZE) {
    why = "too short for a zip file";
    return false;
  }
  // The end record stands last, followed only by its comment (at most 65535 bytes).
  std::uint64_t span = std::min<std::uint64_t>(size, END_SIZE + 0xFFFF);
  std::string tail;
  if (!readAt(source, size - span, span, tail)) {
    why = "cannot be read";
    return false;
  }
  std::size_t at = tail.size() - END_SIZE + 1;
  bool found = false;
  while (at-- > 0) {
    if (le32At(tail, at) == END_SIGNATURE && at + END_SIZE + le16At(tail, at + 20) == tail.size()) {
      found = true;
      break;
    }
  }
  if (!found) {
    why = "no zip end record (not a jar or zip file)";
    return false;
  }
  d.entries = le16At(tail, at + 10);
  d.size = le32At(tail, at + 12);
  d.offset = le32At(tail, at + 16);
  if (d.entries == 0xFFFF || d.size == 0xFFFFFFFFu || d.offset == 0xFFFFFFFFu) {
    // Zip64: a locator just before the end record names the larger record.
    std::uint64_t endAt = size - span + at;
    std::string locator, end64;
    if (endAt < 20 || !readAt(source, endAt - 20, 20, locator) || le32At(locator, 0) != ZIP64_LOCATOR_SIGNATURE ||
        !readAt(source, le64At(locator, 8), 56, end64) || le32At(end64, 0) != ZIP64_END_SIGNATURE) {
      why = "its zip64 end record is missing or damaged";
      return false;
    }
    d.entries = le64At(end64, 32);
    d.size = le64At(end64, 40);
    d.offset = le64At(end64, 48);
  }
  if (d.offset > size || d.size > size - d.offset || d.size > MAX_DIRECTORY_SIZE ||
      d.entries > d.size / CENTRAL_SIZE) {
    why = "its central directory lies outside the file";
    return false;
  }
  return true;
}

bool sameIgnoringCase(const std::string& a, const char* b) {
  std::size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

struct ManifestEntry {
  bool present = false;
  std::uint16_t method = 0;
  std::uint64_t compressed = 0, size = 0, localOffset = 0;
};

// Sizes and offset that do not fit 32 bits stand in the zip64 extra field,
// in this order, only those marked 0xFFFFFFFF.
void applyZip64Extra(const std::string& extra, ManifestEntry& e) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    std::uint16_t id = le16At(extra, at), length = le16At(extra, at + 2);
    if (at + 4 + length > extra.size()) return;
    if (id == 0x0001) {
      std::size_t field = at + 4, end = at + 4 + length;
      for (std::uint64_t* value : {&e.size, &e.compressed, &e.localOffset}) {
        if (*value != 0xFFFFFFFFu) continue;
        if (field + 8 > end) return;
        *value = le64At(extra, field);
        field += 8;
      }
      return;
    }
    at += 4 + length;
  }
}

bool readManifest(ByteSource& source, const ManifestEntry& e, std::string& manifest, std::string& why) {
  if (e.size > MAX_MANIFEST_SIZE || e.compressed > MAX_MANIFEST_SIZE) {
    why = "its manifest is larger than " + std::to_string(MAX_MANIFEST_SIZE) + " bytes";
    return false;
  }
  std::string local, data;
  if (!readAt(source, e.localOffset, LOCAL_SIZE, local) || le32At(local, 0) != LOCAL_SIGNATURE ||
      !readAt(source, e.localOffset + LOCAL_SIZE + le16At(local, 26) + le16At(local, 28), e.compressed, data)) {
    why = "its manifest entry lies outside the file";
    return false;
  }
  if (e.method == 0) {
    manifest = std::move(data);
    return true;
  }
  if (e.method != 8) {
    why = "its manifest is compressed with method " + std::to_string(e.method) + ", neither stored nor deflated";
    return false;
  }
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    why = "cannot inflate its manifest";
    return false;
  }
  std::unique_ptr<z_stream, int (*)(z_stream*)> stream(&z, inflateEnd);
  manifest.assign(static_cast<std::size_t>(e.size) + 1, '\0');
  z.next_in = reinterpret_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&manifest[0]);
  z.avail_out = static_cast<uInt>(manifest.size());
  int rc = inflate(&z, Z_FINISH);
  if (rc != Z_STREAM_END || z.total_out != e.size) {
    why = "its manifest does not inflate to its recorded size";
    return false;
  }
  manifest.resize(static_cast<std::size_t>(e.size));
  return true;
}

}  // namespace

bool readJar(ByteSource& source, JarListing& listing, std::string& why) {
  Directory d;
  if (!findDirectory(source, d, why)) return false;
  std::string directory;
  if (!readAt(source, d.offset, d.size, directory)) {
    why = "its central directory cannot be read";
    return false;
  }
  ManifestEntry manifestEntry;
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < d.entries; ++i) {
    if (directory.size() - at < CENTRAL_SIZE || le32At(directory, at) != CENTRAL_SIGNATURE) {
      why = "its central directory is damaged";
      return false;
    }
    std::size_t nameLength = le16At(directory, at + 28), extraLength = le16At(directory, at + 30),
                commentLength = le16At(directory, at + 32);
    if (directory.size() - at - CENTRAL_SIZE < nameLength + extraLength + commentLength) {
      why = "its central directory is damaged";
      return false;
    }
    std::string name = directory.substr(at + CENTRAL_SIZE, nameLength);
    if (sameIgnoringCase(name, "META-INF/MANIFEST.MF")) {
      manifestEntry.present = true;
      manifestEntry.method = le16At(directory, at + 10);
      manifestEntry.compressed = le32At(directory, at + 20);
      manifestEntry.size = le32At(directory, at + 24);
      manifestEntry.localOffset = le32At(directory, at + 42);
      applyZip64Extra(directory.substr(at + CENTRAL_SIZE + nameLength, extraLength), manifestEntry);
    }
    listing.names.push_back(std::move(name));
    at += CENTRAL_SIZE + nameLength + extraLength + commentLength;
  }
  if (manifestEntry.present) {
    std::string manifest;
    if (!readManifest(source, manifestEntry, manifest, why)) return false;
    listing.mainClass = manifestMainClass(manifest);
  }
  return true;
}

bool readJarFile(const std::filesystem::path& path, JarListing& listing, std::string& why) {
  FileByteSource source(path);
  if (!source.isOpen()) {
    why = "cannot be opened";
    return false;
  }
  return readJar(source, listing, why);
}

std::string manifestMainClass(std::string_view manifest) {
  // Lines end in CR LF, LF or CR; a line starting with one blank continues
  // the one before it.
  std::vector<std::string> headers;
  std::size_t at = 0;
  while (at < manifest.size()) {
    std::size_t end = manifest.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = manifest.size();
    std::string_view line = manifest.substr(at, end - at);
    at = end;
    if (at < manifest.size() && manifest[at] == '\r') {
      ++at;
      if (at < manifest.size() && manifest[at] == '\n') ++at;
    } else if (at < manifest.size()) {
      ++at;
    }
    if (line.empty()) break;  // the main section ends here
    if (line[0] == ' ' && !headers.empty()) headers.back().append(line.substr(1));
    else headers.emplace_back(line);
  }
  for (const std::string& header : headers) {
    std::size_t colon = header.find(':');
    if (colon == std::string::npos || !sameIgnoringCase(header.substr(0, colon), "Main-Class")) continue;
    std::string value = header.substr(colon + 1);
    std::size_t first = value.find_first_not_of(" \t");
    std::size_t last = value.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
  }
  return "";
}

}  // namespace plimo::pack
