#include "tests/support/WinTestSupport.h"

#include <cstdio>
#include <cstring>
#include <thread>

#include "block/ConfigBlock.h"

namespace plimo::test {

std::string binDir() {
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

std::string stubPath() { return binDir() + PLIMO_STUB_NAME; }

ScratchDir::ScratchDir() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static unsigned counter = 0;
  for (;;) {
    char name[MAX_PATH * 2];
    std::snprintf(name, sizeof name, "%splimo-test-%lu-%u", temp, GetCurrentProcessId(), ++counter);
    if (CreateDirectoryA(name, nullptr)) {
      path_ = name;
      break;
    }
  }
}

ScratchDir::~ScratchDir() { removeTree(path_); }

void removeTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> namesMatching(const std::string& pattern, bool directoriesOnly) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (directoriesOnly && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
    names.push_back(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

bool writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool plantRuntimeDoubles(const std::string& home, const std::string& version) {
  CreateDirectoryA(home.c_str(), nullptr);
  CreateDirectoryA((home + "\\bin").c_str(), nullptr);
  CreateDirectoryA((home + "\\bin\\server").c_str(), nullptr);
  return CopyFileA((binDir() + "java-double.exe").c_str(), (home + "\\bin\\java.exe").c_str(), FALSE) &&
         CopyFileA((binDir() + "jvm.dll").c_str(), (home + "\\bin\\server\\jvm.dll").c_str(), FALSE) &&
         writeFile(home + "\\bin\\java.exe.stderr", "java version \"" + version + "\"\r\n");
}

std::string readFile(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool writeInstaller(const std::string& path, const BlockWriter& block, const std::string& payload,
                    const std::string& trailing, const std::string& stub) {
  std::string image = readFile(stub);
  if (image.empty()) return false;
  MemoryByteSource source(image);
  std::uint64_t end = 0;
  if (findEndOfImage(source, end) != LoadError::None) return false;
  image.resize(static_cast<std::size_t>(end));
  return writeFile(path, image + block.tables() + payload + trailing);
}

BlockWriter consoleBlock() {
  BlockWriter block;
  block.addNarrow(107, "0");
  block.addNarrow(1000, "Error caption");
  block.addNarrow(1001, "1001: no JVM found");
  block.addNarrow(1002, "1002: JVM on path damaged");
  block.addNarrow(1003, "1003: variable %ENV_VAR_NAME% points nowhere");
  block.addNarrow(1004, "1004: JVM at %DEFINED_PATH% damaged");
  block.addNarrow(1005, "1005: JVM could not be started");
  block.addNarrow(1006, "1006: %FILE_NAME% not found");
  block.addNarrow(1007, "1007: wrong parameter usage");
  block.addNarrow(1008, "1008: define %ENV_VAR_NAME%");
  block.addNarrow(1009, "1009: internal error (code %ERROR_CODE%)");
  block.addNarrow(1010, "1010: main class not found");
  block.addNarrow(1011, "1011: main method not found");
  for (int id = 20001; id <= 20014; ++id) {
    block.addWide(id, utf16FromUtf8(std::to_string(id) + ": wide message"));
  }
  return block;
}

std::wstring wideUtf8(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

namespace {

// The current environment with extra (UTF-8 "NAME=value") entries replacing
// those of the same name, as a UTF-16 block: values need not fit the ANSI
// code page.
std::wstring environmentBlock(const std::vector<std::string>& extra) {
  std::vector<std::wstring> added;
  for (const auto& e : extra) added.push_back(wideUtf8(e));
  std::wstring block;
  wchar_t* current = GetEnvironmentStringsW();
  for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
    bool replaced = false;
    for (const auto& e : added) {
      std::size_t eq = e.find(L'=');
      if (eq != std::wstring::npos && _wcsnicmp(p, e.c_str(), eq + 1) == 0) replaced = true;
    }
    if (!replaced) block.append(p, wcslen(p) + 1);
  }
  FreeEnvironmentStringsW(current);
  for (const auto& e : added) block.append(e.c_str(), e.size() + 1);
  block.push_back(L'\0');
  return block;
}

}  // namespace

Started startProcess(const std::string& commandLine, const std::vector<std::string>& environment,
                     const char* directory) {
  Started started;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return started;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startupWide;
  ZeroMemory(&startupWide, sizeof startupWide);
  startupWide.cb = sizeof startupWide;
  startupWide.dwFlags = STARTF_USESTDHANDLES;
  startupWide.hStdInput = nul;
  startupWide.hStdOutput = nul;
  startupWide.hStdError = writeEnd;
  PROCESS_INFORMATION info;
  std::wstring line = wideUtf8(commandLine);
  std::wstring env = environmentBlock(environment);
  std::wstring folder = directory != nullptr ? wideUtf8(directory) : std::wstring();
  BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, &env[0],
                           directory != nullptr ? folder.c_str() : nullptr, &startupWide, &info);
  CloseHandle(writeEnd);
  CloseHandle(nul);
  if (!ok) {
    CloseHandle(readEnd);
    return started;
  }
  CloseHandle(info.hThread);
  started.process = info.hProcess;
  started.processId = info.dwProcessId;
  started.stdErrRead = readEnd;
  return started;
}

RunResult finishProcess(Started& started, DWORD timeoutMs) {
  RunResult result;
  result.processId = started.processId;
  if (started.process == nullptr) {
    result.exitCode = 0xFFFFFFFF;
    return result;
  }
  std::string collected;
  HANDLE pipe = started.stdErrRead;
  std::thread reader([pipe, &collected] {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) collected.append(buffer, n);
  });
  if (WaitForSingleObject(started.process, timeoutMs) == WAIT_TIMEOUT) {
    result.timedOut = true;
    TerminateProcess(started.process, 0xDEAD);
    WaitForSingleObject(started.process, 5000);
  }
  GetExitCodeProcess(started.process, &result.exitCode);
  // Children of the process may still hold the pipe's write end.
  if (WaitForSingleObject(reinterpret_cast<HANDLE>(reader.native_handle()), 2000) == WAIT_TIMEOUT) {
    CancelIoEx(pipe, nullptr);
  }
  reader.join();
  CloseHandle(pipe);
  CloseHandle(started.process);
  started.process = nullptr;
  result.stdErr = collected;
  return result;
}

RunResult runProcess(const std::string& commandLine, DWORD timeoutMs, const std::vector<std::string>& environment,
                     const char* directory) {
  Started started = startProcess(commandLine, environment, directory);
  return finishProcess(started, timeoutMs);
}

std::string utf8FromWide(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

namespace {

struct WindowSearch {
  DWORD processId;
  const WindowMatch& match;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  const WindowMatch& match = search->match;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  if (match.visibleOnly && !IsWindowVisible(window)) return TRUE;
  if (match.className != nullptr) {
    char className[64];
    GetClassNameA(window, className, sizeof className);
    if (_stricmp(className, match.className) != 0) return TRUE;
  }
  if (match.owner != nullptr && GetWindow(window, GW_OWNER) != match.owner) return TRUE;
  if (match.controlId != 0 && GetDlgItem(window, match.controlId) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

// The message text: the static control that is not the icon (Windows gives
// it id 0xFFFF; matching by class and content works on every version).
std::string messageBoxText(HWND box) {
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char className[64];
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") != 0) continue;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    wchar_t buffer[16384];
    GetWindowTextW(child, buffer, 16384);
    if (buffer[0] != 0) text = utf8FromWide(buffer);
  }
  return text;
}

}  // namespace

HWND findProcessWindow(DWORD processId, const WindowMatch& match) {
  WindowSearch search{processId, match, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool waitForMessageBox(DWORD processId, MessageBoxSeen& seen, DWORD timeoutMs, bool pressOk) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    if (HWND box = findProcessWindow(processId)) {
      wchar_t buffer[16384];
      GetWindowTextW(box, buffer, 16384);
      seen.caption = utf8FromWide(buffer);
      seen.text = messageBoxText(box);
      seen.window = box;
      seen.owner = GetWindow(box, GW_OWNER);
      if (pressOk) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      return true;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace plimo::test
