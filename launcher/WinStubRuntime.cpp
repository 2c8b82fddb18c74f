// Replacements for pieces of the C++ runtime that the stub never needs (the
// stub only). It is built without exceptions, so the library's throw helpers
// cannot be caught anyway: they end the process at once. The default
// terminate handler would drag a symbol demangler (some 45 KB) into every
// installer; a plain abort does as well here.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
}  // namespace std
