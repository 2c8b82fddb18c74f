#include "provision/WinSha256.h"

#include "base/WinSystemLibrary.h"

namespace plimo {

namespace {

// bcrypt.dll is loaded at run time (older systems lack it, and the stub links
// system DLLs only by need), so its declarations are our own.
typedef LONG(WINAPI* OpenAlgorithmProviderFn)(void**, LPCWSTR, LPCWSTR, ULONG);
typedef LONG(WINAPI* CloseAlgorithmProviderFn)(void*, ULONG);
typedef LONG(WINAPI* CreateHashFn)(void*, void**, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
typedef LONG(WINAPI* HashDataFn)(void*, PUCHAR, ULONG, ULONG);
typedef LONG(WINAPI* FinishHashFn)(void*, PUCHAR, ULONG, ULONG);
typedef LONG(WINAPI* DestroyHashFn)(void*);

struct BcryptFunctions {
  OpenAlgorithmProviderFn openAlgorithm = nullptr;
  CloseAlgorithmProviderFn closeAlgorithm = nullptr;
  CreateHashFn createHash = nullptr;
  HashDataFn hashData = nullptr;
  FinishHashFn finishHash = nullptr;
  DestroyHashFn destroyHash = nullptr;
};

const BcryptFunctions* bcrypt() {
  static BcryptFunctions functions;
  static int state = 0;  // 0 not tried, 1 bound, -1 unavailable
  if (state != 0) return state > 0 ? &functions : nullptr;
  state = -1;
  HMODULE library = loadSystemLibrary(L"bcrypt.dll");
  if (library == nullptr) return nullptr;
  bool all = bindProc(library, "BCryptOpenAlgorithmProvider", functions.openAlgorithm);
  all = bindProc(library, "BCryptCloseAlgorithmProvider", functions.closeAlgorithm) && all;
  all = bindProc(library, "BCryptCreateHash", functions.createHash) && all;
  all = bindProc(library, "BCryptHashData", functions.hashData) && all;
  all = bindProc(library, "BCryptFinishHash", functions.finishHash) && all;
  all = bindProc(library, "BCryptDestroyHash", functions.destroyHash) && all;
  if (!all) return nullptr;
  state = 1;
  return &functions;
}

}  // namespace

WinSha256::~WinSha256() {
  // Nothing opened: bcrypt.dll is not even loaded for a download without a pin.
  if (hash_ == nullptr && algorithm_ == nullptr) return;
  const BcryptFunctions* f = bcrypt();
  if (f == nullptr) return;
  if (hash_ != nullptr) f->destroyHash(hash_);
  if (algorithm_ != nullptr) f->closeAlgorithm(algorithm_, 0);
}

bool WinSha256::begin() {
  const BcryptFunctions* f = bcrypt();
  if (f == nullptr || algorithm_ != nullptr) return false;
  if (f->openAlgorithm(&algorithm_, L"SHA256", nullptr, 0) != 0) {
    algorithm_ = nullptr;
    return false;
  }
  if (f->createHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0) != 0) {
    hash_ = nullptr;
    return false;
  }
  return true;
}

bool WinSha256::update(const void* data, std::size_t n) {
  const BcryptFunctions* f = bcrypt();
  if (f == nullptr || hash_ == nullptr) return false;
  return f->hashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(n), 0) == 0;
}

bool WinSha256::finish(unsigned char out[SHA256_SIZE]) {
  const BcryptFunctions* f = bcrypt();
  if (f == nullptr || hash_ == nullptr) return false;
  bool ok = f->finishHash(hash_, out, SHA256_SIZE, 0) == 0;
  f->destroyHash(hash_);
  hash_ = nullptr;
  return ok;
}

}  // namespace plimo
