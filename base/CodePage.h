#pragma once
// What the text rules must know of a Windows code page to walk narrow text in
// it. In the double-byte ANSI code pages (Japanese 932, Simplified Chinese
// 936, Korean 949, Traditional Chinese 950) the second byte of a character
// can be '@' to '~': an ASCII letter, '\' (0x5C) or '|'. A rule that looks for
// a separator or folds case must step over such a character as a whole. A
// blank, '"', '%', '.', '/', ':' or ';' is never a second byte there, so
// splitting at them needs no care. In UTF-8 (65001) every byte of a character
// outside ASCII is 0x80 or above, so it has no lead bytes here.
#include <cstddef>
#include <string>

namespace plimo {

class CodePage {
 public:
  // Windows code page number, such as GetACP's answer.
  explicit CodePage(unsigned number);

  unsigned number() const { return number_; }
  bool isLeadByte(unsigned char byte) const {
    return (byte >= firstLow_ && byte <= firstHigh_) || (byte >= secondLow_ && byte <= secondHigh_);
  }
  // Bytes of the character that starts at text[at]: 2 for a lead byte that
  // has a byte after it, else 1 (a lead byte cut off at the end stands alone).
  // text is in this code page: AnsiText with the system's, PageText with the
  // installer's.
  std::size_t charLength(const std::string& text, std::size_t at) const {
    return at + 1 < text.size() && isLeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
  }

 private:
  unsigned number_;
  // Lead bytes are the two ranges [firstLow_, firstHigh_] and
  // [secondLow_, secondHigh_]; an empty range has low above high.
  unsigned char firstLow_ = 1, firstHigh_ = 0, secondLow_ = 1, secondHigh_ = 0;
};

// How WideCharToMultiByte may be asked for an exact conversion into a code
// page. Windows refuses any flag, and a lpUsedDefaultChar pointer, for UTF-8,
// UTF-7, GB 18030 (54936), the ISO-2022 and ISCII pages and the symbol page
// (42): there the call fails outright. Without the report the caller finds a
// loss by converting back and comparing.
struct ExactConversion {
  unsigned flags;          // WC_NO_BEST_FIT_CHARS where it is allowed, else 0
  bool reportsDefaultUse;  // lpUsedDefaultChar may be passed
};
// The value of WC_NO_BEST_FIT_CHARS: no look-alike characters, which would
// name another file.
constexpr unsigned NO_BEST_FIT_CHARS = 0x400;
ExactConversion exactConversionFor(unsigned codePage);

}  // namespace plimo
