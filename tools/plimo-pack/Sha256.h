#pragma once
// SHA-256 for plimo-pack, which pins the digest of a runtime archive that the
// launcher downloads (the launcher checks it with the system's own hashing).
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace plimo::pack {

class Sha256 {
 public:
  Sha256();
  void update(const void* data, std::size_t n);
  std::array<unsigned char, 32> finish();

 private:
  void block(const unsigned char* p);
  std::uint32_t state_[8];
  unsigned char buffer_[64];
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

// Lower-case hexadecimal of a digest.
std::string hexDigest(const std::array<unsigned char, 32>& digest);

// The digest of a file's bytes in lower-case hexadecimal; nothing when the
// file cannot be read whole.
std::optional<std::string> fileSha256(const std::filesystem::path& path);

}  // namespace plimo::pack
