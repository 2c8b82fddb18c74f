// Code page conversions through the Windows API. MinGW has no iconv, and the
// system's tables are the ones the launcher itself converts with.
#include "tools/plimo-pack/SystemCodePage.h"

#include <windows.h>

namespace plimo::pack {

namespace {

// Code pages for which the API takes no flags at all (it fails with
// ERROR_INVALID_FLAGS otherwise); they cannot refuse invalid input, so they
// are refused here rather than converted loosely.
bool takesNoFlags(int page) {
  return page == 42 || (page >= 50220 && page <= 50229) || page == 52936 || page == 54936 ||
         (page >= 57002 && page <= 57011) || page == 65000;
}

bool toWide(const std::string& bytes, UINT page, DWORD flags, std::wstring& wide) {
  wide.clear();
  if (bytes.empty()) return true;
  int length = MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length) == length;
}

// UTF-8 and UTF-7 take no best-fit flag and report no default character; for
// UTF-8 WC_ERR_INVALID_CHARS refuses lone surrogates instead.
bool fromWide(const std::wstring& wide, UINT page, std::string& bytes) {
  bytes.clear();
  if (wide.empty()) return true;
  bool utf8 = page == CP_UTF8;
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
  int wideLength = static_cast<int>(wide.size());
  int length = WideCharToMultiByte(page, flags, wide.data(), wideLength, nullptr, 0, nullptr, usedDefaultOut);
  if (length <= 0 || usedDefault) return false;
  bytes.resize(static_cast<std::size_t>(length));
  return WideCharToMultiByte(page, flags, wide.data(), wideLength, &bytes[0], length, nullptr, usedDefaultOut) ==
             length &&
         !usedDefault;
}

bool known(int page) {
  CPINFO info;
  return page > 0 && !takesNoFlags(page) && GetCPInfo(static_cast<UINT>(page), &info);
}

}  // namespace

Conversion encodeCodePage(const Utf8Text& utf8, int windowsCodePage, PageText& out) {
  if (!known(windowsCodePage)) return Conversion::UnknownCodePage;
  std::wstring wide;
  if (!toWide(utf8, CP_UTF8, MB_ERR_INVALID_CHARS, wide)) return Conversion::NotRepresentable;
  if (!fromWide(wide, static_cast<UINT>(windowsCodePage), out)) return Conversion::NotRepresentable;
  // WC_NO_BEST_FIT_CHARS alone still lets a few characters through as other
  // ones in some code pages; only a text that comes back as it went is exact.
  std::wstring back;
  if (!toWide(out, static_cast<UINT>(windowsCodePage), MB_ERR_INVALID_CHARS, back) || back != wide) {
    return Conversion::NotRepresentable;
  }
  return Conversion::Ok;
}

Conversion decodeCodePage(const PageText& bytes, int windowsCodePage, Utf8Text& utf8) {
  if (!known(windowsCodePage)) return Conversion::UnknownCodePage;
  std::wstring wide;
  if (!toWide(bytes, static_cast<UINT>(windowsCodePage), MB_ERR_INVALID_CHARS, wide)) {
    return Conversion::NotRepresentable;
  }
  if (!fromWide(wide, CP_UTF8, utf8)) return Conversion::NotRepresentable;
  return Conversion::Ok;
}

}  // namespace plimo::pack
