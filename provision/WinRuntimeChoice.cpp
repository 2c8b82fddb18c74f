#include <cstdlib>

#include "provision/WinProvision.h"

namespace plimo {

// Placeholder until the runtime choice dialog lands.
INT_PTR CALLBACK runtimeChoiceDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND) {
    int id = LOWORD(wParam);
    if (id == IDCANCEL) std::exit(1);
    EndDialog(dialog, id);
    return TRUE;
  }
  return FALSE;
}

}  // namespace plimo
