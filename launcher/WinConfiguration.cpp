#include <windows.h>

#include "base/ErrorReport.h"
#include "base/LaunchState.h"
#include "base/WinExeFile.h"
#include "block/ConfigBlock.h"
#include "launcher/Configuration.h"

namespace plimo {

void loadConfiguration(void* instance) {
  LoadError error = LoadError::None;
  {
    UniqueHandle exe = openExeFile();
    if (!isValid(exe)) {
      error = LoadError::OpenExeFile;
    } else {
      WinFileByteSource source(exe.get());
      ConfigStore loaded;
      std::uint64_t offset = 0;
      error = readConfiguration(source, loaded, offset);
      if (error == LoadError::None) {
        configStore() = std::move(loaded);
        payloadOffset = offset;
      }
    }
  }
  // The store is still empty here, so the box has an empty caption and
  // messageBoxMode is still true.
  if (error != LoadError::None) fatalText(loadErrorText(error));
  instanceHandle = instance;
}

}  // namespace plimo
