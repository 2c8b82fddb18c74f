#pragma once
// What plimo-pack knows about the configuration entries the launcher reads:
// the project-file key that sets each one, what it means, and the English
// default of every message.
#include <cstdint>
#include <string>
#include <vector>

namespace plimo::pack {

struct EntryInfo {
  std::int32_t id;
  const char* key;         // project-file key ("launch.main_class"); empty when derived
  const char* meaning;     // one line, for inspect
};

// Every narrow entry of the launcher (ascending id), messages included.
const std::vector<EntryInfo>& narrowEntries();
// Every wide entry (20001 to 20014).
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
};

// The default text of m for an installer or for an application launcher.
const char* defaultTextFor(const MessageInfo& m, bool application);

// Narrow messages 1000 to 1011 (written in the project's code page).
const std::vector<MessageInfo>& narrowMessages();
// Wide messages 20001 to 20014 (written as UTF-16).
const std::vector<MessageInfo>& wideMessages();

// The wide message that the launcher formats with four double arguments.
constexpr std::int32_t PROGRESS_FORMAT_ID = 20008;

// True when text (UTF-8) is a format the launcher fills (checkProgressFormat
// in provision/DownloadProgress.h) and its line cannot outgrow the launcher's
// 999 characters. why receives the reason when it is not.
bool isSafeProgressFormat(const std::string& text, std::string& why);

}  // namespace plimo::pack
