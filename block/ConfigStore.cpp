#include "block/ConfigStore.h"

#include <climits>
#include <cstring>

#include "block/Lasting.h"
#include "block/Limits.h"

namespace plimo {

ConfigStore& configStore() {
  // Never destroyed: see Lasting.
  static Lasting<ConfigStore> store;
  return store.get();
}

void deriveConfigFlags(ConfigStore& store) {
  auto type = store.narrow.find(cfg::APPLICATION_TYPE);
  int applicationType = type == store.narrow.end() ? 0 : parseAtoi(type->second.c_str());
  store.messageBoxMode = applicationType == 1 || applicationType == 5;
  auto kind = store.narrow.find(cfg::LAUNCHER_KIND);
  store.launcherKind = kind == store.narrow.end() || kind->second.empty() ? '\0' : kind->second[0];
}

void getConfigString(std::int32_t id, char* pageBuffer, std::size_t capacity) {
  if (capacity == 0) return;
  pageBuffer[0] = '\0';
  const auto& narrow = configStore().narrow;
  auto it = narrow.find(id);
  if (it == narrow.end()) return;
  std::size_t n = it->second.size() < capacity - 1 ? it->second.size() : capacity - 1;
  std::memcpy(pageBuffer, it->second.data(), n);
  pageBuffer[n] = '\0';
}

PageText getConfigString(std::int32_t id) {
  const auto& narrow = configStore().narrow;
  auto it = narrow.find(id);
  if (it == narrow.end()) return std::string();
  // Stop at an embedded NUL as a C buffer would, and at the value limit.
  std::size_t n = std::strlen(it->second.c_str());
  if (n > MAX_VALUE_LENGTH) n = MAX_VALUE_LENGTH;
  return it->second.substr(0, n);
}

int getConfigInt(std::int32_t id) {
  const auto& narrow = configStore().narrow;
  auto it = narrow.find(id);
  return it == narrow.end() ? 0 : parseAtoi(it->second.c_str());
}

void getConfigWString(std::int32_t id, char16_t* buffer, std::size_t capacity) {
  if (capacity == 0) return;
  buffer[0] = u'\0';
  const auto& wide = configStore().wide;
  auto it = wide.find(id);
  if (it == wide.end()) return;
  std::size_t n = it->second.size() < capacity - 1 ? it->second.size() : capacity - 1;
  std::memcpy(buffer, it->second.data(), n * sizeof(char16_t));
  buffer[n] = u'\0';
}

std::u16string getConfigWString(std::int32_t id) {
  const auto& wide = configStore().wide;
  auto it = wide.find(id);
  if (it == wide.end()) return std::u16string();
  std::size_t n = it->second.find(u'\0');
  if (n == std::u16string::npos) n = it->second.size();
  if (n > MAX_VALUE_LENGTH) n = MAX_VALUE_LENGTH;
  return it->second.substr(0, n);
}

char launcherKind() { return configStore().launcherKind; }
bool messageBoxMode() { return configStore().messageBoxMode; }

int parseAtoi(const char* pageText) {
  const char* p = pageText;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + (*p++ - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

}  // namespace plimo
