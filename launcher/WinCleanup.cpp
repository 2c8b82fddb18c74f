#include "launcher/Cleanup.h"

namespace plimo {

// Placeholders until the clean-up lands.
void deleteTree(const std::string&) {}
void deleteTempDirAtExit() {}
void scheduleFileDeletion(const std::string&) {}
void scheduleDirDeletion(const std::string&) {}
void appendToDeletionList(const std::string&, const char*) {}
void scheduleExtractedForDeletion() {}

}  // namespace plimo
