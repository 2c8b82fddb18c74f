#include "launcher/WinProgressDialog.h"

#include <commctrl.h>
#include <direct.h>

#include <cstdlib>
#include <string>

#include "base/DeletionList.h"
#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "base/WinText.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "jvmlaunch/JavaVMLauncher.h"
#include "jvmsearch/JvmLocator.h"
#include "jvmsearch/JvmSearch.h"
#include "jvmsearch/WinPaths.h"
#include "launcher/Payload.h"
#include "launcher/WorkerSteps.h"
#include "provision/TarReader.h"
#include "provision/WinDownload.h"
#include "provision/WinJreArchive.h"
#include "provision/WinRuntimeChoice.h"
#include "provision/WinWindowHelpers.h"
#include "resources/resource.h"

namespace plimo {

namespace {

constexpr int JNI_VERSION_1_2_VALUE = 0x00010002;
constexpr const char* RUNTIME_ARCHIVE_NAME = "jre.tar.gz";

// The runtime calls this on System.exit instead of ending the process through
// its own C library, which would skip the launcher's exit handler: the same
// clean-up as any end, then the program's status as the exit code.
void JNICALL endFromRuntime(jint status) {
  trace("launch: the Java program ends the process with %ld", static_cast<long>(status));
  endProcessAfterCleanup(static_cast<unsigned>(status));
}

void setProgress(HWND dialog, int position) {
  SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void setProgressRange(HWND dialog, int maximum) {
  SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, maximum));
}

// Moves the bar with the share of the payload written. The move is posted:
// a sent one held the copy until the dialog's thread had repainted the bar,
// about a millisecond of Wine server calls each, once per percent; with the
// moves spaced out (payloadBarMoves) the copy runs at the speed of a bare loop.
class PayloadBar final : public PayloadProgress {
 public:
  explicit PayloadBar(HWND dialog) : bar_(GetDlgItem(dialog, IDC_PROGRESS_BAR)), moved_(GetTickCount()) {}
  void payloadWritten(std::uint64_t written, std::uint64_t total) override {
    int position = tarProgressPosition(written, static_cast<std::int64_t>(total));
    DWORD now = GetTickCount();
    if (!payloadBarMoves(position, shown_, now - moved_)) return;
    shown_ = position;
    moved_ = now;
    PostMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }

 private:
  HWND bar_;
  DWORD moved_;
  int shown_ = 0;
};

// The runtime steps with the real dialogs, downloads and files.
class DialogWorker final : public WorkerPlatform {
 public:
  explicit DialogWorker(HWND dialog) : dialog_(dialog) {}
  // Once the process is ending, the worker waits for the end instead of
  // writing, searching or launching under the exit handlers.
  void stopIfEnding() override {
    if (!processIsEnding()) return;
    trace("worker: the process is ending; no further step");
    parkThread();
  }
  void enterTempDir() override {
    if (!tempDir.empty()) _chdir(tempDir.c_str());
  }
  void makeTempDir() override {
    if (tempDir.empty()) createTempDir(tempDir);
  }
  bool runtimeArchivePresent() override {
    return !tempDir.empty() && fileExists(childPath(tempDir, RUNTIME_ARCHIVE_NAME).c_str());
  }
  bool searchRuntime() override { return locateJvm(false, nullptr, false); }
  AnsiText otherProcessorRuntime() override { return plimo::otherProcessorRuntime(); }
  void reportOtherProcessorRuntime(const AnsiText& javaExe) override {
    // The path on a line of its own, as the user needs it to find the runtime.
    std::u16string text = getConfigWString(wmsg::RUNTIME_WRONG_PROCESSOR);
    text += u'\n';
    std::wstring path = wideFrom(javaExe.c_str(), CP_ACP);
    text.append(path.begin(), path.end());
    showWideError(text.c_str());
  }
  std::intptr_t showRuntimeChoice() override {
    return DialogBoxParamW(static_cast<HINSTANCE>(instanceHandle), MAKEINTRESOURCEW(IDD_RUNTIME_CHOICE), dialog_,
                           runtimeChoiceDialog, 0);
  }
  void downloadRuntimeArchive(const PageText& address) override {
    downloadJre(dialog_, address.c_str(), childPath(tempDir, RUNTIME_ARCHIVE_NAME).c_str());
  }
  void setProgressRange(int maximum) override { plimo::setProgressRange(dialog_, maximum); }
  void unpackRuntimeArchive() override { unpackJreArchive(dialog_, tempDir); }

 private:
  HWND dialog_;
};

// The watcher's looks at the process's windows and its moves of the bar.
class DialogWatcher final : public WatcherPlatform {
 public:
  explicit DialogWatcher(HWND dialog) : dialog_(dialog), self_(GetCurrentProcessId()) {}
  bool applicationWindowShown() override { return countVisibleProcessWindows(self_) > 1; }
  void setProgressPosition(int position) override { setProgress(dialog_, position); }
  void waitPoll() override { Sleep(WATCHER_POLL_MS); }
  void hideDialog() override { ShowWindow(dialog_, SW_HIDE); }

 private:
  HWND dialog_;
  DWORD self_;
};

}  // namespace

void registerDialogClass() {
  // A Unicode class: its windows keep a caption in any script, where an ANSI
  // window's default procedure would store it in the ANSI code page.
  WNDCLASSW windowClass;
  ZeroMemory(&windowClass, sizeof windowClass);
  windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
  windowClass.lpfnWndProc = DefDlgProcW;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = static_cast<HINSTANCE>(instanceHandle);
  windowClass.hIcon = LoadIconW(static_cast<HINSTANCE>(instanceHandle), L"MAINICO");
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = L"MyDlgClass";
  RegisterClassW(&windowClass);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      centerWindow(dialog);
      errorOwnerWindow = dialog;
      setProgressRange(dialog, 100);
      setDlgItemTextWide(dialog, IDC_MESSAGE_TEXT, getConfigWString(wmsg::PREPARING).c_str());
      setWindowTextWide(dialog, getConfigWString(wmsg::CAPTION).c_str());
      setDlgItemTextWide(dialog, IDCANCEL, getConfigWString(wmsg::CANCEL_BUTTON).c_str());
      HANDLE worker = CreateThread(nullptr, 0, launchWorker, dialog, 0, nullptr);
      if (worker != nullptr) CloseHandle(worker);
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id == IDOK || id == IDCANCEL) {
        EndDialog(dialog, id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_PLIMO_LAUNCH_DONE:
      EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

DWORD WINAPI launchWorker(LPVOID param) {
  HWND dialog = static_cast<HWND>(param);
  setProgress(dialog, 0);
  // Registered first, so that a close during the extraction removes (or
  // lists) what was written so far.
  beginWorkerSteps();
  std::atexit(deleteTempDirAtExit);
  PayloadBar payloadBar(dialog);
  extractPayload(tempDir, &payloadBar);
  DialogWorker worker(dialog);
  prepareRuntime(worker);

  HANDLE watcher = CreateThread(nullptr, 0, windowWatcher, dialog, 0, nullptr);
  if (watcher != nullptr) {
    SetThreadPriority(watcher, THREAD_PRIORITY_ABOVE_NORMAL);
    CloseHandle(watcher);
  }
  // The Java program is not waited for: it runs until it ends the process.
  endWorkerSteps();
  if (!launchJvm(JNI_VERSION_1_2_VALUE, commandLine.c_str(), nullptr, nullptr, tempDir.c_str(), endFromRuntime)) {
    fatalMessage(msg::JVM_NOT_STARTED, nullptr, nullptr);
  }
  // The Java program's main returned and the VM is gone: end the launcher
  // rather than linger invisibly.
  PostMessageA(dialog, WM_PLIMO_LAUNCH_DONE, 0, 0);
  return 0;
}

DWORD WINAPI windowWatcher(LPVOID param) {
  DialogWatcher watcher(static_cast<HWND>(param));
  watchForWindow(watcher, getConfigInt(cfg::APPLICATION_TYPE));
  return 0;
}

}  // namespace plimo
