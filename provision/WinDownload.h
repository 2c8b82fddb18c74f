#pragma once
#include <windows.h>

namespace plimo {

// Loads wininet.dll from the system directory (never from the application's
// directory, where a planted copy could sit) and looks up the six functions
// the download uses. True when all were found; looked up again on every call,
// the library is never released.
bool bindWinInet();

// Fetches address into target with progress in the dialog (status line 1002,
// bar 1001). True only when the server answered 200 with a Content-Length
// and exactly that many bytes were received and written. On failure no
// target file is left behind. bindWinInet must have succeeded. The address
// is configured (page text, ASCII in practice) and handed to the system as
// ANSI text, as the target is.
bool downloadToFile(HWND dialog, const char* pageAddress, const char* ansiTarget);

// Downloads the runtime archive from address into target, with progress in
// the dialog. Returns only after a complete download; failures end the
// process (wide messages 20002, 20003).
void downloadJre(HWND dialog, const char* pageAddress, const char* ansiTarget);

}  // namespace plimo
