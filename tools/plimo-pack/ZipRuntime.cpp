#include "tools/plimo-pack/ZipRuntime.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "provision/TarReader.h"

#ifdef PLIMO_PACK_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

namespace plimo::pack {

namespace fs = std::filesystem;

#ifdef PLIMO_PACK_HAVE_LIBARCHIVE

bool zipRuntimesSupported() { return true; }

namespace {

std::string errorOf(archive* reader) {
  const char* text = archive_error_string(reader);
  return text ? text : "unknown error";
}

}  // namespace

bool unpackRuntimeZip(const fs::path& zip, const fs::path& directory, std::string& why) {
  std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
  if (!reader) {
    why = "cannot start the zip reader";
    return false;
  }
  archive_read_support_format_zip(reader.get());
  if (archive_read_open_filename(reader.get(), zip.c_str(), 1 << 16) != ARCHIVE_OK) {
    why = std::string("cannot read it as a zip file: ") + errorOf(reader.get());
    return false;
  }
  archive_entry* entry = nullptr;
  int rc;
  std::string buffer(1 << 16, '\0');
  while ((rc = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
    const char* name = archive_entry_pathname(entry);
    // The same rule as for the names of the launcher's archive: the result
    // stays below directory.
    char safe[4096];
    if (!name || !sanitizeTarName(name, std::char_traits<char>::length(name), safe, sizeof safe)) {
      why = std::string("it holds an unsafe name \"") + (name ? name : "") + "\"";
      return false;
    }
    if (safe[0] == '\0') continue;
    fs::path target = directory / fs::u8path(safe);
    std::error_code ec;
    mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFDIR) {
      fs::create_directories(target, ec);
    } else if (type == AE_IFREG) {
      fs::create_directories(target.parent_path(), ec);
      std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(target.c_str(), "wb"), std::fclose);
      if (!out) {
        why = "cannot create \"" + target.string() + "\"";
        return false;
      }
      la_ssize_t n;
      while ((n = archive_read_data(reader.get(), &buffer[0], buffer.size())) > 0) {
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), out.get()) != static_cast<std::size_t>(n)) {
          why = "cannot write \"" + target.string() + "\"";
          return false;
        }
      }
      if (n < 0) {
        why = std::string("\"") + safe + "\": " + errorOf(reader.get());
        return false;
      }
      if (std::fclose(out.release()) != 0) {
        why = "cannot write \"" + target.string() + "\"";
        return false;
      }
    }
    if (ec) {
      why = "cannot create \"" + target.string() + "\": " + ec.message();
      return false;
    }
  }
  if (rc != ARCHIVE_EOF) {
    why = std::string("the zip file is damaged: ") + errorOf(reader.get());
    return false;
  }
  return true;
}

#else

bool zipRuntimesSupported() { return false; }

bool unpackRuntimeZip(const fs::path&, const fs::path&, std::string& why) {
  why = "this plimo-pack was built without libarchive and reads no .zip files";
  return false;
}

#endif

}  // namespace plimo::pack
