#include "jvmsearch/JvmLocator.h"
#include "launcher/ConfigStore.h"
#include "launcher/ErrorReport.h"

namespace plimo {

// Placeholders until the runtime search lands: nothing is found.
bool locateJvm(bool reportErrors, const char*, bool) {
  if (reportErrors) showConfigMessage(msg::NO_JVM, nullptr, nullptr);
  return false;
}

void recordLocatedJvm(const char*) {}

}  // namespace plimo
