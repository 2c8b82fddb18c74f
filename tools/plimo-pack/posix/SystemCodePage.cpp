// Code page conversions through iconv (glibc's, with its gconv modules).
#include "tools/plimo-pack/SystemCodePage.h"

#include <cerrno>
#include <iconv.h>

namespace plimo::pack {

namespace {

Conversion convert(const std::string& in, const char* to, const char* from, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Conversion::UnknownCodePage;
  out.clear();
  std::string input = in;
  char* inPtr = input.empty() ? nullptr : &input[0];
  std::size_t inLeft = input.size();
  Conversion result = Conversion::Ok;
  char buffer[4096];
  // One more round with a null input flushes any shift state.
  for (bool flushing = false;;) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t rc = flushing ? iconv(cd, nullptr, nullptr, &outPtr, &outLeft)
                              : iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      result = Conversion::NotRepresentable;  // EILSEQ or an incomplete sequence
      break;
    }
    // glibc counts characters converted by approximation; none are allowed.
    if (rc > 0 && !flushing) {
      result = Conversion::NotRepresentable;
      break;
    }
    if (flushing) break;
    flushing = true;
  }
  iconv_close(cd);
  return result;
}

}  // namespace

Conversion encodeCodePage(const Utf8Text& utf8, int windowsCodePage, PageText& out) {
  std::string name = iconvNameOf(windowsCodePage);
  if (name.empty()) return Conversion::UnknownCodePage;
  return convert(utf8, name.c_str(), "UTF-8", out);
}

Conversion decodeCodePage(const PageText& bytes, int windowsCodePage, Utf8Text& utf8) {
  std::string name = iconvNameOf(windowsCodePage);
  if (name.empty()) return Conversion::UnknownCodePage;
  return convert(bytes, "UTF-8", name.c_str(), utf8);
}

}  // namespace plimo::pack
