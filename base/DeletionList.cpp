#include "base/DeletionList.h"

#include "block/Limits.h"

namespace plimo {

AnsiText deletionListText(const char* ansiData, std::size_t reportedLength) {
  std::size_t n = 0;
  while (n < reportedLength && ansiData[n] != '\0') ++n;
  return std::string(ansiData, n);
}

bool appendDeletionEntry(AnsiText& list, std::string_view ansiPath) {
  if (list.size() > MAX_VALUE_LENGTH || ansiPath.size() + 1 > MAX_VALUE_LENGTH - list.size()) return false;
  list.append(ansiPath.data(), ansiPath.size());
  list.push_back(';');
  return true;
}

AnsiText childPath(std::string_view ansiDirectory, std::string_view ansiName) {
  std::string out(ansiDirectory);
  if (out.empty() || out.back() != '\\') out.push_back('\\');
  out.append(ansiName.data(), ansiName.size());
  return out;
}

}  // namespace plimo
