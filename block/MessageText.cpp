#include "block/MessageText.h"

#include "block/Limits.h"

namespace plimo {

PageText expandPlaceholder(std::string_view pageText, const char* placeholder, const char* value) {
  std::string out(pageText);
  if (placeholder != nullptr && *placeholder != '\0') {
    std::size_t at = out.find(placeholder);
    if (at != std::string::npos) {
      out.replace(at, std::char_traits<char>::length(placeholder), value ? value : "");
    }
  }
  if (out.size() > MAX_VALUE_LENGTH) out.resize(MAX_VALUE_LENGTH);
  return out;
}

}  // namespace plimo
