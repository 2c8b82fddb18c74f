#pragma once
// SHA-256 through the system's own hashing (bcrypt.dll, loaded by full path
// from the system directory like wininet.dll): no cryptographic code of ours
// ships in the stub.
#include <windows.h>

#include <cstddef>

#include "provision/DigestText.h"

namespace plimo {

class WinSha256 {
 public:
  WinSha256() = default;
  ~WinSha256();
  WinSha256(const WinSha256&) = delete;
  WinSha256& operator=(const WinSha256&) = delete;

  // Opens the algorithm and a hash object. False when the system has no
  // usable bcrypt.dll or SHA-256 provider; then nothing else may be called.
  bool begin();
  // Adds n bytes; false when the system refused them.
  bool update(const void* data, std::size_t n);
  // The digest of everything added; false when the system refused it. The
  // hash cannot be added to afterwards.
  bool finish(unsigned char out[SHA256_SIZE]);

 private:
  void* algorithm_ = nullptr;
  void* hash_ = nullptr;
};

}  // namespace plimo
