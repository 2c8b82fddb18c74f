#pragma once
// The text rules of the deferred-deletion lists and of the clean-up's paths,
// kept apart from the registry and the file system so that they are tested on
// every platform.
#include <cstddef>
#include <string>
#include <string_view>

#include "block/TextKinds.h"

namespace plimo {

// Per-user key of the lists (as passed to the system, trailing backslash
// included) and the two value names.
constexpr const char* DELETION_LIST_KEY = "SOFTWARE\\kaldor-codework\\plimo\\temp\\";
constexpr const char* DELETE_FILE_VALUE = "delete_file";
constexpr const char* DELETE_DIR_VALUE = "delete_dir";

// The list text of a stored value: the bytes the system reported, up to the
// first NUL among them (the stored data may or may not carry a terminator).
// The lists hold ANSI paths separated by ";".
AnsiText deletionListText(const char* ansiData, std::size_t reportedLength);

// Appends ansiPath and ";" to list. When the result would be longer than
// MAX_VALUE_LENGTH (the buffer every reader of the list uses), list is left
// exactly as it was and false is returned: the entry is dropped rather than
// the stored list truncated.
bool appendDeletionEntry(AnsiText& list, std::string_view ansiPath);

// ansiDirectory + "\" + name, without doubling a backslash the directory
// already ends with. The last byte is looked at alone: a directory that ends
// in a double-byte character whose second byte is '\' gets no separator (the
// launcher's directories end in an ASCII name or in "\").
AnsiText childPath(std::string_view ansiDirectory, std::string_view ansiName);

}  // namespace plimo
