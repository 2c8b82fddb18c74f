// Process entry: main cuts the command-line tail and hands over to WinMain,
// which loads the configuration and runs the progress dialog.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/WinText.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "launcher/Configuration.h"
#include "launcher/WinDllSearch.h"
#include "launcher/WinProgressDialog.h"
#include "resources/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int) {
  using namespace plimo;
  hardenDllSearch();
  initCommonControlsLate();
  loadConfiguration(instance);
  // A longer tail would not reach the program whole; refuse it rather than cut it.
  if (std::strlen(tail) > MAX_VALUE_LENGTH) fatalMessage(msg::WRONG_PARAMETER_USAGE, nullptr, nullptr);
  commandLine = tail;
  instanceHandle = instance;
  manualMode = isManualModeTail(tail);
  registerDialogClass();
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, progressDialogProc, 0);
  // The worker may still be searching or unpacking; it must not go on while
  // the exit handlers remove what it unpacked.
  markProcessEnding();
  return 0;
}

int main(int, char**, char**) {
  // From the wide command line: arguments reach the Java program with every
  // character, whatever the system's code page.
  std::string line = plimo::utf8From(GetCommandLineW());
  const char* tail = plimo::commandLineTail(line.c_str());
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(tail), show);
}
