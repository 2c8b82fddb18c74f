#include "base/CodePage.h"

namespace plimo {

CodePage::CodePage(unsigned number) : number_(number) {
  switch (number) {
    case 932:  // Shift JIS
      firstLow_ = 0x81, firstHigh_ = 0x9F, secondLow_ = 0xE0, secondHigh_ = 0xFC;
      break;
    case 936:    // GBK
    case 949:    // Unified Hangul Code
    case 950:    // Big5
    case 54936:  // GB 18030: its four-byte characters walk as two pairs
      firstLow_ = 0x81, firstHigh_ = 0xFE;
      break;
    default:
      break;
  }
}

ExactConversion exactConversionFor(unsigned codePage) {
  bool restricted = codePage == 42 || (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
                    codePage == 54936 || (codePage >= 57002 && codePage <= 57011) || codePage == 65000 ||
                    codePage == 65001;
  if (restricted) return {0, false};
  return {NO_BEST_FIT_CHARS, true};
}

}  // namespace plimo
