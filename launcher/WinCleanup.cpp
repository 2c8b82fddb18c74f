// Removes what the launcher unpacked, or records it in the per-user
// deferred-deletion lists when it cannot be removed now.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>

#include "jvmsearch/WinSearchPlatform.h"
#include "launcher/Cleanup.h"
#include "launcher/DeletionList.h"
#include "launcher/LaunchState.h"
#include "launcher/Limits.h"
#include "launcher/Trace.h"
#include "launcher/WinHandles.h"
#include "launcher/WinText.h"

namespace plimo {

namespace {

// A runtime unpacked from an archive can hold paths longer than MAX_PATH,
// where the plain forms stop working: every call here has "\\?\" before an
// absolute path.
std::wstring systemPath(const std::wstring& path) {
  bool unc = path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?';
  bool drive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
  if (unc) return L"\\\\?\\UNC\\" + path.substr(2);
  if (drive) return L"\\\\?\\" + path;
  return path;
}

std::wstring wideChild(const std::wstring& directory, const wchar_t* name) {
  std::wstring out = directory;
  if (out.empty() || out.back() != L'\\') out.push_back(L'\\');
  return out + name;
}

// The lists are narrow and read by other programs: a name goes in as the ANSI
// code page holds it, or by its short name. One that has neither cannot be
// named there at all.
void scheduleWide(const std::wstring& path, const char* valueName) {
  std::string narrow;
  if (ansiPath(path.c_str(), narrow)) {
    appendToDeletionList(narrow, valueName);
  } else {
    trace("clean-up: %s has no ANSI name; not recorded", utf8From(path.c_str()).c_str());
  }
}

void deleteTreeWide(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW(systemPath(wideChild(path, L"*")).c_str(), &entry));
  if (find.get() == INVALID_HANDLE_VALUE) return;
  do {
    if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) continue;
    std::wstring child = wideChild(path, entry.cFileName);
    bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A junction or directory link is removed as a link: following it would
    // delete whatever it points to, outside the tree.
    bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (directory && !link) {
      deleteTreeWide(child);
    } else if (directory) {
      if (!RemoveDirectoryW(systemPath(child).c_str())) scheduleWide(child, DELETE_DIR_VALUE);
    } else if (!DeleteFileW(systemPath(child).c_str())) {
      scheduleWide(child, DELETE_FILE_VALUE);
    }
  } while (FindNextFileW(find.get(), &entry));
  find.reset();
  if (!RemoveDirectoryW(systemPath(path).c_str())) scheduleWide(path, DELETE_DIR_VALUE);
}

// The worker while it is between its launch steps (0 otherwise), and
// whether it has stopped for the end of the process.
std::atomic<DWORD> stepsThread{0};
std::atomic<bool> workerStopped{false};
constexpr DWORD WORKER_STOP_WAIT_MS = 20000;

// Whatever the worker writes while the handler deletes would stay behind
// unlisted; it stops at its next step (a payload or an archive finished,
// the search over), and the wait is bounded for a step that takes long.
void awaitWorkerStop() {
  DWORD worker = stepsThread;
  if (worker == 0 || worker == GetCurrentThreadId()) return;
  DWORD started = GetTickCount();
  while (!workerStopped && GetTickCount() - started < WORKER_STOP_WAIT_MS) Sleep(10);
  trace("exit: worker %s", workerStopped ? "stopped" : "still busy; removing what can be removed");
}

// 0: not started, 1: running, 2: done.
std::atomic<int> cleanupState{0};

}  // namespace

void beginWorkerSteps() { stepsThread = GetCurrentThreadId(); }

void endWorkerSteps() { stepsThread = 0; }

void parkThread() {
  if (GetCurrentThreadId() == stepsThread) workerStopped = true;
  for (;;) Sleep(INFINITE);
}

void deleteTree(const std::string& path) {
  if (path.empty()) return;
  deleteTreeWide(wideFrom(path.c_str(), CP_ACP));
}

void removeLaunchFiles() {
  int expected = 0;
  if (!cleanupState.compare_exchange_strong(expected, 1)) {
    // Two ends at once (the runtime's exit hook while the dialog closes): the
    // second must not end the process under the first one's deletions.
    DWORD started = GetTickCount();
    while (cleanupState != 2 && GetTickCount() - started < WORKER_STOP_WAIT_MS) Sleep(10);
    return;
  }
  // A probe still waiting for its java.exe (the dialog was closed during the
  // search) would leave that process running after the launcher.
  endRunningProbe();
  awaitWorkerStop();
  if (!tempDir.empty()) {
    // The worker made the directory current, and a process's current
    // directory cannot be removed: move to the system temporary directory.
    // Wide: the user's temporary folder may be named in any script.
    wchar_t other[PATH_BUFFER_SIZE];
    DWORD n = GetTempPathW(PATH_BUFFER_SIZE, other);
    if (n > 0 && n < PATH_BUFFER_SIZE) SetCurrentDirectoryW(other);
    trace("exit: removing %s", tempDir.c_str());
    deleteTree(tempDir);
  }
  cleanupState = 2;
}

void deleteTempDirAtExit() { removeLaunchFiles(); }

void claimProcessEnd() {
  if (processEnding.exchange(true)) parkThread();
  removeLaunchFiles();
}

void endProcessAfterCleanup(unsigned code) {
  claimProcessEnd();
  ExitProcess(code);
}

void appendToDeletionList(const std::string& path, const char* valueName) {
  HKEY raw = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, DELETION_LIST_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return;
  }
  UniqueKey key(raw);
  char stored[VALUE_BUFFER_SIZE];
  DWORD size = sizeof stored;
  LONG read = RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size);
  std::string list;
  if (read == ERROR_SUCCESS) {
    list = deletionListText(stored, size);
  } else if (read != ERROR_FILE_NOT_FOUND) {
    // Longer than a reader's buffer, or unreadable: rewriting it would lose
    // what it names.
    trace("deletion list %s unreadable (%ld); %s not recorded", valueName, static_cast<long>(read), path.c_str());
    return;
  }
  if (!appendDeletionEntry(list, path)) {
    trace("deletion list %s full; %s not recorded", valueName, path.c_str());
    return;
  }
  RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                 static_cast<DWORD>(list.size() + 1));
}

void scheduleFileDeletion(const std::string& path) { appendToDeletionList(path, DELETE_FILE_VALUE); }

void scheduleDirDeletion(const std::string& path) { appendToDeletionList(path, DELETE_DIR_VALUE); }

}  // namespace plimo
