#include <windows.h>
#include <commdlg.h>

#include <cstddef>

#include "base/LaunchState.h"
#include "base/Shutdown.h"
#include "base/Trace.h"
#include "base/WinSystemLibrary.h"
#include "base/WinText.h"
#include "block/ConfigStore.h"
#include "block/Limits.h"
#include "jvmsearch/JvmLocator.h"
#include "provision/WinRuntimeChoice.h"
#include "provision/WinWindowHelpers.h"
#include "resources/resource.h"

namespace plimo {

namespace {

// Only files named java.exe are listed; the literal's own terminator closes
// the filter list.
constexpr wchar_t JAVA_EXE_FILTER[] = L"Java EXE\0java.exe\0";

// The request is given the size without the fields added in Windows 2000
// (76 bytes on x86), which every version of the dialog accepts.
#if defined(_M_IX86) || defined(__i386__)
static_assert(offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR) == 76, "the pre-2000 request size");
#endif

typedef BOOL(WINAPI* GetOpenFileNameFn)(LPOPENFILENAMEW);
typedef DWORD(WINAPI* CommDlgExtendedErrorFn)();

// The common dialog library is loaded only when the user asks for it: linked
// statically it would be loaded (with the shell libraries it needs) at every
// start of every installer. It comes from the system directory by full path.
HMODULE commonDialogLibrary() {
  static HMODULE library = nullptr;
  if (library == nullptr) library = loadSystemLibrary(L"comdlg32.dll");
  return library;
}

}  // namespace

bool browseForJavaExe(HWND owner) {
  // Wide: the runtime picked may live in a folder whose name the ANSI code
  // page cannot hold.
  wchar_t picked[PATH_BUFFER_SIZE];
  picked[0] = L'\0';
  std::u16string title = getConfigWString(wmsg::PICK_JAVA_TITLE);

  OPENFILENAMEW request;
  ZeroMemory(&request, sizeof request);
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  request.hwndOwner = owner;
  request.lpstrFilter = JAVA_EXE_FILTER;
  request.lpstrFile = picked;
  request.nMaxFile = PATH_BUFFER_SIZE;
  request.lpstrTitle = reinterpret_cast<const wchar_t*>(title.c_str());
  request.Flags = OFN_FILEMUSTEXIST;
  HMODULE library = commonDialogLibrary();
  auto getOpenFileName = library == nullptr ? nullptr
                                            : reinterpret_cast<GetOpenFileNameFn>(reinterpret_cast<void*>(
                                                  GetProcAddress(library, "GetOpenFileNameW")));
  if (getOpenFileName == nullptr) {
    trace("the open-file dialog is not available");
    return false;
  }
  if (!getOpenFileName(&request)) {
    auto extendedError = reinterpret_cast<CommDlgExtendedErrorFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "CommDlgExtendedError")));
    trace("open-file dialog ended without a pick (error %lu)",
          static_cast<unsigned long>(extendedError != nullptr ? extendedError() : 0));
    return false;
  }
  std::string file = ansiPathOrFatal(picked);
  trace("picked %s", file.c_str());
  if (!locateJvm(true, file.c_str(), true)) return false;
  recordLocatedJvm(file.c_str());
  return true;
}

INT_PTR CALLBACK runtimeChoiceDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      setWindowTextWide(dialog, getConfigWString(wmsg::CAPTION).c_str());
      setDlgItemTextWide(dialog, IDCANCEL, getConfigWString(wmsg::CANCEL_BUTTON).c_str());
      setDlgItemTextWide(dialog, IDC_LOCATE, getConfigWString(wmsg::LOCATE_BUTTON).c_str());
      setDlgItemTextWide(dialog, IDC_DOWNLOAD, getConfigWString(wmsg::DOWNLOAD_BUTTON).c_str());
      std::int32_t textId = wmsg::CHOICE_WITH_DOWNLOAD;
      if (!downloadOffered) {
        textId = wmsg::CHOICE_WITHOUT_DOWNLOAD;
        // Hidden alone, the default button would still answer Enter.
        HWND download = GetDlgItem(dialog, IDC_DOWNLOAD);
        ShowWindow(download, SW_HIDE);
        EnableWindow(download, FALSE);
      }
      setDlgItemTextWide(dialog, IDC_MESSAGE_TEXT, getConfigWString(textId).c_str());
      // A translation's labels may be wider than the template's buttons.
      const int row[] = {IDC_DOWNLOAD, IDC_LOCATE, IDCANCEL};
      fitButtonRow(dialog, row, 3);
      centerWindow(dialog);
      return TRUE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (id == IDC_LOCATE) {
        // A rejected pick leaves the dialog open for another try.
        if (browseForJavaExe(dialog)) EndDialog(dialog, IDC_LOCATE);
        return FALSE;
      }
      // With no address there is nothing to download from, however the
      // command arrives.
      if (id == IDC_DOWNLOAD && !downloadOffered) return TRUE;
      if (id == IDCANCEL) {
        trace("runtime choice cancelled");
        endThroughExitHandlers(1);
      }
      EndDialog(dialog, id);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace plimo
