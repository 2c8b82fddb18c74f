// The version scanner reads whatever a candidate java.exe writes; the range
// rules read registry names and configured bounds. None may read or write
// outside its input, and the scanner must agree with itself on pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "jvmsearch/JavaVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  std::string whole;
  plimo::VersionScan scan = plimo::scanVersionOutput(text, size, true, whole);
  if (scan == plimo::VersionScan::Found && size <= 1024) {
    if (whole.empty()) std::abort();
    // A version found with the output still open is the one found at its end.
    std::string early;
    for (std::size_t n = 0; n <= size; ++n) {
      plimo::VersionScan partial = plimo::scanVersionOutput(text, n, false, early);
      if (partial == plimo::VersionScan::Found) {
        if (early != whole) std::abort();
        break;
      }
      if (partial == plimo::VersionScan::NoVersion) std::abort();
    }
  }
  // Split the input into a version and two bounds for the range rules.
  std::string input(text, size);
  std::size_t a = input.find('\n');
  std::size_t b = a == std::string::npos ? a : input.find('\n', a + 1);
  std::string version = input.substr(0, a);
  std::string minimum = a == std::string::npos ? "" : input.substr(a + 1, b - a - 1);
  std::string maximum = b == std::string::npos ? "" : input.substr(b + 1);
  bool strict = plimo::versionAcceptable(version, minimum, maximum, true);
  bool tolerant = plimo::versionNameInRange(version, minimum, maximum);
  (void)strict;
  (void)tolerant;
  if (plimo::versionAcceptable(version, minimum, maximum, false) && !strict) std::abort();
  int forward = plimo::compareVersions(version, minimum);
  int backward = plimo::compareVersions(minimum, version);
  if (forward != -backward) std::abort();
  return 0;
}
