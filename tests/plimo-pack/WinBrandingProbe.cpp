// Reads an installer's branding the way Windows does: the version
// information through GetFileVersionInfoW and VerQueryValueW, the icon group
// MAINICO through LoadImageW from the file loaded as a data file, and the
// dialogs through FindResourceW. One line per finding on standard output
// (UTF-8), compared with the project by branding-test.sh; a failed call
// prints its error code and ends with exit code 1.
// Usage: branding-probe.exe FILE ICON_SIZE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ModuleFree {
  typedef HMODULE pointer;
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct IconFree {
  typedef HICON pointer;
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct ObjectFree {
  typedef HGDIOBJ pointer;
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DcFree {
  typedef HDC pointer;
  void operator()(HDC dc) const { DeleteDC(dc); }
};

std::string utf8(const wchar_t* text, int length = -1) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
  if (length < 0 && !out.empty()) out.pop_back();  // the terminating NUL
  return out;
}

int fail(const char* what) {
  std::printf("error %s %lu\n", what, GetLastError());
  return 1;
}

int versionInformation(const std::wstring& file) {
  DWORD handle = 0;
  SetLastError(0xdeadbeef);
  DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  if (size == 0) return fail("GetFileVersionInfoSizeW");
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return fail("GetFileVersionInfoW");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed)
    return fail("VerQueryValueW-fixed");
  std::printf("signature %08lx\n", fixed->dwSignature);
  std::printf("file-version %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  std::printf("product-version %u.%u.%u.%u\n", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
              HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < 4)
    return fail("VerQueryValueW-translation");
  std::printf("translation %04x %04x\n", translation[0], translation[1]);
  // The strings of the language and code page the translation names, as
  // Explorer looks them up.
  const wchar_t* keys[] = {L"CompanyName",      L"FileDescription", L"FileVersion",   L"LegalCopyright",
                           L"OriginalFilename", L"ProductName",     L"ProductVersion"};
  for (const wchar_t* key : keys) {
    wchar_t path[128];
    _snwprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], key);
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&value), &length) && value)
      std::printf("string %s=%s\n", utf8(key).c_str(), utf8(value).c_str());
  }
  return 0;
}

int resources(const std::wstring& file, int iconSize) {
  SetLastError(0xdeadbeef);
  std::unique_ptr<HMODULE, ModuleFree> module(LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return fail("LoadLibraryExW");
  for (int dialog : {103, 104})
    std::printf("dialog %d %s\n", dialog,
                FindResourceW(module.get(), MAKEINTRESOURCEW(dialog), MAKEINTRESOURCEW(5)) ? "yes" : "no");
  std::printf("manifest %s\n", FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) ? "yes" : "no");

  std::unique_ptr<HICON, IconFree> icon(
      static_cast<HICON>(LoadImageW(module.get(), L"MAINICO", IMAGE_ICON, iconSize, iconSize, LR_DEFAULTCOLOR)));
  if (!icon) return fail("LoadImageW");
  ICONINFO info = {};
  if (!GetIconInfo(icon.get(), &info)) return fail("GetIconInfo");
  std::unique_ptr<HGDIOBJ, ObjectFree> colour(info.hbmColor), mask(info.hbmMask);
  BITMAP bitmap = {};
  if (!colour || !GetObjectW(colour.get(), sizeof bitmap, &bitmap)) return fail("GetObjectW");
  // The middle pixel, read as 32-bit top-down: shows whose picture it is.
  std::unique_ptr<HDC, DcFree> dc(CreateCompatibleDC(nullptr));
  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof header.bmiHeader;
  header.bmiHeader.biWidth = bitmap.bmWidth;
  header.bmiHeader.biHeight = -bitmap.bmHeight;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(bitmap.bmWidth) * bitmap.bmHeight * 4);
  if (!dc || GetDIBits(dc.get(), static_cast<HBITMAP>(colour.get()), 0, bitmap.bmHeight, pixels.data(), &header,
                       DIB_RGB_COLORS) != bitmap.bmHeight)
    return fail("GetDIBits");
  const unsigned char* middle =
      &pixels[(static_cast<std::size_t>(bitmap.bmHeight / 2) * bitmap.bmWidth + bitmap.bmWidth / 2) * 4];
  std::printf("icon %ldx%ld rgb %u,%u,%u\n", bitmap.bmWidth, bitmap.bmHeight, middle[2], middle[1], middle[0]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: branding-probe.exe FILE ICON_SIZE\n");
    return 2;
  }
  wchar_t file[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file, MAX_PATH)) return fail("MultiByteToWideChar");
  int status = versionInformation(file);
  return resources(file, std::atoi(argv[2])) | status;
}
