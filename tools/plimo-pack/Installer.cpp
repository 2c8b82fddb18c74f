#include "tools/plimo-pack/Installer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "block/BlockFormat.h"
#include "block/ConfigBlock.h"
#include "block/PayloadFormat.h"
#include "tools/plimo-pack/BlockWriter.h"
#include "tools/plimo-pack/Branding.h"
#include "tools/plimo-pack/CodePage.h"
#include "tools/plimo-pack/HostFiles.h"
#include "tools/plimo-pack/PeResources.h"
#include "tools/plimo-pack/RuntimeArchive.h"

namespace plimo::pack {

namespace fs = std::filesystem;

FileByteSource::FileByteSource(const fs::path& path) {
  file_ = openFile(path, "rb");
  if (!file_) return;
  if (fseeko(file_, 0, SEEK_END) == 0) {
    off_t end = ftello(file_);
    if (end > 0) size_ = static_cast<std::uint64_t>(end);
  }
  fseeko(file_, 0, SEEK_SET);
}

FileByteSource::~FileByteSource() {
  if (file_) std::fclose(file_);
}

bool FileByteSource::seek(std::uint64_t position) {
  if (!file_ || position > size_) return false;
  if (fseeko(file_, static_cast<off_t>(position), SEEK_SET) != 0) return false;
  position_ = position;
  return true;
}

std::size_t FileByteSource::read(void* destination, std::size_t n, bool* failed) {
  if (failed) *failed = false;
  if (!file_) {
    if (failed) *failed = true;
    return 0;
  }
  std::size_t count = std::fread(destination, 1, n, file_);
  if (count < n && std::ferror(file_) && failed) *failed = true;
  position_ += count;
  return count;
}

bool stubArch(const fs::path& stub, Arch& arch) {
  FileByteSource source(stub);
  PeHeader header;
  if (!source.isOpen() || readPeHeader(source, header) != LoadError::None) return false;
  if (header.machine == PE_MACHINE_X86) arch = Arch::X86;
  else if (header.machine == PE_MACHINE_X64) arch = Arch::X64;
  else return false;
  return true;
}

namespace {

bool writeAll(std::FILE* file, const void* data, std::size_t n) { return std::fwrite(data, 1, n, file) == n; }

// The stub's chunked copy writes to a stdio stream here.
class FileByteSink final : public ByteSink {
 public:
  explicit FileByteSink(std::FILE* file) : file_(file) {}
  bool write(const void* data, std::size_t n, std::size_t& written) override {
    written = std::fwrite(data, 1, n, file_);
    return written == n;
  }

 private:
  std::FILE* file_;
};

// Why a copy stopped, for the messages below.
std::string copyFailure(CopyResult result) {
  if (result == CopyResult::WriteFailed) return std::string("cannot write: ") + std::strerror(errno);
  return "the file ended early or could not be read";
}

bool appendRecord(std::FILE* out, const fs::path& source, std::string& error) {
  FileByteSource in(source);
  if (!in.isOpen()) {
    error = "cannot open \"" + source.string() + "\": " + std::strerror(errno);
    return false;
  }
  std::error_code ec;
  std::uintmax_t size = fs::file_size(source, ec);
  if (ec || size > MAX_RECORD_LENGTH) {
    error = "\"" + source.string() + "\" cannot be stored as a payload record";
    return false;
  }
  FileByteSink sink(out);
  CopyResult copied = writePayloadRecord(in, size, sink);
  if (copied != CopyResult::Done) {
    error = "\"" + source.string() + "\": " + copyFailure(copied);
    return false;
  }
  return true;
}

// The stub's image as it is, but for the fields a signature of the stub left
// in its headers (the branded image has them cleared already).
CopyResult copyStubImage(const fs::path& stub, std::uint64_t imageEnd, std::FILE* out) {
  FileByteSource source(stub);
  PeHeader header;
  if (!source.isOpen() || readPeHeader(source, header) != LoadError::None) return CopyResult::ReadFailed;
  std::uint64_t headerEnd = std::min(header.sectionTable, imageEnd);
  std::string headers(static_cast<std::size_t>(headerEnd), '\0');
  if (!source.seek(0) || source.read(&headers[0], headers.size()) != headers.size()) return CopyResult::ReadFailed;
  clearSignatureFields(headers);
  if (!writeAll(out, headers.data(), headers.size())) return CopyResult::WriteFailed;
  FileByteSink sink(out);
  return copyDescrambled(source, sink, imageEnd - headerEnd, false);
}

}  // namespace

WriteResult writeInstaller(const Project& project, const fs::path& stub, const fs::path& output) {
  WriteResult result;
  std::uint64_t imageEnd = 0;
  {
    FileByteSource source(stub);
    if (!source.isOpen()) {
      result.error = "cannot open the stub \"" + stub.string() + "\"";
      return result;
    }
    if (findEndOfImage(source, imageEnd) != LoadError::None || imageEnd > source.size()) {
      result.error = "\"" + stub.string() + "\" is not a launcher stub (no complete PE image)";
      return result;
    }
    if (source.size() > imageEnd)
      result.warnings.push_back("the stub carries " + std::to_string(source.size() - imageEnd) +
                                " bytes after its image (a block or a signature?); they are left out");
  }
  // A branded installer carries the stub's image with its resources rewritten.
  std::string brandedImage;
  if (project.branding.any() && !brandedStubImage(stub, imageEnd, project.branding, brandedImage, result.error))
    return result;

  std::map<std::int32_t, std::string> narrow = project.narrow;
  std::unique_ptr<TemporaryFile> runtimeArchive;
  if (project.runtimeDirectory) {
    runtimeArchive = std::make_unique<TemporaryFile>(output);
    if (!runtimeArchive->file() || !runtimeArchive->close()) {
      result.error = "cannot create a temporary file beside \"" + output.string() + "\"";
      return result;
    }
    ArchiveResult archive = writeRuntimeArchive(*project.runtimeDirectory, runtimeArchive->path());
    result.warnings.insert(result.warnings.end(), archive.warnings.begin(), archive.warnings.end());
    if (!archive.ok) {
      result.error = archive.error;
      return result;
    }
    // The launcher reads entry 151 as an int.
    if (archive.decompressedSize > 0x7FFFFFFFu) {
      result.error = "the bundled runtime is larger than 2147483647 bytes unpacked, more than the launcher can count";
      return result;
    }
    narrow[151] = std::to_string(archive.decompressedSize);
  }

  BlockWriter block;
  for (const auto& [id, value] : narrow) block.addNarrow(id, value);
  for (const auto& [id, value] : project.wide) block.addWide(id, value);
  std::string tables = block.tables();

  TemporaryFile out(output);
  if (!out.file()) {
    result.error = "cannot create a temporary file beside \"" + output.string() + "\": " + std::strerror(errno);
    return result;
  }
  CopyResult copied = !brandedImage.empty() ? (writeAll(out.file(), brandedImage.data(), brandedImage.size())
                                                    ? CopyResult::Done : CopyResult::WriteFailed)
                                             : copyStubImage(stub, imageEnd, out.file());
  if (copied != CopyResult::Done) {
    result.error = "cannot copy the stub \"" + stub.string() + "\": " + copyFailure(copied);
    return result;
  }
  if (!writeAll(out.file(), tables.data(), tables.size())) {
    result.error = "cannot write \"" + output.string() + "\": " + std::strerror(errno);
    return result;
  }
  for (const auto& file : project.payload)
    if (!appendRecord(out.file(), file.source, result.error)) return result;
  if (runtimeArchive && !appendRecord(out.file(), runtimeArchive->path(), result.error)) return result;
  if (!out.commit(output)) {
    result.error = "cannot finish \"" + output.string() + "\": " + std::strerror(errno);
    return result;
  }
  result.ok = true;
  return result;
}

bool readInstaller(const fs::path& path, InstallerContents& contents, std::string& error) {
  FileByteSource source(path);
  if (!source.isOpen()) {
    error = "cannot open \"" + path.string() + "\": " + std::strerror(errno);
    return false;
  }
  contents.fileSize = source.size();
  // Not a Windows executable, nothing after its image (a bare stub), or no
  // block magic there: not an installer at all, rather than a damaged one.
  LoadError e = findEndOfImage(source, contents.imageEnd);
  bool noBlock = e != LoadError::None || contents.fileSize - contents.imageEnd < 4 || contents.imageEnd > contents.fileSize ||
                 !source.seek(contents.imageEnd);
  if (!noBlock) {
    e = decodeConfigBlock(source, contents.store, contents.payloadOffset);
    noBlock = e == LoadError::Magic;
  }
  if (noBlock) {
    error = "\"" + path.string() + "\" is not a plimo installer (no data block found)";
    return false;
  }
  if (e != LoadError::None) {
    error = "\"" + path.string() + "\" carries a damaged data block (" + loadErrorText(e) + ")";
    return false;
  }
  deriveConfigFlags(contents.store);
  // Names and count exactly as the launcher takes them: as many records as
  // both allow.
  int count = 0;
  auto countIt = contents.store.narrow.find(2002);
  if (countIt != contents.store.narrow.end()) count = parseAtoi(countIt->second.c_str());
  std::vector<std::string> names;
  auto namesIt = contents.store.narrow.find(2003);
  if (namesIt != contents.store.narrow.end()) names = splitPayloadNames(namesIt->second);
  std::uint64_t position = contents.payloadOffset;
  for (int i = 0; i < count && i < static_cast<int>(names.size()); ++i) {
    std::int32_t length = 0;
    if (!source.seek(position) || !readInt32(source, length)) {
      error = "the payload record of \"" + names[i] + "\" is cut short (no length)";
      return false;
    }
    position += INT32_FIELD_SIZE;
    std::uint64_t dataLength = length > 0 ? static_cast<std::uint64_t>(length) : 0;
    if (dataLength > contents.fileSize - position) {
      error = "the payload record of \"" + names[i] + "\" runs past the end of the file";
      return false;
    }
    contents.payload.push_back({names[i], length, position});
    position += dataLength;
  }
  contents.payloadEnd = position;
  return true;
}

bool extractInstaller(const fs::path& path, const fs::path& directory, const std::string& codePage,
                      std::vector<std::string>& written, std::string& error) {
  InstallerContents contents;
  if (!readInstaller(path, contents, error)) return false;
  std::vector<std::string> names;
  for (const auto& entry : contents.payload) {
    std::string name, why;
    if (fromCodePage(entry.name, codePage, name) != Conversion::Ok) {
      error = "a payload name is not valid text in code page " + codePage;
      return false;
    }
    if (!isPackableFileName(name, entry.name, why)) {
      error = "refusing the payload name \"" + name + "\": " + why;
      return false;
    }
    names.push_back(name);
  }
  std::error_code ec;
  fs::create_directories(directory, ec);
  if (ec) {
    error = "cannot create \"" + directory.string() + "\": " + ec.message();
    return false;
  }
  FileByteSource in(path);
  if (!in.isOpen()) {
    error = "cannot open \"" + path.string() + "\"";
    return false;
  }
  for (std::size_t i = 0; i < contents.payload.size(); ++i) {
    const PayloadEntry& entry = contents.payload[i];
    const std::string& name = names[i];
    fs::path target = directory / fs::u8path(name);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(openFile(target, "wb"), std::fclose);
    if (!out) {
      error = "cannot create \"" + target.string() + "\": " + std::strerror(errno);
      return false;
    }
    FileByteSink sink(out.get());
    CopyResult copied = in.seek(entry.offset) ? copyDescrambled(in, sink, entry.length > 0 ? entry.length : 0, true)
                                              : CopyResult::ReadFailed;
    if (copied != CopyResult::Done) {
      error = "\"" + name + "\": " + copyFailure(copied);
      return false;
    }
    if (std::fclose(out.release()) != 0) {
      error = "cannot write \"" + target.string() + "\"";
      return false;
    }
    written.push_back(name);
  }
  return true;
}

}  // namespace plimo::pack
