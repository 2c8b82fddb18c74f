#pragma once
// Helpers for tests that run under Wine against the real Windows API: build an
// installer from the freshly built stub, run it, find and press its message
// boxes, and keep scratch directories.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/plimo-pack/BlockWriter.h"

namespace plimo::test {

// Directory of the running test program (where the stub and doubles are),
// with a trailing backslash.
std::string binDir();
// Full path of the stub built in this configuration.
std::string stubPath();

// A fresh directory under %TEMP%, removed with its contents on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

void removeTree(const std::string& path);
// The names (not "." and "..") that match a FindFirstFile pattern such as
// "C:\\dir\\*", in the order the system lists them; only directories' names
// when directoriesOnly is set.
std::vector<std::string> namesMatching(const std::string& pattern, bool directoriesOnly = false);
bool writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// A runtime of the doubles under home (created): bin\java.exe, which reports
// version, and bin\server\jvm.dll. False when a double is not built.
bool plantRuntimeDoubles(const std::string& home, const std::string& version);
bool pathExists(const std::string& path);

// The stub's image (its bytes up to the end of the last section), then the
// block's tables, then the payload bytes, then trailing bytes (such as a
// signature would be). Returns false when the stub cannot be read.
bool writeInstaller(const std::string& path, const BlockWriter& block, const std::string& payload = std::string(),
                    const std::string& trailing = std::string(), const std::string& stub = stubPath());

// A block for console mode (entry 107 = "0") with every narrow message set to
// "<id>: ..." texts carrying their placeholders, and every wide message.
BlockWriter consoleBlock();

struct RunResult {
  DWORD exitCode = 0;
  std::string stdErr;
  bool timedOut = false;
  DWORD processId = 0;
};

// Runs a command line with standard error captured and no standard input.
// The process is ended (exit code 0xDEAD) when it runs longer than timeoutMs.
// environment: extra "NAME=value" entries added to the current environment.
RunResult runProcess(const std::string& commandLine, DWORD timeoutMs = 30000,
                     const std::vector<std::string>& environment = {}, const char* directory = nullptr);

// Starts a process and returns its handle and id without waiting.
struct Started {
  HANDLE process = nullptr;
  DWORD processId = 0;
  HANDLE stdErrRead = nullptr;
};
// The command line, the environment entries and the directory are UTF-8.
Started startProcess(const std::string& commandLine, const std::vector<std::string>& environment = {},
                     const char* directory = nullptr);
// Waits for a started process, collecting its standard error.
RunResult finishProcess(Started& started, DWORD timeoutMs);

// What a top-level window of a process must be to be found.
struct WindowMatch {
  const char* className = "#32770";  // the dialog class; null: any class
  int controlId = 0;                 // when not 0, the window has this control
  HWND owner = nullptr;              // when set, the window is owned by it
  bool visibleOnly = true;
};
// The first top-level window of the process that matches; null when none does.
HWND findProcessWindow(DWORD processId, const WindowMatch& match = WindowMatch());

// A message box ("#32770" dialog) of the given process: caption and text.
struct MessageBoxSeen {
  std::string caption;  // UTF-8
  std::string text;     // UTF-8
  HWND window = nullptr;
  HWND owner = nullptr;
};
// Waits until the process shows a message box; optionally presses OK.
bool waitForMessageBox(DWORD processId, MessageBoxSeen& seen, DWORD timeoutMs, bool pressOk = true);

std::string utf8FromWide(const wchar_t* text);
std::wstring wideUtf8(const std::string& text);

}  // namespace plimo::test
