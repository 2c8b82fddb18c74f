#include "provision/WinDownload.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "base/WinSystemLibrary.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "provision/DigestText.h"
#include "provision/DownloadProgress.h"
#include "provision/WinDownload.h"
#include "provision/WinSha256.h"
#include "provision/WinWindowHelpers.h"
#include "resources/resource.h"

namespace plimo {

namespace {

// wininet is loaded at run time, so its declarations are our own.
typedef void* InternetHandleValue;
typedef InternetHandleValue(WINAPI* InternetOpenUrlAFn)(InternetHandleValue, LPCSTR, LPCSTR, DWORD, DWORD,
                                                        DWORD_PTR);
typedef InternetHandleValue(WINAPI* InternetOpenAFn)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
typedef BOOL(WINAPI* HttpQueryInfoAFn)(InternetHandleValue, DWORD, LPVOID, LPDWORD, LPDWORD);
typedef DWORD(WINAPI* InternetAttemptConnectFn)(DWORD);
typedef BOOL(WINAPI* InternetCloseHandleFn)(InternetHandleValue);
typedef BOOL(WINAPI* InternetReadFileFn)(InternetHandleValue, LPVOID, DWORD, LPDWORD);

constexpr DWORD OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD FLAG_PASSIVE = 0x08000000;
constexpr DWORD FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD QUERY_STATUS_CODE = 19;
constexpr DWORD QUERY_CONTENT_LENGTH = 5;
constexpr DWORD QUERY_FLAG_NUMBER = 0x20000000;
constexpr DWORD HTTP_OK = 200;
constexpr DWORD REPORT_INTERVAL_MS = 500;
constexpr char USER_AGENT[] = "sorbilane download agent";

struct WinInetFunctions {
  InternetOpenUrlAFn openUrl = nullptr;
  InternetOpenAFn open = nullptr;
  HttpQueryInfoAFn queryInfo = nullptr;
  InternetAttemptConnectFn attemptConnect = nullptr;
  InternetCloseHandleFn closeHandle = nullptr;
  InternetReadFileFn readFile = nullptr;
};
WinInetFunctions winInet;

class InternetHandle {
 public:
  explicit InternetHandle(InternetHandleValue handle) : handle_(handle) {}
  ~InternetHandle() { reset(); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  InternetHandleValue get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset() {
    if (handle_ != nullptr) winInet.closeHandle(handle_);
    handle_ = nullptr;
  }

 private:
  InternetHandleValue handle_;
};

bool queryNumber(InternetHandleValue request, DWORD infoLevel, DWORD& value) {
  DWORD size = sizeof value;
  value = 0;
  return winInet.queryInfo(request, infoLevel | QUERY_FLAG_NUMBER, &value, &size, nullptr) != FALSE;
}

void reportProgress(HWND dialog, std::uint32_t received, std::uint32_t length, std::uint32_t elapsedMs) {
  std::u16string format = getConfigWString(wmsg::PROGRESS_FORMAT);
  std::u16string line = formatProgressLine(format, progressFigures(received, length, elapsedMs));
  setDlgItemTextWide(dialog, IDC_STATUS_LINE, line.c_str());
  // The figures and a translation's words may not fit the template's line.
  fitTextControl(dialog, IDC_STATUS_LINE);
  SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(progressBarPosition(received, length)),
                      0);
}

// Receives length bytes into file. False when a read fails, the connection
// ends early (a successful read of nothing) or a write falls short.
bool transfer(HWND dialog, InternetHandleValue request, std::FILE* file, std::uint32_t length, WinSha256* hash) {
  // On the worker's stack: a static buffer would be stored in every installer.
  char buffer[DOWNLOAD_CHUNK_SIZE];
  std::uint32_t received = 0;
  DWORD start = GetTickCount();
  DWORD lastReport = 0;
  bool reported = false;
  while (received < length) {
    // The dialog was closed: the file goes, and nothing more is fetched.
    if (processIsEnding()) return false;
    DWORD wanted = length - received < DOWNLOAD_CHUNK_SIZE ? length - received : DOWNLOAD_CHUNK_SIZE;
    DWORD got = 0;
    if (!winInet.readFile(request, buffer, wanted, &got)) {
      trace("download: read failed after %lu of %lu bytes", static_cast<unsigned long>(received),
            static_cast<unsigned long>(length));
      return false;
    }
    if (got == 0 || got > wanted) {
      trace("download: connection ended after %lu of %lu bytes", static_cast<unsigned long>(received),
            static_cast<unsigned long>(length));
      return false;
    }
    if (std::fwrite(buffer, 1, got, file) != got) {
      trace("download: write fell short");
      return false;
    }
    if (hash != nullptr && !hash->update(buffer, got)) {
      trace("download: the system did not hash the data");
      return false;
    }
    received += got;
    DWORD now = GetTickCount();
    // The first block is reported at once, the last one always (so the bar
    // ends full); in between at most once per interval.
    if (!reported || now - lastReport > REPORT_INTERVAL_MS || received == length) {
      reportProgress(dialog, received, length, now - start);
      lastReport = GetTickCount();
      reported = true;
    }
  }
  return true;
}

}  // namespace

bool bindWinInet() {
  static HMODULE library = nullptr;
  if (library == nullptr) library = loadSystemLibrary(L"wininet.dll");
  if (library == nullptr) return false;
  bool all = bindProc(library, "InternetOpenUrlA", winInet.openUrl);
  all = bindProc(library, "InternetOpenA", winInet.open) && all;
  all = bindProc(library, "HttpQueryInfoA", winInet.queryInfo) && all;
  all = bindProc(library, "InternetAttemptConnect", winInet.attemptConnect) && all;
  all = bindProc(library, "InternetCloseHandle", winInet.closeHandle) && all;
  all = bindProc(library, "InternetReadFile", winInet.readFile) && all;
  return all;
}

bool downloadToFile(HWND dialog, const char* pageAddress, const char* ansiTarget) {
  setDlgItemTextWide(dialog, IDC_STATUS_LINE, getConfigWString(wmsg::CONNECTING).c_str());
  winInet.attemptConnect(0);
  InternetHandle session(winInet.open(USER_AGENT, OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) {
    trace("download: no Internet handle");
    return false;
  }
  InternetHandle request(
      winInet.openUrl(session.get(), pageAddress, nullptr, 0, FLAG_PASSIVE | FLAG_NO_CACHE_WRITE, 0));
  if (!request) {
    trace("download: %s cannot be opened", pageAddress);
    return false;
  }
  // An error page must not be saved as the runtime.
  DWORD status = 0;
  if (!queryNumber(request.get(), QUERY_STATUS_CODE, status) || status != HTTP_OK) {
    trace("download: %s answered with status %lu", pageAddress, static_cast<unsigned long>(status));
    return false;
  }
  DWORD length = 0;
  if (!queryNumber(request.get(), QUERY_CONTENT_LENGTH, length)) {
    trace("download: %s announced no length", pageAddress);
    return false;
  }
  trace("download: %s announces %lu bytes", pageAddress, static_cast<unsigned long>(length));
  // With a pinned digest nothing runs that the author did not ship: the bytes
  // are hashed as they arrive and a mismatch leaves no file behind.
  std::string pinText = getConfigString(cfg::DOWNLOAD_SHA256);
  unsigned char pinned[SHA256_SIZE];
  WinSha256 hash;
  bool verify = !pinText.empty();
  if (verify && !parseSha256Hex(pinText, pinned)) {
    trace("download: the pinned digest \"%s\" is not 64 hexadecimal digits", pinText.c_str());
    return false;
  }
  if (verify && !hash.begin()) {
    trace("download: no SHA-256 from the system to check the pinned digest with");
    return false;
  }
  std::FILE* file = std::fopen(ansiTarget, "wb");
  if (file == nullptr) {
    trace("download: %s cannot be created", ansiTarget);
    return false;
  }
  bool success = transfer(dialog, request.get(), file, length, verify ? &hash : nullptr);
  if (std::fclose(file) != 0) success = false;
  if (success && verify) {
    unsigned char received[SHA256_SIZE];
    success = hash.finish(received) && sameDigest(received, pinned);
    trace("download: SHA-256 %s the pinned digest", success ? "matches" : "does not match");
  }
  request.reset();
  session.reset();
  if (!success) DeleteFileA(ansiTarget);
  return success;
}

void downloadJre(HWND dialog, const char* pageAddress, const char* ansiTarget) {
  setDlgItemTextWide(dialog, IDC_MESSAGE_TEXT, getConfigWString(wmsg::DOWNLOADING).c_str());
  setDlgItemTextWide(dialog, IDCANCEL, getConfigWString(wmsg::CANCEL_BUTTON).c_str());
  ShowWindow(GetDlgItem(dialog, IDC_STATUS_LINE), SW_SHOW);
  if (!bindWinInet()) fatalWideMessage(wmsg::WININET_MISSING);
  if (!downloadToFile(dialog, pageAddress, ansiTarget)) fatalWideMessage(wmsg::DOWNLOAD_FAILED);
  ShowWindow(GetDlgItem(dialog, IDC_STATUS_LINE), SW_HIDE);
}

}  // namespace plimo
