// The pinned digest's text form: exactly what plimo-pack writes is accepted,
// anything that could pin nothing (or something else) is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "provision/DigestText.h"

namespace plimo {
namespace {

const std::string EMPTY_SHA256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(DigestText, SixtyFourHexDigitsAndNothingElse) {
  struct Case {
    const char* what;
    std::string text;
    bool accepted;
  } cases[] = {
      {"lower case", EMPTY_SHA256, true},
      {"upper case", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855", true},
      {"blanks and a line end around it", " \t" + EMPTY_SHA256 + "\r\n", true},
      {"empty", "", false},
      {"one digit short", EMPTY_SHA256.substr(1), false},
      {"one digit more", EMPTY_SHA256 + "0", false},
      {"a letter beyond f", EMPTY_SHA256.substr(0, 63) + "g", false},
      {"a blank inside", EMPTY_SHA256.substr(0, 32) + " " + EMPTY_SHA256.substr(33), false},
      {"a prefix naming the algorithm", "sha256:" + EMPTY_SHA256.substr(7), false},
      {"a NUL inside", EMPTY_SHA256.substr(0, 10) + std::string(1, '\0') + EMPTY_SHA256.substr(11), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unsigned char out[SHA256_SIZE];
    std::memset(out, 0x5A, sizeof out);
    EXPECT_EQ(parseSha256Hex(c.text, out), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(out[0], 0xE3);
      EXPECT_EQ(out[1], 0xB0);
      EXPECT_EQ(out[31], 0x55);
    } else {
      for (unsigned char b : out) EXPECT_EQ(b, 0x5A) << "a refused text must leave the output alone";
    }
  }
}

TEST(DigestText, DigestsDifferingAnywhereAreNotTheSame) {
  unsigned char a[SHA256_SIZE];
  ASSERT_TRUE(parseSha256Hex(EMPTY_SHA256, a));
  for (std::size_t i = 0; i < SHA256_SIZE; ++i) {
    unsigned char b[SHA256_SIZE];
    std::memcpy(b, a, sizeof b);
    EXPECT_TRUE(sameDigest(a, b));
    b[i] ^= 0x01;
    EXPECT_FALSE(sameDigest(a, b)) << i;
  }
}

}  // namespace
}  // namespace plimo
