#pragma once
// Shared by the payload and clean-up tests under Wine: the deferred-deletion
// lists in the real registry, and payload records and contents generated in
// code.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/DeletionList.h"
#include "block/BlockFormat.h"

namespace plimo::test {

// A stored list value: present, its type and its bytes as stored.
struct ListValue {
  bool present = false;
  DWORD type = 0;
  std::string bytes;
};

inline ListValue readListValue(const char* name) {
  ListValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, DELETION_LIST_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    if (RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(&value.bytes[0]), &size) ==
        ERROR_SUCCESS) {
      value.present = true;
      value.bytes.resize(size);
    }
  }
  RegCloseKey(key);
  return value;
}

// The list text (what a reader sees): the stored bytes up to the terminator.
inline std::string listText(const char* name) {
  ListValue value = readListValue(name);
  return value.present ? deletionListText(value.bytes.data(), value.bytes.size()) : std::string();
}

inline void writeListValue(const char* name, const std::string& bytes, DWORD type = REG_SZ) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, DELETION_LIST_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
}

inline void deleteListValue(const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, DELETION_LIST_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

// Saves both lists, empties them for the test, and puts them back afterwards,
// so that each test sees only its own entries and earlier runs are kept.
class ListsEmptied {
 public:
  ListsEmptied() : file_(readListValue(DELETE_FILE_VALUE)), dir_(readListValue(DELETE_DIR_VALUE)) {
    deleteListValue(DELETE_FILE_VALUE);
    deleteListValue(DELETE_DIR_VALUE);
  }
  ~ListsEmptied() {
    restore(DELETE_FILE_VALUE, file_);
    restore(DELETE_DIR_VALUE, dir_);
  }
  ListsEmptied(const ListsEmptied&) = delete;
  ListsEmptied& operator=(const ListsEmptied&) = delete;

 private:
  static void restore(const char* name, const ListValue& value) {
    if (value.present) {
      writeListValue(name, value.bytes, value.type);
    } else {
      deleteListValue(name);
    }
  }
  ListValue file_;
  ListValue dir_;
};

// Deterministic content: the byte at index i of stream seed.
inline unsigned char contentByte(std::uint32_t seed, std::uint64_t i) {
  std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull ^ (static_cast<std::uint64_t>(seed) << 32);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 32;
  return static_cast<unsigned char>(x);
}

inline std::string content(std::uint32_t seed, std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(contentByte(seed, i));
  return s;
}

// A payload record's length field stating length, followed by bytes (which
// need not be as many: records that lie about their length are built so).
inline std::string recordWithLength(std::int32_t length, const std::string& bytes) {
  std::string out;
  appendInt32(out, length);
  return out + bytes;
}

}  // namespace plimo::test
