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

bool parseSha256Hex(std::string_view pageText, unsigned char out[SHA256_SIZE]) {
  while (!pageText.empty() && isBlank(pageText.front())) pageText.remove_prefix(1);
  while (!pageText.empty() && isBlank(pageText.back())) pageText.remove_suffix(1);
  if (pageText.size() != 2 * SHA256_SIZE) return false;
  unsigned char digest[SHA256_SIZE];
  for (std::size_t i = 0; i < SHA256_SIZE; ++i) {
    int high = hexValue(pageText[2 * i]);
    int low = hexValue(pageText[2 * i + 1]);
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
