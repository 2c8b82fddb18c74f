// The launcher's one error path (stub only; tests link their own).
#include <windows.h>

#include <cstdio>
#include <string>

#include "launcher/Cleanup.h"
#include "launcher/ConfigStore.h"
#include "launcher/ErrorReport.h"
#include "launcher/LaunchState.h"
#include "launcher/Limits.h"
#include "launcher/MessageText.h"

namespace plimo {

namespace {

// A thread that reports while the process ends through the run-time
// library's exit (the worker, after the progress dialog was closed) shows
// nothing and schedules nothing: the exit handlers are removing the files,
// and the process is about to end.
void waitIfEnding() {
  if (processEnding) parkThread();
}

}  // namespace

void showError(const char* text) {
  waitIfEnding();
  scheduleExtractedForDeletion();
  if (messageBoxMode()) {
    std::string caption = getConfigString(cfg::ERROR_CAPTION);
    MessageBoxA(static_cast<HWND>(errorOwnerWindow), text, caption.c_str(), MB_ICONERROR | MB_OK);
  } else {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
}

void showWideError(const char16_t* text) {
  waitIfEnding();
  scheduleExtractedForDeletion();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
  if (messageBoxMode()) {
    std::u16string caption = getConfigWString(wmsg::CAPTION);
    MessageBoxW(static_cast<HWND>(errorOwnerWindow), wide, reinterpret_cast<const wchar_t*>(caption.c_str()),
                MB_ICONERROR | MB_OK);
    return;
  }
  // A console shows UTF-16 as it is; redirected output gets UTF-8, which
  // keeps every character (the ANSI code page would turn most into '?').
  std::fflush(stderr);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  int length = lstrlenW(wide);
  if (err != nullptr && err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode)) {
    DWORD written = 0;
    WriteConsoleW(err, wide, static_cast<DWORD>(length), &written, nullptr);
    WriteConsoleW(err, L"\n", 1, &written, nullptr);
    return;
  }
  int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, &utf8[0], bytes, nullptr, nullptr);
  utf8 += '\n';
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

void showConfigMessage(std::int32_t id, const char* placeholder, const char* value) {
  std::string text = expandPlaceholder(getConfigString(id), placeholder, value);
  showError(text.c_str());
}

void fatalText(const char* text) {
  showError(text);
  ExitProcess(1);
}

void fatalMessage(std::int32_t id, const char* placeholder, const char* value) {
  showConfigMessage(id, placeholder, value);
  ExitProcess(1);
}

void fatalWideMessage(std::int32_t id) {
  std::u16string text = getConfigWString(id);
  showWideError(text.c_str());
  ExitProcess(1);
}

void exitQuietly() {
  waitIfEnding();
  scheduleExtractedForDeletion();
  ExitProcess(0);
}

}  // namespace plimo
