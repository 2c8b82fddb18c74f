#include "launcher/Payload.h"

namespace plimo {

// Placeholder until the payload extraction lands: nothing is extracted.
void extractPayload(std::string& tempDir) { tempDir.clear(); }

}  // namespace plimo
