// Whole installer runs as a user meets them: installers built by plimo-pack
// (by run-flows.sh, into the folder named by PLIMO_E2E_DIR) are started with
// runtime homes made of the doubles, and the test watches their windows,
// presses their buttons and checks how they end: exit code, the temporary
// extraction directory, the deferred-deletion lists and the jvm.dll double's
// record of the launch.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/WinTestSupport.h"

namespace plimo::test {
namespace {

const char JAVASOFT_KEY[] = "SOFTWARE\\JavaSoft";
const char LOCATED_KEY[] = "SOFTWARE\\kaldor-codework\\plimo\\locatedjvms";
const char CACHE_KEY[] = "SOFTWARE\\kaldor-codework\\plimo\\jvms";
const char DELETION_KEY[] = "SOFTWARE\\kaldor-codework\\plimo\\temp";
const char* const RUNTIME_VARIABLES[] = {"JAVA_HOME", "JDK_HOME", "PLIMO_JAVA_HOME", "SORBILANE_JAVA_HOME"};
const int LOCATE_BUTTON = 1005;
const int DOWNLOAD_BUTTON = 1004;

// The folder with the installers run-flows.sh built, with a trailing backslash.
std::string flowDir() {
  const char* dir = std::getenv("PLIMO_E2E_DIR");
  std::string path = dir != nullptr ? dir : "";
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string installer(const std::string& name) { return flowDir() + name; }

bool copyTo(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

// A Java home of the doubles: bin\java.exe printing a version, and
// bin\server\jvm.dll.
std::string makeHome(const std::string& home) {
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA((home + "\\bin").c_str(), nullptr);
  CreateDirectoryA((home + "\\bin\\server").c_str(), nullptr);
  EXPECT_TRUE(copyTo(binDir() + "java-double.exe", home + "\\bin\\java.exe"));
  EXPECT_TRUE(copyTo(binDir() + "jvm.dll", home + "\\bin\\server\\jvm.dll"));
  EXPECT_TRUE(writeFile(home + "\\bin\\java.exe.stderr", "java version \"17.0.99\"\r\nDouble Runtime Environment\r\n"));
  return home + "\\bin\\java.exe";
}

bool setString(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY opened = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result = RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1));
  RegCloseKey(opened);
  return result == ERROR_SUCCESS;
}

std::string readString(HKEY root, const char* key, const char* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return "";
  char buffer[16384];
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(opened, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(opened);
  if (result != ERROR_SUCCESS) return "";
  buffer[size] = 0;
  return buffer;
}

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

bool contains(const std::vector<std::string>& items, const std::string& wanted) {
  for (const auto& item : items) {
    if (_stricmp(item.c_str(), wanted.c_str()) == 0) return true;
  }
  return false;
}

std::vector<std::string> subdirectories(const std::string& dir) {
  std::vector<std::string> found;
  for (const std::string& name : namesMatching(dir + "\\*", true)) found.push_back(dir + "\\" + name);
  return found;
}

HWND findWindow(DWORD processId, const char* className, int controlId = 0, bool visibleOnly = true) {
  return findProcessWindow(processId, {className, controlId, nullptr, visibleOnly});
}

// Waits for a visible window of the process; null when the process ended or
// the time ran out.
HWND waitForWindow(const Started& started, const char* className, int controlId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = findWindow(started.processId, className, controlId)) return window;
    if (WaitForSingleObject(started.process, 0) == WAIT_OBJECT_0) return nullptr;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(25);
  }
}

void press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::string windowText(HWND window) {
  wchar_t text[2048];
  text[0] = 0;
  GetWindowTextW(window, text, 2048);
  return utf8FromWide(text);
}

class Flow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(flowDir().empty()) << "PLIMO_E2E_DIR names the folder of the built installers";
    for (const char* name : RUNTIME_VARIABLES) SetEnvironmentVariableA(name, nullptr);
    clearRegistry();
    RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
  }
  void TearDown() override {
    clearRegistry();
    RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
  }
  static void clearRegistry() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, JAVASOFT_KEY);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, LOCATED_KEY);
    RegDeleteTreeA(HKEY_CURRENT_USER, LOCATED_KEY);
    RegDeleteTreeA(HKEY_CURRENT_USER, CACHE_KEY);
  }

  // One run of an installer with its own temporary folder and double log.
  struct Run {
    ScratchDir temp;  // TEMP and TMP of the installer: its extraction lands here
    std::string log;
    Started started;
  };

  void start(Run& run, const std::string& exe, const std::string& tail, std::vector<std::string> environment,
             const char* directory = nullptr) {
    run.log = files.file("jni-" + std::to_string(++runs) + ".log");
    bool ownTemp = false;
    for (const auto& entry : environment) ownTemp = ownTemp || entry.rfind("TEMP=", 0) == 0;
    if (!ownTemp) {
      environment.push_back("TEMP=" + run.temp.path());
      environment.push_back("TMP=" + run.temp.path());
    }
    environment.push_back("PLIMO_JVMDOUBLE_LOG=" + run.log);
    std::string line = "\"" + exe + "\"";
    if (!tail.empty()) line += " " + tail;
    run.started = startProcess(line, environment, directory);
    ASSERT_NE(run.started.process, nullptr) << line;
  }

  // Checks that the process ends with exitCode within timeoutMs.
  RunResult finish(Run& run, DWORD exitCode, DWORD timeoutMs = 30000) {
    RunResult result = finishProcess(run.started, timeoutMs);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, exitCode) << result.stdErr;
    return result;
  }

  // The double's window appears, the progress dialog becomes invisible while
  // it shows, and the launcher ends with 0 once main returns, leaving no
  // extraction directory behind.
  // progressMax: the bar's upper end, 150 when a runtime archive was
  // unpacked, else 80.
  // whileShown, when given, runs while the program's window is up.
  void expectWindowedLaunch(Run& run, int progressMax, bool removesTemp = true,
                            const std::function<void()>& whileShown = nullptr) {
    // The progress dialog shows until the program's window does.
    bool progressSeen = false;
    HWND window = nullptr;
    DWORD start = GetTickCount();
    while (window == nullptr && GetTickCount() - start < 40000) {
      if (findWindow(run.started.processId, "MyDlgClass") != nullptr) progressSeen = true;
      window = findWindow(run.started.processId, "PlimoJvmDoubleWindow");
      if (window == nullptr && WaitForSingleObject(run.started.process, 0) == WAIT_OBJECT_0) break;
      if (window == nullptr) Sleep(10);
    }
    ASSERT_NE(window, nullptr) << "the Java program's window never showed; log:\n" << readFile(run.log);
    if (whileShown) whileShown();
    EXPECT_TRUE(progressSeen) << "the progress dialog was never visible before the program's window";
    HWND progress = findWindow(run.started.processId, "MyDlgClass", 0, false);
    ASSERT_NE(progress, nullptr) << "no progress dialog";
    EXPECT_EQ(SendDlgItemMessageA(progress, 1001, PBM_GETRANGE, FALSE, 0), progressMax);
    start = GetTickCount();
    while (IsWindowVisible(progress) && GetTickCount() - start < 2500) Sleep(20);
    EXPECT_FALSE(IsWindowVisible(progress)) << "the progress dialog stayed visible beside the program's window";
    EXPECT_TRUE(IsWindowVisible(window)) << "the program's window closed before the check";
    finish(run, 0);
    std::string log = readFile(run.log);
    EXPECT_NE(log.find("\ncall\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\ndestroy\n"), std::string::npos) << log;
    if (removesTemp) {
      EXPECT_TRUE(subdirectories(run.temp.path()).empty()) << "the extraction directory was left behind";
    }
  }

  // A run that ended after a failure left nothing behind: no extraction
  // directory and nothing in the deferred-deletion lists.
  void expectNothingLeft(Run& run) {
    EXPECT_TRUE(subdirectories(run.temp.path()).empty()) << "the extraction directory was left behind";
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_file"), "");
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_dir"), "");
  }

  std::vector<std::string> windowed(std::vector<std::string> environment, int ms = 3000) {
    environment.push_back("PLIMO_JVMDOUBLE_MAIN_MS=" + std::to_string(ms));
    environment.push_back("PLIMO_JVMDOUBLE_WINDOW=1");
    return environment;
  }

  ScratchDir files;  // runtime homes and logs; unique per test, so the version cache never answers for them
  int runs = 0;
};

// Each source of the registry-first search sequence "Y;EJAVA_HOME;EJDK_HOME;" and
// the launcher kind's fallback variable finds the only runtime there is.
TEST_F(Flow, EachSearchSourceLaunchesItsRuntime) {
  struct Case {
    const char* source;  // registry or a variable name
    const char* exe;
  };
  const Case cases[] = {{"registry", "search-installer.exe"},
                        {"JAVA_HOME", "search-installer.exe"},
                        {"JDK_HOME", "search-installer.exe"},
                        {"SORBILANE_JAVA_HOME", "search-installer.exe"},
                        {"PLIMO_JAVA_HOME", "search-application.exe"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    std::string home = files.file(std::string("home-") + c.source);
    std::string javaExe = makeHome(home);
    std::vector<std::string> environment;
    if (std::string(c.source) == "registry") {
      ASSERT_TRUE(setString(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\17.0.99", "JavaHome", home));
    } else {
      environment.push_back(std::string(c.source) + "=" + home);
    }
    Run run;
    start(run, installer(c.exe), "", windowed(environment));
    expectWindowedLaunch(run, 80);
    EXPECT_TRUE(pathExists(javaExe + ".starts")) << "the runtime's java.exe was never asked for its version";
    clearRegistry();
  }
}

// The fallback variable belongs to the launcher kind: an installer does not
// read PLIMO_JAVA_HOME, so it finds nothing and asks the user.
TEST_F(Flow, OtherKindsFallbackVariableIsNotRead) {
  std::string home = files.file("home-other");
  makeHome(home);
  Run run;
  start(run, installer("search-installer.exe"), "", windowed({"PLIMO_JAVA_HOME=" + home}));
  HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
  ASSERT_NE(choice, nullptr);
  press(choice, IDCANCEL);
  finish(run, 1);
}

// Picks path in the open-file dialog that the Locate button opens.
bool pickJavaExe(const Started& started, HWND choice, const std::string& path) {
  press(choice, LOCATE_BUTTON);
  DWORD start = GetTickCount();
  HWND picker = nullptr;
  while (picker == nullptr && GetTickCount() - start < 20000) {
    HWND candidate = findWindow(started.processId, "#32770");
    if (candidate != nullptr && candidate != choice && GetWindow(candidate, GW_OWNER) == choice) picker = candidate;
    Sleep(50);
  }
  if (picker == nullptr) return false;
  // The file name box: a combo box in the Explorer-style dialog, an edit in
  // the old one.
  int nameBox = GetDlgItem(picker, 0x47C) != nullptr ? 0x47C : 0x480;
  SetDlgItemTextA(picker, nameBox, path.c_str());
  press(picker, IDOK);
  start = GetTickCount();
  while (IsWindow(picker) && GetTickCount() - start < 20000) Sleep(50);
  return !IsWindow(picker);
}

// "/manual" and "-manual" open the runtime choice dialog although JAVA_HOME
// names a runtime; the picked java.exe launches and the next run finds it in
// the located list (registry entry Y of the sequence). Anything else is a
// normal run.
TEST_F(Flow, ManualModeAsksAndRemembersThePick) {
  struct Case {
    const char* tail;
    bool manual;
  };
  const Case cases[] = {{"/manual", true}, {"-manual", true}, {"/Manual", false}, {"/manual x", false}};
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tail);
    ++index;
    std::string installed = makeHome(files.file("installed-" + std::to_string(index)));
    std::string picked = makeHome(files.file("picked-" + std::to_string(index)));
    Run run;
    start(run, installer("search-installer.exe"), c.tail,
          windowed({"JAVA_HOME=" + files.file("installed-" + std::to_string(index))}));
    if (!c.manual) {
      expectWindowedLaunch(run, 80);
      EXPECT_TRUE(pathExists(installed + ".starts"));
      continue;
    }
    HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
    ASSERT_NE(choice, nullptr) << "no runtime choice dialog in manual mode";
    EXPECT_FALSE(pathExists(installed + ".starts")) << "manual mode ran the automatic search";
    ASSERT_TRUE(pickJavaExe(run.started, choice, picked));
    expectWindowedLaunch(run, 80);

    // The next run, without any variable, finds the pick through the registry;
    // without the version cache it must ask the picked java.exe again.
    RegDeleteTreeA(HKEY_CURRENT_USER, CACHE_KEY);
    std::string startsBefore = readFile(picked + ".starts");
    Run next;
    start(next, installer("search-installer.exe"), "", windowed({}));
    expectWindowedLaunch(next, 80);
    EXPECT_NE(readFile(picked + ".starts"), startsBefore) << "the next run did not consider the picked runtime";
    EXPECT_EQ(findWindow(next.started.processId, "#32770", LOCATE_BUTTON), nullptr);
    clearRegistry();
  }
}

// A payload carrying jre.tar.gz: no search (JAVA_HOME's runtime is never
// asked), no dialog even in manual mode, the unpacked runtime launches.
TEST_F(Flow, BundledRuntimeLaunchesWithoutSearch) {
  std::string installed = makeHome(files.file("installed"));
  for (const char* tail : {"", "/manual"}) {
    SCOPED_TRACE(tail);
    Run run;
    start(run, installer("bundle.exe"), tail, windowed({"JAVA_HOME=" + files.file("installed")}));
    // The loaded jvm.dll of the unpacked runtime cannot be removed at exit.
    expectWindowedLaunch(run, 150, false);
    EXPECT_FALSE(pathExists(installed + ".starts")) << "the search ran although the payload carries a runtime";
  }
}

// An unusable runtime archive: the search's message on standard error
// (console type), then an end with exit code 1 (a failure, whatever the
// message), no launch and nothing left behind.
TEST_F(Flow, UnusableBundledRuntimeEndsWithOne) {
  Run run;
  start(run, installer("bundle-broken.exe"), "", windowed({}));
  RunResult result = finish(run, 1);
  EXPECT_NE(result.stdErr.find("E2E-NO-JVM"), std::string::npos) << result.stdErr;
  EXPECT_FALSE(pathExists(run.log)) << "a virtual machine was created";
  expectNothingLeft(run);
}

// A bundled runtime archive that ends midway: the damaged-archive message
// (plimo-pack's default text), exit code 1, no virtual machine, and nothing
// of the payload or the partial runtime left behind.
TEST_F(Flow, TruncatedBundledRuntimeIsNotLaunched) {
  Run run;
  start(run, installer("bundle-cut.exe"), "", windowed({}));
  RunResult result = finish(run, 1);
  EXPECT_NE(result.stdErr.find("The Java runtime archive is damaged"), std::string::npos) << result.stdErr;
  EXPECT_FALSE(pathExists(run.log)) << "a virtual machine was created";
  expectNothingLeft(run);
}

// Cancel in the runtime choice dialog ends with 1; closing the progress
// dialog behind it ends with 0; both remove the extraction directory.
TEST_F(Flow, CancelAndCloseEnds) {
  struct Case {
    const char* what;
    bool closeProgress;
    DWORD exitCode;
  };
  const Case cases[] = {{"cancel in the choice dialog", false, 1}, {"close the progress dialog", true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run run;
    start(run, installer("search-installer.exe"), "", windowed({}));
    HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
    ASSERT_NE(choice, nullptr);
    ASSERT_EQ(subdirectories(run.temp.path()).size(), 1u) << "no extraction directory while the dialog shows";
    if (c.closeProgress) {
      HWND progress = findWindow(run.started.processId, "MyDlgClass", 0, false);
      ASSERT_NE(progress, nullptr);
      press(progress, IDCANCEL);
    } else {
      press(choice, IDCANCEL);
    }
    finish(run, c.exitCode);
    EXPECT_TRUE(subdirectories(run.temp.path()).empty()) << "the extraction directory was left behind";
    EXPECT_FALSE(pathExists(run.log)) << "a virtual machine was created";
  }
}

// Closing the progress dialog while the search waits for a runtime's
// java.exe (one that never answers) ends the launcher with 0.
TEST_F(Flow, CloseDuringTheSearchEndsWithZero) {
  std::string javaExe = makeHome(files.file("hanging"));
  // Silent and never ending: the search waits for its version line.
  ASSERT_TRUE(writeFile(javaExe + ".stderr", ""));
  ASSERT_TRUE(writeFile(javaExe + ".hang", ""));
  // Several rounds: what the worker does once its probe ends during the exit
  // is a matter of timing.
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    DeleteFileA((javaExe + ".starts").c_str());
    Run run;
    start(run, installer("search-installer.exe"), "", windowed({"JAVA_HOME=" + files.file("hanging")}));
    DWORD start = GetTickCount();
    while (!pathExists(javaExe + ".starts") && GetTickCount() - start < 30000) Sleep(20);
    ASSERT_TRUE(pathExists(javaExe + ".starts")) << "the search never ran the runtime's java.exe";
    HWND progress = findWindow(run.started.processId, "MyDlgClass");
    ASSERT_NE(progress, nullptr);
    press(progress, IDCANCEL);
    EXPECT_EQ(WaitForSingleObject(run.started.process, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    // The hanging java.exe the search started (its process id leads its line)
    // ends with the launcher. Should it not, it is ended here: it holds the
    // launcher's standard error open.
    DWORD doubleId = std::strtoul(readFile(javaExe + ".starts").c_str(), nullptr, 10);
    if (HANDLE hanging = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, doubleId)) {
      EXPECT_EQ(WaitForSingleObject(hanging, 5000), static_cast<DWORD>(WAIT_OBJECT_0))
          << "the probed java.exe outlived the launcher";
      TerminateProcess(hanging, 0xDEAD);
      WaitForSingleObject(hanging, 10000);
      CloseHandle(hanging);
    }
    finish(run, 0);
    EXPECT_FALSE(pathExists(run.log)) << "a virtual machine was created";
    // The exit handler removed the files and the directory: the probed
    // java.exe runs in its own folder, and the worker, whose probe returns once
    // that java.exe is ended, takes no further step in the directory.
    EXPECT_TRUE(subdirectories(run.temp.path()).empty()) << "the extraction directory was left behind";
  }
}

// While a large payload is written the bar moves with it, step by step.
TEST_F(Flow, ProgressBarFollowsThePayload) {
  Run run;
  start(run, installer("big-payload.exe"), "", {});
  HWND progress = nullptr;
  std::set<int> whileWriting;
  DWORD start = GetTickCount();
  while (whileWriting.size() < 3 && GetTickCount() - start < 30000 &&
         WaitForSingleObject(run.started.process, 0) == WAIT_TIMEOUT) {
    if (progress == nullptr) progress = findWindow(run.started.processId, "MyDlgClass", 0, false);
    std::vector<std::string> dirs = subdirectories(run.temp.path());
    bool writing = !dirs.empty() && pathExists(dirs[0] + "\\big.bin");
    if (progress != nullptr && writing) {
      int position = static_cast<int>(SendMessageA(GetDlgItem(progress, 1001), PBM_GETPOS, 0, 0));
      if (position > 0 && position < 100) whileWriting.insert(position);
    }
    Sleep(1);
  }
  EXPECT_GE(whileWriting.size(), 3u) << "the bar did not move with the payload";
  // What follows the extraction is not this test's concern.
  TerminateProcess(run.started.process, 0);
  finishProcess(run.started, 30000);
}

// Closing the progress dialog while the launcher writes: a large payload
// file, a large runtime archive being unpacked, a download that arrives
// slowly. Each time the launcher ends with 0 at once, shows nothing, starts
// no virtual machine and leaves nothing behind: no extraction directory and
// nothing in the deletion lists (the writing stops before the exit handler
// removes what was written).
TEST_F(Flow, CloseWhileWritingLeavesNothingBehind) {
  struct Case {
    const char* installer;
    const char* written;  // relative to the extraction directory
    bool download;        // the Download button is pressed first
  };
  const Case cases[] = {{"big-payload.exe", "big.bin", false},
                        {"bundle-big.exe", "jre\\big.bin", false},
                        {"download-slow.exe", "jre.tar.gz", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installer);
    if (!pathExists(installer(c.installer))) {
      ADD_FAILURE() << c.installer << " was not built";
      continue;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
    Run run;
    start(run, installer(c.installer), "", windowed({}));
    if (c.download) {
      HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
      ASSERT_NE(choice, nullptr);
      press(choice, DOWNLOAD_BUTTON);
    }
    std::string dir;
    DWORD start = GetTickCount();
    while (dir.empty() && GetTickCount() - start < 30000 &&
           WaitForSingleObject(run.started.process, 0) == WAIT_TIMEOUT) {
      std::vector<std::string> dirs = subdirectories(run.temp.path());
      if (!dirs.empty() && pathExists(dirs[0] + "\\" + c.written)) dir = dirs[0];
      Sleep(5);
    }
    ASSERT_FALSE(dir.empty()) << c.written << " was never written";
    HWND progress = findWindow(run.started.processId, "MyDlgClass", 0, false);
    ASSERT_NE(progress, nullptr);
    DWORD pressed = GetTickCount();
    press(progress, IDCANCEL);
    RunResult result = finish(run, 0);
    // Well within the exit's wait for a worker that does not stop.
    EXPECT_LT(GetTickCount() - pressed, 10000u) << "the writing went on after the close";
    EXPECT_EQ(result.stdErr, "");
    EXPECT_FALSE(pathExists(dir)) << "the extraction directory was left behind";
    EXPECT_FALSE(pathExists(run.log)) << "a virtual machine was created";
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_file"), "");
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_dir"), "");
  }
}

// Fatal messages on the worker: a message box with the configured text,
// exit code 1, and nothing left: what was not in use is removed before the
// message shows, and nothing was in use.
TEST_F(Flow, FatalMessageOnTheWorkerLeavesNothingBehind) {
  struct Case {
    const char* control;
    const char* text;
  };
  const Case cases[] = {{"PLIMO_JVMDOUBLE_MISSING_CLASS=1", "E2E-1010 main class missing"},
                        {"PLIMO_JVMDOUBLE_CREATE_RESULT=-1", "E2E-1005 no virtual machine"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
    makeHome(files.file("home"));
    Run run;
    start(run, installer("search-installer.exe"), "", windowed({"JAVA_HOME=" + files.file("home"), c.control}));
    MessageBoxSeen seen;
    ASSERT_TRUE(waitForMessageBox(run.started.processId, seen, 30000, true));
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.caption, "E2E error");
    expectNothingLeft(run);  // already while the message shows
    finish(run, 1);
    expectNothingLeft(run);
  }
}

// A runtime archive offered for download, served over HTTP: chosen in the
// dialog, downloaded into the launcher's temporary directory (made for it
// when there is no payload), unpacked and launched; the folder the installer
// was started from stays as it was.
TEST_F(Flow, DownloadChosenInTheDialog) {
  if (!pathExists(installer("download.exe"))) GTEST_SKIP() << "no download installer (no HTTP server)";
  for (const char* name : {"download.exe", "download-no-payload.exe"}) {
    SCOPED_TRACE(name);
    ScratchDir startFolder;
    Run run;
    start(run, installer(name), "", windowed({}), startFolder.path().c_str());
    HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
    ASSERT_NE(choice, nullptr);
    HWND download = GetDlgItem(choice, DOWNLOAD_BUTTON);
    ASSERT_NE(download, nullptr);
    EXPECT_TRUE(IsWindowVisible(download)) << "the download is not offered";
    press(choice, DOWNLOAD_BUTTON);
    expectWindowedLaunch(run, 150, false);
    EXPECT_TRUE(namesMatching(startFolder.path() + "\\*", false).empty()) << "written into the start folder";
    EXPECT_TRUE(subdirectories(startFolder.path()).empty()) << "written into the start folder";
  }
}

// A console program shows no window to wait for: the progress dialog goes as
// soon as its main method runs, and the program runs on to its own end.
TEST_F(Flow, ConsoleProgramHidesTheProgressDialogOnceMainRuns) {
  makeHome(files.file("home"));
  Run run;
  start(run, installer("search-console.exe"), "", {"JAVA_HOME=" + files.file("home"), "PLIMO_JVMDOUBLE_MAIN_MS=6000"});
  DWORD start = GetTickCount();
  while (readFile(run.log).find("\ncall\n") == std::string::npos && GetTickCount() - start < 30000 &&
         WaitForSingleObject(run.started.process, 0) == WAIT_TIMEOUT) {
    Sleep(20);
  }
  ASSERT_NE(readFile(run.log).find("\ncall\n"), std::string::npos) << "main never ran";
  HWND progress = findWindow(run.started.processId, "MyDlgClass", 0, false);
  ASSERT_NE(progress, nullptr) << "no progress dialog";
  DWORD called = GetTickCount();
  while (IsWindowVisible(progress) && GetTickCount() - called < 2500) Sleep(20);
  EXPECT_FALSE(IsWindowVisible(progress)) << "the progress dialog stayed while the console program ran";
  EXPECT_EQ(WaitForSingleObject(run.started.process, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the program did not run on";
  finish(run, 0);
  EXPECT_NE(readFile(run.log).find("\ndestroy\n"), std::string::npos);
}

// A program whose main returns at once: the launcher ends with 0 and leaves
// nothing behind, neither the extraction directory nor an entry in the
// deletion lists, whether the version cache is cold (java.exe probed, and
// just ended when the program is already done) or warm.
TEST_F(Flow, MainReturningAtOnceLeavesNothingBehind) {
  std::string javaExe = makeHome(files.file("home"));
  for (const char* cache : {"cold", "warm"}) {
    SCOPED_TRACE(cache);
    std::string startsBefore = readFile(javaExe + ".starts");
    Run run;
    start(run, installer("search-console.exe"), "", {"JAVA_HOME=" + files.file("home")});
    finish(run, 0);
    EXPECT_NE(readFile(run.log).find("\ndestroy\n"), std::string::npos) << "main did not run to its end";
    bool probed = readFile(javaExe + ".starts") != startsBefore;
    EXPECT_EQ(probed, std::string(cache) == "cold") << "java.exe probed: " << probed;
    EXPECT_TRUE(subdirectories(run.temp.path()).empty()) << "the extraction directory was left behind";
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_file"), "");
    EXPECT_EQ(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_dir"), "");
  }
}

// A Java program that ends the process through System.exit, as a runtime
// with a C library of its own does: the exit code is its status and the
// temporary directory goes, but for the runtime library the process still
// holds (an unpacked runtime's), which waits in the deletion lists.
TEST_F(Flow, SystemExitKeepsItsStatusAndLeavesOnlyWhatIsInUse) {
  makeHome(files.file("home"));
  struct Case {
    const char* installer;
    bool unpackedRuntime;
  } cases[] = {{"search-console.exe", false}, {"bundle.exe", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installer);
    RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
    Run run;
    start(run, installer(c.installer), "", {"JAVA_HOME=" + files.file("home"), "PLIMO_JVMDOUBLE_EXIT=7"});
    RunResult result = finishProcess(run.started, 30000);
    // Wine itself sometimes dies from a signal when a thread ends the
    // process while the dialog paints (about 3 runs in 40 on x86): once more.
    if (result.exitCode >= 128 && result.exitCode != 7) {
      std::printf("the Wine process died (%lu); running the case once more\n", result.exitCode);
      RegDeleteTreeA(HKEY_CURRENT_USER, DELETION_KEY);
      start(run, installer(c.installer), "", {"JAVA_HOME=" + files.file("home"), "PLIMO_JVMDOUBLE_EXIT=7"});
      result = finishProcess(run.started, 30000);
    }
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 7u) << result.stdErr;
    std::string log = readFile(run.log);
    EXPECT_NE(log.find("\noption exit\nextraInfo\n"), std::string::npos) << "no exit hook given:\n" << log;
    EXPECT_EQ(log.find("exit hook returned"), std::string::npos) << log;
    std::vector<std::string> dirs = subdirectories(run.temp.path());
    std::vector<std::string> listed = splitList(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_file"));
    if (!c.unpackedRuntime) {
      expectNothingLeft(run);
      continue;
    }
    ASSERT_EQ(dirs.size(), 1u) << "the directory holding the loaded runtime library";
    std::string dll = dirs[0] + "\\jre\\bin\\server\\jvm.dll";
    EXPECT_TRUE(pathExists(dll));
    EXPECT_EQ(listed, std::vector<std::string>{dll});
    EXPECT_FALSE(pathExists(dirs[0] + "\\app.jar")) << "the payload stayed";
    EXPECT_FALSE(pathExists(dirs[0] + "\\jre\\bin\\java.exe")) << "the unpacked runtime stayed whole";
    EXPECT_TRUE(contains(splitList(readString(HKEY_CURRENT_USER, DELETION_KEY, "delete_dir")), dirs[0]));
  }
}

// An installer without payload never uses the folder it was started from: a
// jre.tar.gz lying there is not its runtime (it is neither unpacked, loaded
// nor deleted), and nothing is written there or left anywhere.
TEST_F(Flow, StartFolderIsNeverScratchSpace) {
  ScratchDir downloads;
  ASSERT_TRUE(copyTo(installer("no-payload.exe"), downloads.file("setup.exe")));
  ASSERT_TRUE(copyTo(flowDir() + "served-runtime.tar.gz", downloads.file("jre.tar.gz")));
  makeHome(files.file("home"));
  Run run;
  start(run, downloads.file("setup.exe"), "", {"JAVA_HOME=" + files.file("home")}, downloads.path().c_str());
  finish(run, 0);
  std::string log = readFile(run.log);
  EXPECT_NE(log.find("\ncall\n"), std::string::npos) << "the runtime of JAVA_HOME did not run:\n" << log;
  EXPECT_TRUE(pathExists(downloads.file("jre.tar.gz"))) << "the foreign archive was deleted";
  EXPECT_FALSE(pathExists(downloads.file("jre"))) << "the foreign archive was unpacked";
  expectNothingLeft(run);
}

// The only runtime on the machine is built for the other processor (a 64-bit
// Java beside the x86 installer, or the mirror case): the user is told which
// one it is and what is needed, instead of "no Java", then chooses as before.
TEST_F(Flow, ARuntimeOfTheOtherProcessorIsNamed) {
  std::string javaExe = makeHome(files.file("other"));
  std::string bytes = readFile(javaExe);
  ASSERT_GT(bytes.size(), 0x40u);
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, bytes.data() + 0x3C, 4);
  ASSERT_LT(peOffset + 6u, bytes.size());
  const std::uint16_t other = sizeof(void*) == 8 ? 0x14C : 0x8664;
  std::memcpy(&bytes[peOffset + 4], &other, 2);
  ASSERT_TRUE(writeFile(javaExe, bytes));
  Run run;
  start(run, installer("search-installer.exe"), "", windowed({"JAVA_HOME=" + files.file("other")}));
  MessageBoxSeen seen;
  ASSERT_TRUE(waitForMessageBox(run.started.processId, seen, 30000, true));
  EXPECT_EQ(_stricmp(seen.text.c_str(), ("E2E-20017 other processor\n" + javaExe).c_str()), 0) << seen.text;
  HWND choice = waitForWindow(run.started, "#32770", LOCATE_BUTTON, 30000);
  ASSERT_NE(choice, nullptr) << "no runtime choice after the message";
  press(choice, IDCANCEL);
  finish(run, 1);
  EXPECT_EQ(readFile(javaExe + ".starts"), "") << "the other processor's java.exe was started";
}

// The window watcher: a graphical program without a window ends after a
// minute with message 20014 and exit code 1 (its files scheduled for
// deletion); a console program without a window keeps running. Both run at
// once to share the minute.
TEST_F(Flow, WatcherMinute) {
  makeHome(files.file("home"));
  std::vector<std::string> environment = {"JAVA_HOME=" + files.file("home"), "PLIMO_JVMDOUBLE_MAIN_MS=150000"};
  Run graphical;
  Run console;
  start(graphical, installer("search-installer.exe"), "", environment);
  start(console, installer("search-console.exe"), "", environment);
  DWORD started = GetTickCount();

  MessageBoxSeen seen;
  ASSERT_TRUE(waitForMessageBox(graphical.started.processId, seen, 90000, false));
  DWORD shownAfter = GetTickCount() - started;
  EXPECT_GE(shownAfter, 55000u) << "message 20014 came too early";
  EXPECT_EQ(seen.text, "E2E-20014 no window");
  EXPECT_NE(readFile(graphical.log).find("\ncall\n"), std::string::npos) << "main never ran";
  press(seen.window, IDOK);
  finish(graphical, 1);
  expectNothingLeft(graphical);

  DWORD elapsed = GetTickCount() - started;
  if (elapsed < 65000) Sleep(65000 - elapsed);
  EXPECT_EQ(WaitForSingleObject(console.started.process, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the console program did not outlive the minute";
  EXPECT_NE(readFile(console.log).find("\ncall\n"), std::string::npos);
  TerminateProcess(console.started.process, 0xDEAD);
  finishProcess(console.started, 10000);
}

// The ANSI code page the flows expect: the one the ctest set up through the
// locale (run-flows.sh passes it on), else 1252.
unsigned expectedAnsiCodePage() {
  const char* page = std::getenv("PLIMO_E2E_ANSI_CODE_PAGE");
  return page != nullptr && *page != '\0' ? static_cast<unsigned>(std::strtoul(page, nullptr, 10)) : 1252u;
}

// The text of the first "option PREFIX..." line of the double's log, after
// the prefix, in the ANSI code page as the VM got it; empty when none.
std::string vmOption(const std::string& log, const std::string& prefix) {
  std::string marker = "\noption " + prefix;
  std::size_t at = log.find(marker);
  if (at == std::string::npos) return "";
  at += marker.size();
  return log.substr(at, log.find('\n', at) - at);
}

std::wstring wideAnsi(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
  wide.pop_back();
  return wide;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

// The long form of an existing path in the ANSI code page, in UTF-8 and
// lower case (ASCII); empty when the ANSI text names nothing.
std::string longFormOf(const std::string& ansiPath) {
  if (GetFileAttributesA(ansiPath.c_str()) == INVALID_FILE_ATTRIBUTES) return "";
  wchar_t full[4096];
  DWORD n = GetLongPathNameW(wideAnsi(ansiPath).c_str(), full, 4096);
  if (n == 0 || n >= 4096) return "";
  return lowerAscii(utf8FromWide(full));
}

// Folders named in other scripts, on each kind of system: the ctests run
// this flow with the ANSI code page 1252, 1251, 932, 936, 949, 950 and 65001,
// each with its rows. The installer's own folder, the temporary folder and
// the runtime's home lie under the name. A name the code page holds reaches
// the Java VM exactly, double-byte characters whose second byte is a letter
// or 0x5C (at the end, before a separator) included; one it cannot hold, by
// its short name. The launch works, %PLIMO_EXEDIR% and the class path's jar
// name existing files in the ANSI code page, the temporary folder is cleaned,
// and arguments from the command line reach Java with every character.
TEST_F(Flow, FoldersAndArgumentsInAnyScript) {
  unsigned page = expectedAnsiCodePage();
  ASSERT_EQ(GetACP(), page) << "the locale of this run gives another ANSI code page";
  struct Case {
    unsigned page;  // the row's code page; 0: every one
    const char* what;
    const char* folder;  // UTF-8
  } cases[] = {
      {1252, "cyrillic", "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0"},  // Проверка
      {1251, "cyrillic", "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB0"},
      {1252, "cjk", "\xE6\xB5\x8B\xE8\xAF\x95\xE7\x9B\xAE\xE5\xBD\x95"},  // 测试目录
      {1251, "cjk", "\xE6\xB5\x8B\xE8\xAF\x95\xE7\x9B\xAE\xE5\xBD\x95"},
      // タナカ表: カ is 0x83 0x4A ('J'), 表 0x95 0x5C.
      {932, "japanese", "\xE3\x82\xBF\xE3\x83\x8A\xE3\x82\xAB\xE8\xA1\xA8"},
      // 丟乗: 0x81 0x47 ('G'), 0x81 0x5C.
      {936, "chinese", "\xE4\xB8\x9F\xE4\xB9\x97"},
      // 갂갋: 0x81 0x41 ('A'), 0x81 0x45 ('E'); no second byte is 0x5C here.
      {949, "korean", "\xEA\xB0\x82\xEA\xB0\x8B"},
      // 丁許功: 0xA4 0x42 ('B'), 0xB3 0x5C, 0xA5 0x5C.
      {950, "chinese", "\xE4\xB8\x81\xE8\xA8\xB1\xE5\x8A\x9F"},
      {65001, "cjk and kana", "\xE6\xB5\x8B\xE8\xAF\x95 \xE3\x82\xBF\xE3\x83\x8A\xE3\x82\xAB\xE8\xA1\xA8"},
      {0, "emoji", "\xF0\x9F\x93\xA6 box"},
  };
  for (const Case& c : cases) {
    if (c.page != 0 && c.page != page) continue;
    SCOPED_TRACE(c.what);
    std::string outer = files.file(c.what);
    std::string base = outer + "\\" + c.folder;
    ASSERT_TRUE(CreateDirectoryW(wideUtf8(outer).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wideUtf8(base).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wideUtf8(base + "\\temp").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(wideUtf8(installer("paths.exe")).c_str(), wideUtf8(base + "\\setup.exe").c_str(), FALSE));
    makeHome(outer + "\\home");
    ASSERT_TRUE(MoveFileW(wideUtf8(outer + "\\home").c_str(), wideUtf8(base + "\\jdk").c_str()));

    Run run;
    // Two arguments: "<CJK>.txt" and an emoji, outside the BMP.
    start(run, base + "\\setup.exe", "\"\xE6\x95\xB0\xE6\x8D\xAE.txt\" \xF0\x9F\x98\x80",
          windowed({"JAVA_HOME=" + base + "\\jdk", "TEMP=" + base + "\\temp", "TMP=" + base + "\\temp"}));
    // While the program runs its jar is still there to be named.
    expectWindowedLaunch(run, 80, false, [&] {
      std::string log = readFile(run.log);
      std::string exeDir = vmOption(log, "-De2e.exeDir=");
      EXPECT_EQ(longFormOf(exeDir), lowerAscii(base + "\\")) << "%PLIMO_EXEDIR% is " << exeDir;
      std::string classPath = vmOption(log, "-Djava.class.path=");
      std::size_t jar = lowerAscii(classPath).find("\\app.jar;");
      ASSERT_NE(jar, std::string::npos) << classPath;
      std::size_t begin = classPath.rfind(';', jar) + 1;
      std::string jarPath = classPath.substr(begin, jar + 8 - begin);
      EXPECT_EQ(longFormOf(jarPath).rfind(lowerAscii(base + "\\temp\\"), 0), 0u) << "the class path's jar is " << jarPath;
    });
    std::string log = readFile(run.log);
    EXPECT_NE(log.find("\nelement 0 6570 636E 002E 0074 0078 0074\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nelement 1 D83D DE00\n"), std::string::npos) << log;
    // What the VM was given is in the ANSI code page, never with '?' for a
    // character it could not hold.
    EXPECT_EQ(log.find('?'), std::string::npos) << log;
    WIN32_FIND_DATAW entry;
    HANDLE left = FindFirstFileW(wideUtf8(base + "\\temp\\plm*").c_str(), &entry);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << "the extraction directory was left behind";
    if (left != INVALID_HANDLE_VALUE) FindClose(left);
  }
}

// An installer written in code page 932 shows its narrow messages in
// Japanese, and its wide caption on the progress dialog that owns the
// message box, whatever the system's ANSI code page.
TEST_F(Flow, NarrowMessagesInTheInstallersCodePage) {
  ASSERT_EQ(GetACP(), expectedAnsiCodePage()) << "the locale of this run gives another ANSI code page";
  makeHome(files.file("home"));
  Run run;
  start(run, installer("japanese.exe"), "",
        windowed({"JAVA_HOME=" + files.file("home"), "PLIMO_JVMDOUBLE_MISSING_CLASS=1"}));
  MessageBoxSeen seen;
  ASSERT_TRUE(waitForMessageBox(run.started.processId, seen, 30000, false));
  EXPECT_EQ(seen.text, "\xE3\x83\xA1\xE3\x82\xA4\xE3\x83\xB3\xE3\x82\xAF\xE3\x83\xA9\xE3\x82\xB9\xE3\x81\x8C"
                       "\xE8\xA6\x8B\xE3\x81\xA4\xE3\x81\x8B\xE3\x82\x8A\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93");
  EXPECT_EQ(seen.caption, "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC");
  // アクメ セットアップ 📦: the emoji no ANSI code page but UTF-8 holds.
  EXPECT_EQ(windowText(seen.owner), "\xE3\x82\xA2\xE3\x82\xAF\xE3\x83\xA1 \xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88"
                                    "\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97 \xF0\x9F\x93\xA6");
  press(seen.window, IDOK);
  finish(run, 1);
}

}  // namespace
}  // namespace plimo::test
