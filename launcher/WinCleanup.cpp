// Removes what the launcher unpacked, or records it in the per-user
// deferred-deletion lists when it cannot be removed now.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "base/Cleanup.h"
#include "base/DeletionList.h"
#include "base/Trace.h"
#include "base/WinHandles.h"
#include "base/WinText.h"
#include "block/Limits.h"

namespace plimo {

namespace {

// The lists are narrow and read by other programs: a name goes in as the ANSI
// code page holds it, or by its short name. One that has neither cannot be
// named there at all.
void scheduleWide(const wchar_t* path, const char* valueName) {
  std::string narrow;
  if (ansiPath(path, narrow)) {
    appendToDeletionList(narrow, valueName);
  } else {
    trace("clean-up: %s has no ANSI name; not recorded", utf8From(path).c_str());
  }
}

// The longest path the wide functions take.
constexpr std::size_t WALK_CAPACITY = 32768;

// Removes a tree with one path buffer: the root in its extended-length form
// ("\\?\C:\..." or "\\?\UNC\server\..."), which a runtime unpacked from an
// archive may need past MAX_PATH, with each level's name appended and cut off
// again on the way back. Each walk has its own buffer: the worker may still
// remove a partial runtime while an exit handler removes the rest.
class TreeWalk {
 public:
  explicit TreeWalk(const std::wstring& root) : path_(new wchar_t[WALK_CAPACITY]) {
    const wchar_t* prefix = L"";
    const wchar_t* rest = root.c_str();
    if (root.size() > 2 && root[0] == L'\\' && root[1] == L'\\' && root[2] != L'?') {
      prefix = L"\\\\?\\UNC\\";
      rest += 2;
      unc_ = true;
    } else if (root.size() > 2 && root[1] == L':' && root[2] == L'\\') {
      prefix = L"\\\\?\\";
    }
    plainStart_ = unc_ ? 6 : std::wcslen(prefix);
    length_ = std::wcslen(prefix) + std::wcslen(rest);
    if (length_ + 1 >= WALK_CAPACITY) {
      length_ = 0;
      return;
    }
    std::wcscpy(path_.get(), prefix);
    std::wcscat(path_.get(), rest);
  }

  void run() {
    if (length_ > 0) walk();
  }

 private:
  void walk() {
    std::size_t level = length_;
    WIN32_FIND_DATAW entry;
    if (!append(L"*")) return;
    UniqueFind find(FindFirstFileW(path_.get(), &entry));
    cut(level);
    if (find.get() == INVALID_HANDLE_VALUE) return;
    do {
      if (std::wcscmp(entry.cFileName, L".") == 0 || std::wcscmp(entry.cFileName, L"..") == 0) continue;
      if (!append(entry.cFileName)) continue;
      bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      // A junction or directory link is removed as a link: following it would
      // delete whatever it points to, outside the tree.
      bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if (directory && !link) {
        walk();
      } else if (directory) {
        if (!RemoveDirectoryW(path_.get())) schedule(DELETE_DIR_VALUE);
      } else if (!DeleteFileW(path_.get())) {
        schedule(DELETE_FILE_VALUE);
      }
      cut(level);
    } while (FindNextFileW(find.get(), &entry));
    find.reset();
    if (!RemoveDirectoryW(path_.get())) schedule(DELETE_DIR_VALUE);
  }

  // path + "\" + name; false (nothing appended) past the capacity.
  bool append(const wchar_t* name) {
    std::size_t n = std::wcslen(name);
    if (length_ + 1 + n + 1 > WALK_CAPACITY) return false;
    // A root given with its trailing backslash keeps it, and is recorded so.
    if (path_[length_ - 1] != L'\\') path_[length_++] = L'\\';
    std::wcscpy(path_.get() + length_, name);
    length_ += n;
    return true;
  }

  void cut(std::size_t length) {
    length_ = length;
    path_[length_] = L'\0';
  }

  // The lists name the path as the user knows it, without the extended prefix.
  void schedule(const char* valueName) {
    if (!unc_) {
      scheduleWide(path_.get() + plainStart_, valueName);
      return;
    }
    // "\\?\UNC\server\..." stands for "\\server\...": the prefix's last
    // backslash becomes the second of the pair.
    wchar_t saved = path_[plainStart_];
    path_[plainStart_] = L'\\';
    scheduleWide(path_.get() + plainStart_, valueName);
    path_[plainStart_] = saved;
  }

  std::unique_ptr<wchar_t[]> path_;
  std::size_t length_ = 0;
  std::size_t plainStart_ = 0;
  bool unc_ = false;
};

}  // namespace

void deleteTree(const AnsiText& path) {
  if (path.empty()) return;
  TreeWalk(wideFrom(path.c_str(), CP_ACP)).run();
}

void appendToDeletionList(const AnsiText& path, const char* valueName) {
  HKEY raw = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, DELETION_LIST_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return;
  }
  UniqueKey key(raw);
  char stored[VALUE_BUFFER_SIZE];
  DWORD size = sizeof stored;
  LONG read = RegQueryValueExA(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size);
  std::string list;
  if (read == ERROR_SUCCESS) {
    list = deletionListText(stored, size);
  } else if (read != ERROR_FILE_NOT_FOUND) {
    // Longer than a reader's buffer, or unreadable: rewriting it would lose
    // what it names.
    trace("deletion list %s unreadable (%ld); %s not recorded", valueName, static_cast<long>(read), path.c_str());
    return;
  }
  if (!appendDeletionEntry(list, path)) {
    trace("deletion list %s full; %s not recorded", valueName, path.c_str());
    return;
  }
  RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                 static_cast<DWORD>(list.size() + 1));
}

void scheduleFileDeletion(const AnsiText& path) { appendToDeletionList(path, DELETE_FILE_VALUE); }

void scheduleDirDeletion(const AnsiText& path) { appendToDeletionList(path, DELETE_DIR_VALUE); }

}  // namespace plimo
