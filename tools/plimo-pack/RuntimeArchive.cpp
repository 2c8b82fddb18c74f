#include "tools/plimo-pack/RuntimeArchive.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <memory>
#include <system_error>

#include "launcher/Limits.h"

namespace plimo::pack {

namespace fs = std::filesystem;

namespace {

struct ArchiveFree {
  void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
  void operator()(archive_entry* e) const { archive_entry_free(e); }
};

struct Walker {
  archive* a;
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
    std::sort(children.begin(), children.end(),
              [](const fs::directory_entry& x, const fs::directory_entry& y) { return x.path().filename() < y.path().filename(); });
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

  bool writeEntry(const fs::path& source, const std::string& name, bool directory, const fs::file_status& status) {
    std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), directory ? AE_IFDIR : AE_IFREG);
    bool executable = (status.permissions() & fs::perms::owner_exec) != fs::perms::none;
    archive_entry_set_perm(entry.get(), directory || executable ? 0755 : 0644);
    archive_entry_set_mtime(entry.get(), 0, 0);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    std::error_code ec;
    std::uintmax_t size = directory ? 0 : fs::file_size(source, ec);
    if (ec) {
      result.error = "cannot read \"" + source.string() + "\": " + ec.message();
      return false;
    }
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK) {
      result.error = std::string("cannot write the runtime archive: ") + archive_error_string(a);
      return false;
    }
    if (directory) return true;
    std::ifstream in(source, std::ios::binary);
    if (!in) {
      result.error = "cannot open \"" + source.string() + "\"";
      return false;
    }
    std::vector<char> buffer(ARCHIVE_CHUNK_SIZE * 8);
    std::uintmax_t done = 0;
    while (done < size) {
      in.read(buffer.data(), static_cast<std::streamsize>(std::min<std::uintmax_t>(buffer.size(), size - done)));
      std::streamsize n = in.gcount();
      if (n <= 0) {
        result.error = "\"" + source.string() + "\" became shorter while it was packed";
        return false;
      }
      if (archive_write_data(a, buffer.data(), static_cast<std::size_t>(n)) != n) {
        result.error = std::string("cannot write the runtime archive: ") + archive_error_string(a);
        return false;
      }
      done += static_cast<std::uintmax_t>(n);
    }
    return true;
  }
};

}  // namespace

ArchiveResult writeRuntimeArchive(const fs::path& directory, const fs::path& archivePath) {
  ArchiveResult result;
  std::unique_ptr<archive, ArchiveFree> a(archive_write_new());
  if (archive_write_set_format_pax_restricted(a.get()) != ARCHIVE_OK ||
      archive_write_add_filter_gzip(a.get()) != ARCHIVE_OK ||
      // No time stamp in the gzip header: the same tree gives the same bytes.
      archive_write_set_filter_option(a.get(), "gzip", "timestamp", nullptr) != ARCHIVE_OK ||
      archive_write_open_filename(a.get(), archivePath.c_str()) != ARCHIVE_OK) {
    result.error = std::string("cannot create the runtime archive: ") + archive_error_string(a.get());
    return result;
  }
  Walker walker{a.get(), result};
  if (!walker.add(directory, fs::path())) return result;
  if (archive_write_close(a.get()) != ARCHIVE_OK) {
    result.error = std::string("cannot finish the runtime archive: ") + archive_error_string(a.get());
    return result;
  }
  // Filter 0 counts the bytes the tar writer produced, before compression.
  result.decompressedSize = static_cast<std::uint64_t>(archive_filter_bytes(a.get(), 0));
  result.ok = true;
  return result;
}

}  // namespace plimo::pack
