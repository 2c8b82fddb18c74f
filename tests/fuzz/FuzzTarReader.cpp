// Fuzzes the runtime archive reader over an in-memory stream, and its gzip
// layer over the same bytes as a stored file. Whatever the bytes, it must end
// with a status and hand the target only plain relative names; the tar
// reader alone never writes more data than the input holds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "block/Limits.h"
#include "provision/TarReader.h"

namespace {

class FuzzSource final : public plimo::TarSource {
 public:
  FuzzSource(const std::uint8_t* data, std::size_t size, std::size_t step) : data_(data), size_(size), step_(step) {}
  long read(void* destination, std::size_t n) override {
    std::size_t take = n < size_ - at_ ? n : size_ - at_;
    if (take > step_) take = step_;
    std::memcpy(destination, data_ + at_, take);
    at_ += take;
    return static_cast<long>(take);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t step_;
  std::size_t at_ = 0;
};

void checkName(const char* name) {
  char again[plimo::PATH_BUFFER_SIZE];
  std::size_t length = std::strlen(name);
  if (length == 0 || !plimo::sanitizeTarName(name, length, again, sizeof again) || std::strcmp(again, name) != 0) {
    __builtin_trap();
  }
}

class CountingTarget final : public plimo::TarTarget {
 public:
  bool makeDirectory(const char* path) override {
    checkName(path);
    return true;
  }
  bool openFile(const char* path) override {
    checkName(path);
    if (open_) __builtin_trap();
    open_ = true;
    return true;
  }
  bool writeFile(const void*, std::size_t n) override {
    if (!open_) __builtin_trap();
    written += n;
    return true;
  }
  bool closeFile() override {
    open_ = false;
    return true;
  }
  std::size_t written = 0;

 private:
  bool open_ = false;
};

class FuzzProgress final : public plimo::TarProgress {
 public:
  std::uint32_t ticks() override { return now += 97; }
  void setPosition(int position) override {
    if (position < 0 || position > 100) __builtin_trap();
  }
  std::uint32_t now = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the stream hands out its bytes, so short reads
  // are explored as well as whole blocks.
  std::size_t step = data[0] < 128 ? 1u << 20 : static_cast<std::size_t>(data[0] - 127);
  FuzzSource source(data + 1, size - 1, step);
  CountingTarget target;
  FuzzProgress progress;
  plimo::extractTarStream(source, target, &progress, static_cast<std::int64_t>(size) / 3);
  if (target.written > size) __builtin_trap();
  // The same bytes as a stored file: gzip members (or plain data) read in the
  // same steps. Inflated data may well be larger than the input.
  FuzzSource stored(data + 1, size - 1, step);
  CountingTarget inflatedTarget;
  plimo::extractTarGz(stored, inflatedTarget, &progress, static_cast<std::int64_t>(size));
  if (size >= 12) {
    std::int32_t value = plimo::parseTarOctal(reinterpret_cast<const char*>(data), 12);
    if (value < -1) __builtin_trap();
  }
  return 0;
}
