#include "base/WinText.h"

#include <windows.h>


#include "base/ErrorReport.h"
#include "base/Trace.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"

namespace plimo {

namespace {

static_assert(NO_BEST_FIT_CHARS == WC_NO_BEST_FIT_CHARS, "the flag the portable rule hands out");

// text in the ANSI code page with the flags that page allows; lossy, when
// given, reports whether a character had no exact form there.
bool toAnsi(const wchar_t* text, AnsiText& out, unsigned flags, bool* lossy) {
  out.clear();
  BOOL usedDefault = FALSE;
  BOOL* report = lossy != nullptr ? &usedDefault : nullptr;
  int n = WideCharToMultiByte(CP_ACP, flags, text, -1, nullptr, 0, nullptr, report);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  WideCharToMultiByte(CP_ACP, flags, text, -1, &out[0], n, nullptr, report);
  out.pop_back();
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  return true;
}

// Exact conversion to the ANSI code page: no best-fit look-alikes (which
// would name another file) and no default character. Where the page allows
// neither the flag nor the report (UTF-8 among them), a loss shows as a
// round trip that does not give the text back.
bool exactAnsi(const wchar_t* text, AnsiText& out) {
  ExactConversion way = exactConversionFor(GetACP());
  bool lossy = false;
  if (!toAnsi(text, out, way.flags, way.reportsDefaultUse ? &lossy : nullptr)) return false;
  if (way.reportsDefaultUse) return !lossy;
  return wideFrom(out.c_str(), CP_ACP) == text;
}

}  // namespace

std::wstring wideFrom(const char* text, unsigned codePage) {
  int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
  wide.pop_back();
  return wide;
}

Utf8Text utf8From(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], n, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

bool ansiPath(const wchar_t* path, AnsiText& out) {
  if (exactAnsi(path, out)) return true;
  // Windows makes short names of ASCII characters; a volume may have them
  // turned off, and a path that does not exist yet has none.
  wchar_t shortPath[PATH_BUFFER_SIZE];
  DWORD n = GetShortPathNameW(path, shortPath, PATH_BUFFER_SIZE);
  if (n > 0 && n < PATH_BUFFER_SIZE && exactAnsi(shortPath, out)) {
    trace("path: %s stands for a name the ANSI code page cannot hold", out.c_str());
    return true;
  }
  out.clear();
  return false;
}

AnsiText ansiPathOrFatal(const wchar_t* path) {
  std::string narrow;
  if (ansiPath(path, narrow)) return narrow;
  trace("path: no ANSI form of %s", utf8From(path).c_str());
  std::u16string text = getConfigWString(wmsg::PATH_NOT_REPRESENTABLE);
  // Installers whose block predates the message: the generic internal error.
  if (text.empty()) fatalMessage(msg::INTERNAL_ERROR_CODE, "%ERROR_CODE%", "path");
  // The path on a line of its own after the text, as the user needs it to
  // find the folder.
  text += u'\n';
  text += reinterpret_cast<const char16_t*>(path);
  fatalWideText(text.c_str());
}

AnsiText ansiValue(const wchar_t* text) {
  std::string narrow;
  if (ansiPath(text, narrow)) return narrow;
  toAnsi(text, narrow, exactConversionFor(GetACP()).flags, nullptr);
  return narrow;
}

CodePage ansiCodePage() { return CodePage(GetACP()); }

unsigned installerCodePage() {
  int page = getConfigInt(cfg::CODE_PAGE);
  return page > 0 && IsValidCodePage(static_cast<UINT>(page)) ? static_cast<unsigned>(page) : 0;
}

}  // namespace plimo
