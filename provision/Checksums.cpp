#include "provision/Checksums.h"

namespace plimo {

namespace {

constexpr std::uint32_t CRC_POLYNOMIAL = 0xEDB88320u;  // reflected 0x04C11DB7
constexpr std::uint32_t ADLER_MODULUS = 65521u;
// The largest run of bytes whose Adler sums cannot overflow 32 bits.
constexpr std::size_t ADLER_RUN = 5552;

// One byte's worth of the table-driven CRC; the 1 KB table is built on first
// use instead of being stored in the executable.
const std::uint32_t* crcTable() {
  static std::uint32_t table[256];
  static bool built = false;
  if (!built) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? CRC_POLYNOMIAL ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    built = true;
  }
  return table;
}

}  // namespace

std::uint32_t crc32Update(std::uint32_t crc, const unsigned char* data, std::size_t n) {
  const std::uint32_t* table = crcTable();
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t adler32Update(std::uint32_t adler, const unsigned char* data, std::size_t n) {
  std::uint32_t a = adler & 0xFFFF;
  std::uint32_t b = adler >> 16;
  while (n > 0) {
    std::size_t run = n < ADLER_RUN ? n : ADLER_RUN;
    n -= run;
    while (run-- > 0) {
      a += *data++;
      b += a;
    }
    a %= ADLER_MODULUS;
    b %= ADLER_MODULUS;
  }
  return (b << 16) | a;
}

}  // namespace plimo
