#include "provision/DigestText.h"

namespace plimo {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool parseSha256Hex(std::string_view text, unsigned char out[SHA256_SIZE]) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  if (text.size() != 2 * SHA256_SIZE) return false;
  unsigned char digest[SHA256_SIZE];
  for (std::size_t i = 0; i < SHA256_SIZE; ++i) {
    int high = hexValue(text[2 * i]);
    int low = hexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<unsigned char>(high * 16 + low);
  }
  for (std::size_t i = 0; i < SHA256_SIZE; ++i) out[i] = digest[i];
  return true;
}

bool sameDigest(const unsigned char a[SHA256_SIZE], const unsigned char b[SHA256_SIZE]) {
  unsigned difference = 0;
  for (std::size_t i = 0; i < SHA256_SIZE; ++i) difference |= static_cast<unsigned>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace plimo
