#pragma once

namespace plimo {

// Reads the block appended to the running executable into the process-wide
// ConfigStore, sets payloadOffset and instanceHandle. A damaged or missing
// block ends the process with its fixed internal-error text (exit code 1).
void loadConfiguration(void* instance);

}  // namespace plimo
