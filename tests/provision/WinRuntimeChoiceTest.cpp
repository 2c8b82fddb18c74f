// The runtime choice dialog of the built stub, driven for real: an installer
// whose search finds nothing shows it; the test reads its texts, presses its
// buttons and works the open-file dialog it opens.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/support/WinTestSupport.h"
#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {
namespace {

// A dialog of the process, owned by owner when that is set, with the control
// controlId when that is not 0.
HWND waitForWindow(DWORD processId, HWND owner, int controlId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    if (HWND found = findProcessWindow(processId, {"#32770", controlId, owner})) return found;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

bool waitUntilGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

std::string textOf(HWND window) {
  wchar_t buffer[1024];
  buffer[0] = 0;
  GetWindowTextW(window, buffer, 1024);
  return utf8FromWide(buffer);
}

std::string itemText(HWND dialog, int id) { return textOf(GetDlgItem(dialog, id)); }

void press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Directories the stub unpacked into below dir ("plm....tmp_dir<n>").
std::vector<std::string> unpackDirs(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : namesMatching(dir + "\\plm*_dir*", true)) found.push_back(dir + "\\" + name);
  return found;
}

// A control's rectangle in its dialog's client coordinates.
RECT placeIn(HWND dialog, HWND control) {
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// Width in pixels of a text on one line in the dialogs' font, 8-point
// "MS Shell Dlg", measured here rather than by the stub.
int dialogTextWidth(const std::string& text) {
  HDC screen = GetDC(nullptr);
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  lstrcpyW(font.lfFaceName, L"MS Shell Dlg");
  HFONT handle = CreateFontIndirectW(&font);
  HGDIOBJ previous = SelectObject(screen, handle);
  std::wstring wide = wideUtf8(text);
  SIZE size{};
  GetTextExtentPoint32W(screen, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(screen, previous);
  DeleteObject(handle);
  ReleaseDC(nullptr, screen);
  return size.cx;
}

std::string serverAddress() {
  std::string port = readFile(binDir() + "provision-http.port");
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  return port.empty() ? std::string() : "http://127.0.0.1:" + port;
}

class RuntimeChoice : public ::testing::Test {
 protected:
  // An installer in console mode (messages on standard error) with one
  // payload file, whose runtime search finds nothing: no search sequence.
  // wide: messages that replace the block's defaults (id, UTF-8 text).
  Started start(const std::string& address, const std::vector<std::pair<int, std::string>>& wide = {}) {
    BlockWriter block = consoleBlock();
    for (const auto& [id, text] : wide) block.addWide(id, utf16FromUtf8(text));
    block.addNarrow(128, "");
    block.addNarrow(2002, "1");
    block.addNarrow(2003, "notes.txt;");
    if (!address.empty()) block.addNarrow(150, address);
    std::string installer = dir_.file("setup.exe");
    EXPECT_TRUE(writeInstaller(installer, block, payloadRecord("notes")));
    return startProcess("\"" + installer + "\"", {"TEMP=" + dir_.path(), "TMP=" + dir_.path()});
  }

  HWND choiceDialog(const Started& started) {
    HWND dialog = waitForWindow(started.processId, nullptr, IDC_LOCATE, 20000);
    EXPECT_NE(dialog, nullptr) << "no runtime choice dialog";
    return dialog;
  }

  ScratchDir dir_;
};

TEST_F(RuntimeChoice, WithoutAddressOffersLocateAndCancelOnly) {
  Started started = start("");
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(textOf(dialog), "20013: wide message");
  EXPECT_EQ(itemText(dialog, IDC_MESSAGE_TEXT), "20006: wide message");
  EXPECT_EQ(itemText(dialog, IDC_LOCATE), "20011: wide message");
  EXPECT_EQ(itemText(dialog, IDCANCEL), "20012: wide message");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_DOWNLOAD)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_LOCATE)));
  // Modal to the progress dialog.
  HWND owner = GetWindow(dialog, GW_OWNER);
  EXPECT_NE(owner, nullptr);
  EXPECT_NE(GetDlgItem(owner, IDC_PROGRESS_BAR), nullptr);

  std::vector<std::string> unpacked = unpackDirs(dir_.path());
  ASSERT_EQ(unpacked.size(), 1u) << "the payload was not unpacked below TEMP";
  EXPECT_EQ(readFile(unpacked[0] + "\\notes.txt"), "notes");

  press(dialog, IDCANCEL);
  RunResult result = finishProcess(started, 20000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "");
  EXPECT_FALSE(pathExists(unpacked[0])) << "the exit handlers did not remove the unpacked files";
}

// A translation whose caption the ANSI code page cannot hold and whose
// labels are wider than the template's buttons: both dialogs are Unicode
// windows, so the caption reads back whole; each button is widened to its
// label, the row keeps its order and stays inside the dialog, and the dialog
// inside the screen.
TEST_F(RuntimeChoice, TranslatedCaptionReadsBackAndLabelsFit) {
  const std::string caption = "Java \xE3\x83\xA9\xE3\x83\xB3\xE3\x82\xBF\xE3\x82\xA4\xE3\x83\xA0 "
                              "\xF0\x9F\x93\xA6";  // Java ランタイム 📦
  const std::string download = "\xE3\x83\x80\xE3\x82\xA6\xE3\x83\xB3\xE3\x83\xAD\xE3\x83\xBC\xE3\x83\x89"
                               "\xE3\x81\x97\xE3\x81\xA6\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xB9\xE3\x83\x88"
                               "\xE3\x83\xBC\xE3\x83\xAB";  // ダウンロードしてインストール
  const std::string locate = "Locate an installed Java runtime...";
  Started started = start("http://127.0.0.1:9/jre.tar.gz", {{20013, caption}, {20010, download}, {20011, locate}});
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(textOf(dialog), caption);
  EXPECT_EQ(textOf(GetWindow(dialog, GW_OWNER)), caption) << "the progress dialog's caption";

  RECT client{};
  GetClientRect(dialog, &client);
  RECT outer{};
  GetWindowRect(dialog, &outer);
  EXPECT_LE(outer.right - outer.left, GetSystemMetrics(SM_CXSCREEN));
  LONG previousRight = client.left;
  for (int id : {IDC_DOWNLOAD, IDC_LOCATE, IDCANCEL}) {
    HWND button = GetDlgItem(dialog, id);
    RECT place = placeIn(dialog, button);
    EXPECT_GT(place.right - place.left, dialogTextWidth(itemText(dialog, id))) << "label " << id << " does not fit";
    EXPECT_GE(place.left, previousRight) << "button " << id << " overlaps the one before";
    EXPECT_LE(place.right, client.right) << "button " << id << " leaves the dialog";
    previousRight = place.right;
  }
  press(dialog, IDCANCEL);
  RunResult result = finishProcess(started, 20000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
}

TEST_F(RuntimeChoice, WithoutAddressTheHiddenDownloadCannotBeActivated) {
  Started started = start("");
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  HWND download = GetDlgItem(dialog, IDC_DOWNLOAD);
  EXPECT_FALSE(IsWindowVisible(download));
  EXPECT_FALSE(IsWindowEnabled(download)) << "a hidden default button still answers Enter";
  // The command a keyboard activation of the button sends.
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED), reinterpret_cast<LPARAM>(download));
  Sleep(1500);
  EXPECT_EQ(WaitForSingleObject(started.process, 0), WAIT_TIMEOUT) << "the installer ended";
  EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << "the dialog closed on a download it does not offer";
  press(dialog, IDCANCEL);
  RunResult result = finishProcess(started, 20000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "") << "nothing may be downloaded from an empty address";
}

TEST_F(RuntimeChoice, CloseBoxEndsLikeCancel) {
  Started started = start("");
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  RunResult result = finishProcess(started, 20000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_TRUE(unpackDirs(dir_.path()).empty());
}

// Picks path (UTF-8) in the open-file dialog that Locate opens; false when no
// open-file dialog appeared or it did not close.
bool pickInOpenFileDialog(const Started& started, HWND dialog, const std::string& path, std::string* title = nullptr) {
  press(dialog, IDC_LOCATE);
  HWND picker = waitForWindow(started.processId, dialog, 0, 20000);
  if (picker == nullptr) return false;
  if (title != nullptr) *title = textOf(picker);
  if (path.empty()) {
    PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  } else {
    // The file name box: a combo box in the Explorer-style dialog, an edit
    // in the old one.
    int nameBox = GetDlgItem(picker, 0x47C) != nullptr ? 0x47C : 0x480;
    // A timeout, so that a stuck stub cannot hang the test program.
    DWORD_PTR ignored = 0;
    HWND box = GetDlgItem(picker, nameBox);
    std::wstring wide = wideUtf8(path);
    if (box == nullptr ||
        !SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, 5000, &ignored)) {
      return false;
    }
    PostMessageA(picker, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  return waitUntilGone(picker, 20000);
}

const char LOCATED_KEY[] = "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms";

// Names of the located-runtime entries, machine-wide and of the user (the
// list goes to the machine when it may, else to the user).
std::vector<std::string> locatedEntries() {
  std::vector<std::string> names;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, LOCATED_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.push_back(name);
    }
    RegCloseKey(key);
  }
  return names;
}

void clearLocatedEntries() {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, LOCATED_KEY);
  RegDeleteTreeA(HKEY_CURRENT_USER, LOCATED_KEY);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(RuntimeChoice, RefusedPickKeepsTheDialogAndAnAcceptedOneIsRecorded) {
  clearLocatedEntries();
  // A file named java.exe that is no runtime at all.
  std::string fake = dir_.path() + "\\fake";
  ASSERT_TRUE(CreateDirectoryA(fake.c_str(), nullptr));
  ASSERT_TRUE(writeFile(fake + "\\java.exe", "not a program"));
  // A runtime home made of the doubles: java.exe answers -version, and
  // bin\server\jvm.dll loads (its virtual machine then refuses to start).
  std::string home = dir_.path() + "\\picked";
  ASSERT_TRUE(CreateDirectoryA(home.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((home + "\\bin").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((home + "\\bin\\server").c_str(), nullptr));
  ASSERT_TRUE(CopyFileA((binDir() + "java-double.exe").c_str(), (home + "\\bin\\java.exe").c_str(), FALSE));
  ASSERT_TRUE(writeFile(home + "\\bin\\java.exe.stderr",
                        "openjdk version \"17.0.9\" 2023-10-17\r\nOpenJDK Runtime Environment (build 17.0.9)\r\n"));
  ASSERT_TRUE(CopyFileA((binDir() + "jvmsearch-doubles\\jvm-load-double.dll").c_str(),
                        (home + "\\bin\\server\\jvm.dll").c_str(), FALSE));

  Started started = start("");
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);

  std::string title;
  ASSERT_TRUE(pickInOpenFileDialog(started, dialog, fake + "\\java.exe", &title)) << "no open-file dialog";
  EXPECT_EQ(title, "20004: wide message");
  Sleep(1000);  // time for a wrong end to happen
  EXPECT_TRUE(IsWindow(dialog) && IsWindowVisible(dialog)) << "a refused pick closed the dialog";
  EXPECT_EQ(WaitForSingleObject(started.process, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // The open-file dialog cancelled: nothing happens either.
  ASSERT_TRUE(pickInOpenFileDialog(started, dialog, ""));
  Sleep(500);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_TRUE(locatedEntries().empty());

  // Picked from a folder named in a script the ANSI code page (1252) cannot
  // hold: the launcher goes on with its short name.
  std::string moved = dir_.path() + "\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB0";
  ASSERT_TRUE(MoveFileW(wideUtf8(home).c_str(), wideUtf8(moved).c_str()));
  ASSERT_TRUE(pickInOpenFileDialog(started, dialog, moved + "\\bin\\java.exe"));
  RunResult result = finishProcess(started, 30000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_FALSE(IsWindow(dialog));
  // The refusal was told once; the accepted runtime went on to the launch,
  // where the double's virtual machine refuses to start.
  EXPECT_EQ(result.stdErr, "1001: no JVM found\r\n1005: JVM could not be started\r\n");
  EXPECT_EQ(result.exitCode, 1u);
  std::vector<std::string> located = locatedEntries();
  ASSERT_EQ(located.size(), 1u);
  EXPECT_NE(lower(located[0]).find("/bin/java.exe"), std::string::npos) << located[0];
  EXPECT_EQ(located[0].find('?'), std::string::npos) << located[0];
  clearLocatedEntries();
}

TEST_F(RuntimeChoice, DownloadIsOfferedWithAnAddressAndShowsProgress) {
  std::string server = serverAddress();
  ASSERT_FALSE(server.empty()) << "the HTTP server fixture is not running";
  std::string url = server + "/slow?size=98304&chunk=4096&delay=100&stub=1";
  // A status line far longer than the template's: it is widened to fit.
  const std::string status = "20008: wide message, with room for the figures of a large download and the speed";
  Started started = start(url, {{20008, status}});
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(itemText(dialog, IDC_MESSAGE_TEXT), "20005: wide message");
  EXPECT_EQ(itemText(dialog, IDC_DOWNLOAD), "20010: wide message");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_DOWNLOAD)));
  HWND progress = GetWindow(dialog, GW_OWNER);
  ASSERT_NE(progress, nullptr);

  press(dialog, IDC_DOWNLOAD);
  // While the transfer runs (about 2.4 s) the progress dialog says so.
  bool sawStatus = false;
  DWORD begin = GetTickCount();
  while (!sawStatus && GetTickCount() - begin < 10000 && WaitForSingleObject(started.process, 50) == WAIT_TIMEOUT) {
    sawStatus = IsWindowVisible(GetDlgItem(progress, IDC_STATUS_LINE)) && itemText(progress, IDC_STATUS_LINE) == status;
  }
  EXPECT_TRUE(sawStatus) << "no status line during the download";
  if (sawStatus) {
    Sleep(200);  // the line is widened right after its text is set
    RECT line = placeIn(progress, GetDlgItem(progress, IDC_STATUS_LINE));
    RECT client{};
    GetClientRect(progress, &client);
    EXPECT_GE(line.right - line.left, dialogTextWidth(status)) << "the status line cuts its text";
    EXPECT_LE(line.right, client.right);
  }
  EXPECT_EQ(itemText(progress, IDC_MESSAGE_TEXT), "20001: wide message");
  RunResult result = finishProcess(started, 30000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.stdErr.find("20003"), std::string::npos) << result.stdErr;
  std::string log = readFile(binDir() + "provision-http.requests");
  EXPECT_NE(log.find("&stub=1\tsorbilane download agent\t98304\tcomplete"), std::string::npos) << log;
}

TEST_F(RuntimeChoice, FailedDownloadEndsWithMessage20003) {
  std::string server = serverAddress();
  ASSERT_FALSE(server.empty()) << "the HTTP server fixture is not running";
  Started started = start(server + "/status?code=404");
  ASSERT_NE(started.process, nullptr);
  HWND dialog = choiceDialog(started);
  ASSERT_NE(dialog, nullptr);
  press(dialog, IDC_DOWNLOAD);
  RunResult result = finishProcess(started, 30000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_EQ(result.stdErr, "20003: wide message\r\n");
  std::vector<std::string> unpacked = unpackDirs(dir_.path());
  for (const std::string& d : unpacked) EXPECT_FALSE(pathExists(d + "\\jre.tar.gz"));
}

}  // namespace
}  // namespace plimo::test
