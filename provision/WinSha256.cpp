#include "provision/WinSha256.h"

#include <cstring>

#include "launcher/Limits.h"
#include "launcher/Trace.h"

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

template <typename Fn>
bool lookUp(HMODULE module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return slot != nullptr;
}

const BcryptFunctions* bcrypt() {
  static BcryptFunctions functions;
  static int state = 0;  // 0 not tried, 1 bound, -1 unavailable
  if (state != 0) return state > 0 ? &functions : nullptr;
  state = -1;
  wchar_t path[PATH_BUFFER_SIZE];
  static const wchar_t name[] = L"\\bcrypt.dll";
  UINT n = GetSystemDirectoryW(path, PATH_BUFFER_SIZE);
  if (n == 0 || n + sizeof name / sizeof name[0] > PATH_BUFFER_SIZE) return nullptr;
  std::memcpy(path + n, name, sizeof name);
  HMODULE library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  trace("download: loading bcrypt.dll from the system directory %s", library != nullptr ? "succeeded" : "failed");
  if (library == nullptr) return nullptr;
  bool all = lookUp(library, "BCryptOpenAlgorithmProvider", functions.openAlgorithm);
  all = lookUp(library, "BCryptCloseAlgorithmProvider", functions.closeAlgorithm) && all;
  all = lookUp(library, "BCryptCreateHash", functions.createHash) && all;
  all = lookUp(library, "BCryptHashData", functions.hashData) && all;
  all = lookUp(library, "BCryptFinishHash", functions.finishHash) && all;
  all = lookUp(library, "BCryptDestroyHash", functions.destroyHash) && all;
  if (!all) return nullptr;
  state = 1;
  return &functions;
}

}  // namespace

WinSha256::~WinSha256() {
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
