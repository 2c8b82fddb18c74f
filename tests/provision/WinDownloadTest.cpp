// The runtime download against a real HTTP server on 127.0.0.1 (started by
// the test fixture), through the real wininet, into a real progress dialog
// made from the stub's own template. The status line and the bar are
// subclassed to record what the download shows and when.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>
#include <commctrl.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include "base/LaunchState.h"
#include "block/ConfigStore.h"
#include "launcher/WinProgressDialog.h"
#include "provision/WinDownload.h"
#include "resources/resource.h"
#include "tests/support/FatalTrap.h"
#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

std::string serverAddress() {
  std::string port = readFile(binDir() + "provision-http.port");
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  return port.empty() ? std::string() : "http://127.0.0.1:" + port;
}

std::string requestLog() { return readFile(binDir() + "provision-http.requests"); }

// The server writes its log line after the last byte has left it, which can be
// a moment after the client has everything: wait for the line a little.
std::string requestLogWith(const std::string& line) {
  std::string log;
  for (int i = 0; i < 40; ++i) {
    log = requestLog();
    if (log.find(line) != std::string::npos) break;
    Sleep(50);
  }
  return log;
}

// The bytes every server body consists of.
std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

struct Shown {
  DWORD tick;
  bool bar;          // PBM_SETPOS, else a status line text
  int position;
  std::string text;  // UTF-8
};

std::mutex shownLock;
std::vector<Shown> shown;
WNDPROC statusProc = nullptr;
WNDPROC barProc = nullptr;

LRESULT CALLBACK recordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) {
    std::lock_guard<std::mutex> hold(shownLock);
    shown.push_back({GetTickCount(), false, 0, utf8FromWide(reinterpret_cast<const wchar_t*>(lParam))});
  }
  return CallWindowProcW(statusProc, window, message, wParam, lParam);
}

LRESULT CALLBACK recordBar(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == PBM_SETPOS) {
    std::lock_guard<std::mutex> hold(shownLock);
    shown.push_back({GetTickCount(), true, static_cast<int>(wParam), std::string()});
  }
  return CallWindowProcW(barProc, window, message, wParam, lParam);
}

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The progress dialog (template 103 of the built stub) on a thread of its
// own with a message loop, as the launcher's main thread runs it; the test
// thread plays the worker.
class ProgressDialog {
 public:
  ProgressDialog() {
    ui_ = std::thread([this] { run(); });
    std::unique_lock<std::mutex> hold(lock_);
    ready_.wait(hold, [this] { return started_; });
  }
  ~ProgressDialog() {
    if (dialog_ != nullptr) PostMessageA(dialog_, WM_CLOSE, 0, 0);
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    ui_.join();
  }
  HWND window() const { return dialog_; }

 private:
  void run() {
    threadId_ = GetCurrentThreadId();
    HMODULE stub = LoadLibraryExA(stubPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = stub ? FindResourceA(stub, MAKEINTRESOURCEA(IDD_PROGRESS), MAKEINTRESOURCEA(5)) : nullptr;
    const void* templ = found ? LockResource(LoadResource(stub, found)) : nullptr;
    if (templ != nullptr) {
      instanceHandle = GetModuleHandleA(nullptr);
      registerDialogClass();
      dialog_ = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), static_cast<LPCDLGTEMPLATEA>(templ), nullptr,
                                           quietDialog, 0);
    }
    if (dialog_ != nullptr) {
      SendDlgItemMessageA(dialog_, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
      statusProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          GetDlgItem(dialog_, IDC_STATUS_LINE), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordStatus)));
      barProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(GetDlgItem(dialog_, IDC_PROGRESS_BAR), GWLP_WNDPROC,
                                                            reinterpret_cast<LONG_PTR>(recordBar)));
    }
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    {
      std::lock_guard<std::mutex> hold(lock_);
      started_ = true;
    }
    ready_.notify_all();
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (message.message == WM_CLOSE && message.hwnd == dialog_) break;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    if (stub != nullptr) FreeLibrary(stub);
  }

  std::thread ui_;
  std::mutex lock_;
  std::condition_variable ready_;
  bool started_ = false;
  DWORD threadId_ = 0;
  HWND dialog_ = nullptr;
};

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    configStore() = ConfigStore();
    for (int id = 20001; id <= 20014; ++id) {
      configStore().wide[id] = utf16FromUtf8(std::to_string(id) + ": wide message");
    }
    configStore().wide[wmsg::PROGRESS_FORMAT] = u"%.2f of %.2f MB (%.0f%%) at %.1f kb/s";
    clearShownMessages();
    {
      std::lock_guard<std::mutex> hold(shownLock);
      shown.clear();
    }
    address_ = serverAddress();
    ASSERT_FALSE(address_.empty()) << "the HTTP server fixture is not running";
    ASSERT_NE(dialog_.window(), nullptr) << "no progress dialog from " << stubPath();
    ASSERT_TRUE(bindWinInet());
  }
  void TearDown() override { configStore() = ConfigStore(); }

  std::vector<Shown> progressLines() {
    std::lock_guard<std::mutex> hold(shownLock);
    std::vector<Shown> lines;
    for (const Shown& s : shown) {
      if (!s.bar && s.text.find("MB") != std::string::npos) lines.push_back(s);
    }
    return lines;
  }
  std::vector<Shown> everything() {
    std::lock_guard<std::mutex> hold(shownLock);
    return shown;
  }

  std::string address_;
  ProgressDialog dialog_;
  ScratchDir dir_;
};

TEST_F(Download, WinInetComesFromTheSystemDirectory) {
  HMODULE loaded = GetModuleHandleA("wininet.dll");
  ASSERT_NE(loaded, nullptr);
  char path[MAX_PATH];
  char system[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(loaded, path, sizeof path), 0u);
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  EXPECT_EQ(_stricmp(path, (std::string(system) + "\\wininet.dll").c_str()), 0) << path;
}

TEST(DownloadLibrary, PlantedWinInetBesideTheProgramIsNeverLoaded) {
  ScratchDir dir;
  ASSERT_TRUE(CopyFileA((binDir() + "provision_wininet_probe.exe").c_str(), dir.file("setup.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((binDir() + "planted-wininet.dll").c_str(), dir.file("wininet.dll").c_str(), FALSE));
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  std::string program = "\"" + dir.file("setup.exe") + "\"";
  // Loading by bare name takes the planted copy: the trap is real.
  RunResult naive = runProcess(program + " naive", 20000);
  EXPECT_EQ(_stricmp(naive.stdErr.c_str(), dir.file("wininet.dll").c_str()), 0) << naive.stdErr;
  RunResult bound = runProcess(program, 20000);
  EXPECT_EQ(bound.exitCode, 0u);
  EXPECT_EQ(_stricmp(bound.stdErr.c_str(), (std::string(system) + "\\wininet.dll").c_str()), 0) << bound.stdErr;
}

TEST_F(Download, CompleteArchiveIsStoredWithProgressToTheEnd) {
  const std::size_t size = 200000;
  std::string target = dir_.file("jre.tar.gz");
  std::string url = address_ + "/file?size=" + std::to_string(size);
  ASSERT_TRUE(downloadToFile(dialog_.window(), url.c_str(), target.c_str()));
  EXPECT_EQ(readFile(target), pattern(size));

  std::vector<Shown> all = everything();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front().text, "20009: wide message");  // connecting, before any progress
  std::vector<Shown> lines = progressLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().text.substr(0, 25), "0.19 of 0.19 MB (100%) at");
  int lastBar = -1;
  for (const Shown& s : all) {
    if (s.bar) {
      EXPECT_GE(s.position, lastBar);
      lastBar = s.position;
    }
  }
  EXPECT_EQ(lastBar, 100);
  // The server saw our agent and sent everything.
  const std::string complete = "/file?size=200000\tsorbilane download agent\t200000\tcomplete";
  std::string log = requestLogWith(complete);
  EXPECT_NE(log.find(complete), std::string::npos) << log;
}

TEST_F(Download, AnnouncedLengthZeroGivesAnEmptyFile) {
  std::string target = dir_.file("jre.tar.gz");
  std::string url = address_ + "/file?size=0";
  ASSERT_TRUE(downloadToFile(dialog_.window(), url.c_str(), target.c_str()));
  EXPECT_TRUE(pathExists(target));
  EXPECT_EQ(readFile(target), "");
}

TEST_F(Download, FailuresLeaveNoFile) {
  struct Case {
    const char* name;
    std::string url;
    bool dataArrives;  // the failure comes after part of the body was written
  } cases[] = {
      {"no Content-Length", address_ + "/nolength?size=50000", false},
      {"status 404 with a body", address_ + "/status?code=404", false},
      {"status 500 with a body", address_ + "/status?code=500", false},
      {"connection cut midway", address_ + "/cut?size=300000&after=100000", true},
      {"nothing listens", "http://127.0.0.1:1/jre.tar.gz", false},
      {"not an address", "no scheme at all", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<std::mutex> hold(shownLock);
      shown.clear();
    }
    std::string target = dir_.file("jre.tar.gz");
    EXPECT_FALSE(downloadToFile(dialog_.window(), c.url.c_str(), target.c_str()));
    EXPECT_FALSE(pathExists(target));
    std::vector<Shown> lines = progressLines();
    if (c.dataArrives) {
      ASSERT_FALSE(lines.empty()) << "the cut came before any data";
      EXPECT_NE(lines.front().text.find(" of 0.29 MB"), std::string::npos) << lines.front().text;
    } else {
      EXPECT_TRUE(lines.empty());
    }
  }
}

// SHA-256 in hexadecimal through the older CryptoAPI, independent of the
// bcrypt.dll the launcher hashes with.
std::string cryptoApiSha256(const std::string& data) {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  std::string hex;
  if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
      unsigned char digest[32];
      DWORD size = sizeof digest;
      if (CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0) &&
          CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest) {
        static const char digits[] = "0123456789abcdef";
        for (unsigned char b : digest) {
          hex += digits[b >> 4];
          hex += digits[b & 15];
        }
      }
      CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
  }
  return hex;
}

// https:// goes through the system's certificate checks untouched: a server
// whose certificate the prefix does not trust is refused before any request
// (Windows breaks off the handshake; Wine completes it, checks the
// certificate and drops the connection), and nothing is stored.
TEST_F(Download, AServerWithAnUntrustedCertificateIsRefused) {
  std::string port = readFile(binDir() + "provision-https.port");
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  ASSERT_FALSE(port.empty()) << "the TLS server of the fixture is not running";
  std::string target = dir_.file("jre.tar.gz");
  std::string url = "https://127.0.0.1:" + port + "/file?size=4321";
  EXPECT_FALSE(downloadToFile(dialog_.window(), url.c_str(), target.c_str()));
  EXPECT_FALSE(pathExists(target));
  std::string log = requestLogWith("tls-");
  EXPECT_NE(log.find("tls-"), std::string::npos) << "no TLS connection reached the server; log:\n" << log;
  EXPECT_EQ(log.find("/file?size=4321"), std::string::npos) << "the request went through: " << log;
}

TEST_F(Download, APinnedDigestLetsOnlyTheSameBytesThrough) {
  const std::size_t size = 300000;
  const std::string right = cryptoApiSha256(pattern(size));
  ASSERT_EQ(right.size(), 64u);
  std::string upper = right;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string oneDigitOff = right;
  oneDigitOff[63] = oneDigitOff[63] == '0' ? '1' : '0';
  struct Case {
    const char* name;
    std::string pinned;
    bool stored;
  } cases[] = {
      {"no digest configured", "", true},
      {"the archive's digest", right, true},
      {"the same digest in capitals, with blanks around", "  " + upper + "\r\n", true},
      {"a digest that differs in its last digit", oneDigitOff, false},
      {"a digest that is not 64 hexadecimal digits", right.substr(0, 62) + "zz", false},
      {"a digest one digit short", right.substr(1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    configStore().narrow[cfg::DOWNLOAD_SHA256] = c.pinned;
    std::string target = dir_.file("jre.tar.gz");
    std::string url = address_ + "/file?size=" + std::to_string(size);
    EXPECT_EQ(downloadToFile(dialog_.window(), url.c_str(), target.c_str()), c.stored);
    if (c.stored) {
      EXPECT_EQ(readFile(target), pattern(size));
    } else {
      EXPECT_FALSE(pathExists(target)) << "a refused download must leave no file";
    }
    DeleteFileA(target.c_str());
  }
}

TEST_F(Download, SlowServerIsReportedAtMostEveryHalfSecond) {
  // 40 blocks of 4096 bytes, one every 80 ms: about 3.2 seconds.
  std::string target = dir_.file("jre.tar.gz");
  std::string url = address_ + "/slow?size=163840&chunk=4096&delay=80";
  DWORD start = GetTickCount();
  ASSERT_TRUE(downloadToFile(dialog_.window(), url.c_str(), target.c_str()));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 2500u);
  EXPECT_EQ(readFile(target), pattern(163840));

  std::vector<Shown> lines = progressLines();
  ASSERT_GE(lines.size(), 4u) << "took " << took << " ms";
  // The first report comes with the first block, at most 16384 bytes.
  EXPECT_LE(std::atof(lines.front().text.c_str()), 0.02) << lines.front().text;
  EXPECT_NE(lines.front().text.find(" of 0.16 MB"), std::string::npos) << lines.front().text;
  // Between reports at least 500 ms, except before the last one, which shows
  // the completed transfer whenever it ends.
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    EXPECT_GE(lines[i].tick - lines[i - 1].tick, 500u) << "report " << i;
  }
  EXPECT_LE(lines.size(), took / 500 + 2);
  EXPECT_EQ(lines.back().text.substr(0, 22), "0.16 of 0.16 MB (100%)");
  std::size_t bars = 0;
  for (const Shown& s : everything()) bars += s.bar ? 1 : 0;
  EXPECT_EQ(bars, lines.size());
}

TEST_F(Download, ProgressFormatIsUsedOnlyWhenItIsSafe) {
  struct Case {
    const char16_t* format;
    std::string line;
  } cases[] = {
      {u"%.1f/%.1f", "0.0/0.0"},
      {u"%s %s %n", "%s %s %n"},
      {u"%f %f %f %f %f", "%f %f %f %f %f"},
      {u"%d%%", "%d%%"},
  };
  for (const Case& c : cases) {
    {
      std::lock_guard<std::mutex> hold(shownLock);
      shown.clear();
    }
    configStore().wide[wmsg::PROGRESS_FORMAT] = c.format;
    std::string target = dir_.file("small.bin");
    std::string url = address_ + "/file?size=1000";
    ASSERT_TRUE(downloadToFile(dialog_.window(), url.c_str(), target.c_str()));
    std::vector<Shown> all = everything();
    ASSERT_GE(all.size(), 2u);
    std::string last;
    for (const Shown& s : all) {
      if (!s.bar) last = s.text;
    }
    EXPECT_EQ(last, c.line);
  }
}

TEST_F(Download, DownloadJreStoresTheArchiveOrEndsWithMessage20003) {
  std::string target = dir_.file("jre.tar.gz");
  HWND window = dialog_.window();
  HWND status = GetDlgItem(window, IDC_STATUS_LINE);
  // The dialog itself is not shown here, so the control's own style tells.
  auto shown = [status] { return (GetWindowLongA(status, GWL_STYLE) & WS_VISIBLE) != 0; };
  EXPECT_FALSE(shown());  // hidden in the template

  std::string good = address_ + "/file?size=40000";
  downloadJre(window, good.c_str(), target.c_str());
  EXPECT_EQ(readFile(dir_.file("jre.tar.gz")), pattern(40000));
  wchar_t text[256];
  GetDlgItemTextW(window, IDC_MESSAGE_TEXT, text, 256);
  EXPECT_EQ(utf8FromWide(text), "20001: wide message");
  GetDlgItemTextW(window, IDCANCEL, text, 256);
  EXPECT_EQ(utf8FromWide(text), "20012: wide message");
  EXPECT_FALSE(shown());  // shown only while downloading
  EXPECT_TRUE(DeleteFileA(dir_.file("jre.tar.gz").c_str()));

  std::string missing = address_ + "/status?code=404";
  try {
    downloadJre(window, missing.c_str(), target.c_str());
    ADD_FAILURE() << "a 404 answer was taken as the runtime";
  } catch (const FatalCalled& fatal) {
    EXPECT_EQ(fatal.id, wmsg::DOWNLOAD_FAILED);
    EXPECT_EQ(fatal.exitCode, 1);
  }
  EXPECT_TRUE(shown());  // the status line stays while the message shows
  EXPECT_FALSE(pathExists(dir_.file("jre.tar.gz")));
}

}  // namespace
}  // namespace plimo::test
