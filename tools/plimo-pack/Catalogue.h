#pragma once
// What plimo-pack knows about the configuration entries the launcher reads:
// the project-file key that sets each one, what it means, and the English
// default of every message.
#include <cstdint>
#include <string>
#include <vector>

#include "block/TextKinds.h"

namespace plimo::pack {

struct EntryInfo {
  std::int32_t id;
  const char* key;         // project-file key ("launch.main_class"); empty when derived
  const char* meaning;     // one line, for inspect
};

// Every narrow entry of the launcher (ascending id), messages included.
const std::vector<EntryInfo>& narrowEntries();
// Every wide entry (20001 to 20017).
const std::vector<EntryInfo>& wideEntries();
// The entry with this id in the given list, or nullptr.
const EntryInfo* findEntry(const std::vector<EntryInfo>& list, std::int32_t id);

struct MessageInfo {
  std::int32_t id;
  const char* name;          // key below [messages] or [wide_messages]
  const char* placeholder;   // the placeholder the launcher fills in, or nullptr
  const char* defaultText;   // UTF-8
  // The default of an application launcher (launch.launcher_kind
  // "application") where the installer wording would be wrong; nullptr: the same.
  const char* applicationText = nullptr;
  // Messages that speak of the processor have a default for each stub: the
  // two texts above are the x86 stub's, these the x64 stub's (nullptr: the
  // message does not depend on the processor).
  const char* x64Text = nullptr;
  const char* x64ApplicationText = nullptr;
};

// The default text of m for an installer or for an application launcher, of
// the x86 or the x64 stub.
const char* defaultTextFor(const MessageInfo& m, bool application, bool x64 = false);
// True when m's default depends on the stub's processor.
inline bool dependsOnProcessor(const MessageInfo& m) { return m.x64Text != nullptr; }

// Narrow messages 1000 to 1011 (written in the project's code page).
const std::vector<MessageInfo>& narrowMessages();
// Wide messages 20001 to 20017 (written as UTF-16).
const std::vector<MessageInfo>& wideMessages();

// The wide message that the launcher formats with four double arguments.
constexpr std::int32_t PROGRESS_FORMAT_ID = 20008;

// True when text is a format the launcher fills (checkProgressFormat in
// provision/DownloadProgress.h) and its line cannot outgrow the launcher's
// 999 characters. why receives the reason when it is not.
bool isSafeProgressFormat(const Utf8Text& text, std::string& why);

}  // namespace plimo::pack
