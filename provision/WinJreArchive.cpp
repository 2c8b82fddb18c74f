#include "launcher/ErrorReport.h"
#include "provision/WinProvision.h"

namespace plimo {

// Placeholder until the archive extraction lands.
void unpackJreArchive(HWND) { exitQuietly(); }

}  // namespace plimo
