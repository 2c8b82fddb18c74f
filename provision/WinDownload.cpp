#include "launcher/ConfigStore.h"
#include "launcher/ErrorReport.h"
#include "provision/WinProvision.h"

namespace plimo {

// Placeholder until the download lands.
void downloadJre(HWND, const char*) { fatalWideMessage(wmsg::DOWNLOAD_FAILED); }

}  // namespace plimo
