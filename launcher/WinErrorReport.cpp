// The launcher's one error path (stub only; tests link their own).
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/WinText.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "block/MessageText.h"

namespace plimo {

namespace {

void showWide(const wchar_t* text, const wchar_t* caption) {
  if (messageBoxMode()) {
    MessageBoxW(static_cast<HWND>(errorOwnerWindow), text, caption, MB_ICONERROR | MB_OK);
    return;
  }
  // A console shows UTF-16 as it is; redirected output gets UTF-8, which
  // keeps every character (the ANSI code page would turn most into '?').
  std::fflush(stderr);
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  int length = lstrlenW(text);
  if (err != nullptr && err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode)) {
    DWORD written = 0;
    WriteConsoleW(err, text, static_cast<DWORD>(length), &written, nullptr);
    WriteConsoleW(err, L"\n", 1, &written, nullptr);
    return;
  }
  std::string utf8 = utf8From(text) + '\n';
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  std::fflush(stderr);
}

// Texts written in a recorded code page read right whatever the system's
// language: converted with that page and shown through the wide functions.
void showNarrow(const char* text) {
  std::string caption = getConfigString(cfg::ERROR_CAPTION);
  if (unsigned page = installerCodePage()) {
    showWide(wideFrom(text, page).c_str(), wideFrom(caption.c_str(), page).c_str());
  } else if (messageBoxMode()) {
    MessageBoxA(static_cast<HWND>(errorOwnerWindow), text, caption.c_str(), MB_ICONERROR | MB_OK);
  } else {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
}

void showWideWithCaption(const char16_t* text) {
  std::u16string caption = getConfigWString(wmsg::CAPTION);
  showWide(reinterpret_cast<const wchar_t*>(text), reinterpret_cast<const wchar_t*>(caption.c_str()));
}

}  // namespace

// A message that the run goes on after (a picked runtime that cannot be
// used) removes nothing: the end of the run does.
void showError(const char* text) {
  // A thread that reports while the process ends (the worker, after the
  // progress dialog was closed or another thread's fatal message) shows
  // nothing: the other end is removing the files.
  parkIfEnding();
  showNarrow(text);
}

void showWideError(const char16_t* text) {
  parkIfEnding();
  showWideWithCaption(text);
}

void showConfigMessage(std::int32_t id, const char* placeholder, const char* value) {
  std::string text = expandPlaceholder(getConfigString(id), placeholder, value);
  showError(text.c_str());
}

// The fatal ends remove whatever can be removed before the message shows, so
// that nothing stays behind even when the user never answers it; what is in
// use is recorded for deferred deletion.
void fatalText(const char* text) {
  claimProcessEnd();
  showNarrow(text);
  endClaimedProcess(1);
}

void fatalMessage(std::int32_t id, const char* placeholder, const char* value) {
  std::string text = expandPlaceholder(getConfigString(id), placeholder, value);
  fatalText(text.c_str());
}

void fatalWideMessage(std::int32_t id) { fatalWideText(getConfigWString(id).c_str()); }

void fatalWideText(const char16_t* text) {
  claimProcessEnd();
  showWideWithCaption(text);
  endClaimedProcess(1);
}

void exitQuietly() {
  // A failure whose message was shown already: a script or an updater reads
  // the exit code, and 0 would tell it the program ran.
  claimProcessEnd();
  endClaimedProcess(1);
}

}  // namespace plimo
