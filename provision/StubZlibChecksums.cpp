// zlib's inflate calls crc32 and adler32; defined here, the stub links these
// small versions instead of zlib's table-heavy ones (stub only: test programs
// and native builds keep zlib's own).
#include <zlib.h>

#include "provision/Checksums.h"

extern "C" {

uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 0;
  return plimo::crc32Update(static_cast<std::uint32_t>(crc), buf, len);
}

uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 1;
  return plimo::adler32Update(static_cast<std::uint32_t>(adler), buf, len);
}

}  // extern "C"
