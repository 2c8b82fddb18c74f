#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "block/IdMap.h"
#include "block/TextKinds.h"

namespace plimo {

// The configuration read from the block appended to the executable: narrow
// values (the installer's code page) and wide messages (UTF-16) by numeric id. Filled
// once by loadConfiguration before a second thread exists; read-only after.
struct ConfigStore {
  IdMap<PageText> narrow;
  IdMap<std::u16string> wide;
  // Derived at load time.
  char launcherKind = '\0';     // first character of entry 2001
  bool messageBoxMode = true;   // false when entry 107 is neither 1 nor 5
};

// The process-wide store.
ConfigStore& configStore();

// Evaluates entries 107 and 2001 into messageBoxMode and launcherKind.
void deriveConfigFlags(ConfigStore& store);

// Copies the narrow value of id into pageBuffer (capacity bytes including the
// terminator); an absent id gives the empty string. Never writes past capacity.
void getConfigString(std::int32_t id, char* pageBuffer, std::size_t capacity);
// The narrow value of id, at most MAX_VALUE_LENGTH bytes (what a caller's
// 8192-byte buffer would hold); empty when absent.
PageText getConfigString(std::int32_t id);
// The narrow value read as a decimal integer with the C library's atoi rules;
// 0 when absent.
int getConfigInt(std::int32_t id);
// Wide counterparts; capacity counts UTF-16 units including the terminator.
void getConfigWString(std::int32_t id, char16_t* buffer, std::size_t capacity);
std::u16string getConfigWString(std::int32_t id);

char launcherKind();
bool messageBoxMode();

// atoi rules: leading white space, optional sign, digits up to the first
// non-digit; no digits gives 0. Saturates instead of overflowing. Byte-wise:
// digits, signs and white space are never the second byte of a character.
int parseAtoi(const char* pageText);

// Configuration ids read by the launcher.
namespace cfg {
constexpr std::int32_t APPLICATION_TYPE = 107;
constexpr std::int32_t CLASS_PATH = 121;
constexpr std::int32_t MAIN_CLASS = 122;
constexpr std::int32_t VM_PARAMETERS = 123;
constexpr std::int32_t PROGRAM_ARGUMENTS = 124;
constexpr std::int32_t FORWARD_J_OPTIONS = 125;
constexpr std::int32_t MIN_VERSION = 126;
constexpr std::int32_t MAX_VERSION = 127;
constexpr std::int32_t SEARCH_SEQUENCE = 128;
constexpr std::int32_t DOWNLOAD_URL = 150;
constexpr std::int32_t ARCHIVE_SIZE = 151;
constexpr std::int32_t PREFERRED_VM_TYPE = 152;
constexpr std::int32_t DOWNLOAD_SHA256 = 153;
// The Windows code page the narrow texts were written in (a number such as
// "1252" or "932"); absent in installers built before it was recorded.
constexpr std::int32_t CODE_PAGE = 154;
constexpr std::int32_t ERROR_CAPTION = 1000;
constexpr std::int32_t LAUNCHER_KIND = 2001;
constexpr std::int32_t PAYLOAD_COUNT = 2002;
constexpr std::int32_t PAYLOAD_NAMES = 2003;
constexpr std::int32_t BASE_DIRECTORY = 10003;
}  // namespace cfg

// Narrow message ids.
namespace msg {
constexpr std::int32_t NO_JVM = 1001;
constexpr std::int32_t JVM_ON_PATH_DAMAGED = 1002;
constexpr std::int32_t JVM_OF_VARIABLE_DAMAGED = 1003;
constexpr std::int32_t JVM_AT_PATH_DAMAGED = 1004;
constexpr std::int32_t JVM_NOT_STARTED = 1005;
constexpr std::int32_t CLASS_PATH_ENTRY_MISSING = 1006;
constexpr std::int32_t WRONG_PARAMETER_USAGE = 1007;
constexpr std::int32_t VARIABLE_UNDEFINED = 1008;
constexpr std::int32_t INTERNAL_ERROR_CODE = 1009;
constexpr std::int32_t MAIN_CLASS_NOT_FOUND = 1010;
constexpr std::int32_t MAIN_METHOD_NOT_FOUND = 1011;
}  // namespace msg

// Wide message ids.
namespace wmsg {
constexpr std::int32_t DOWNLOADING = 20001;
constexpr std::int32_t WININET_MISSING = 20002;
constexpr std::int32_t DOWNLOAD_FAILED = 20003;
constexpr std::int32_t PICK_JAVA_TITLE = 20004;
constexpr std::int32_t CHOICE_WITH_DOWNLOAD = 20005;
constexpr std::int32_t CHOICE_WITHOUT_DOWNLOAD = 20006;
constexpr std::int32_t PREPARING = 20007;
constexpr std::int32_t PROGRESS_FORMAT = 20008;
constexpr std::int32_t CONNECTING = 20009;
constexpr std::int32_t DOWNLOAD_BUTTON = 20010;
constexpr std::int32_t LOCATE_BUTTON = 20011;
constexpr std::int32_t CANCEL_BUTTON = 20012;
constexpr std::int32_t CAPTION = 20013;
constexpr std::int32_t NO_WINDOW = 20014;
// Added after the first installers: absent from their blocks.
constexpr std::int32_t RUNTIME_ARCHIVE_DAMAGED = 20015;
constexpr std::int32_t PATH_NOT_REPRESENTABLE = 20016;
// The search passed over runtimes only because they were built for the other
// processor; the path of one of them follows the text on a line of its own.
constexpr std::int32_t RUNTIME_WRONG_PROCESSOR = 20017;
}  // namespace wmsg

}  // namespace plimo
