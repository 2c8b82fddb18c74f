#pragma once
// The pinned digest of the runtime archive as the configuration holds it:
// SHA-256 as 64 hexadecimal digits.
#include <cstddef>
#include <string_view>

namespace plimo {

constexpr std::size_t SHA256_SIZE = 32;

// Reads text as a SHA-256 digest: exactly 64 hexadecimal digits, either
// case, blanks around them ignored. False (out untouched) for anything else.
// Takes entry 153 as page text in the launcher and the project's UTF-8 in
// plimo-pack: only ASCII is accepted, which both kinds write alike.
bool parseSha256Hex(std::string_view text, unsigned char out[SHA256_SIZE]);

// Compares two digests without stopping at the first difference.
bool sameDigest(const unsigned char a[SHA256_SIZE], const unsigned char b[SHA256_SIZE]);

}  // namespace plimo
