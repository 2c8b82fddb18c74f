#include "base/DeletionList.h"

#include "block/Limits.h"

namespace plimo {

std::string deletionListText(const char* data, std::size_t reportedLength) {
  std::size_t n = 0;
  while (n < reportedLength && data[n] != '\0') ++n;
  return std::string(data, n);
}

bool appendDeletionEntry(std::string& list, std::string_view path) {
  if (list.size() > MAX_VALUE_LENGTH || path.size() + 1 > MAX_VALUE_LENGTH - list.size()) return false;
  list.append(path.data(), path.size());
  list.push_back(';');
  return true;
}

std::string childPath(std::string_view directory, std::string_view name) {
  std::string out(directory);
  if (out.empty() || out.back() != '\\') out.push_back('\\');
  out.append(name.data(), name.size());
  return out;
}

}  // namespace plimo
