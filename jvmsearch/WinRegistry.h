#pragma once
#include <windows.h>

#include "jvmsearch/JvmSearch.h"

namespace plimo {

// The registry hive a search root names.
inline HKEY rootKey(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

}  // namespace plimo
