#pragma once
#include <new>

namespace plimo {

// An object that is constructed on first use and never destroyed. The
// launcher's process-wide state is read by the worker thread, which may still
// be running while the run-time library's exit runs the static destructors on
// the main thread (the progress dialog was closed mid-launch); state kept here
// is never torn down under it. The process ends soon after anyway.
template <typename T>
class Lasting {
 public:
  Lasting() { new (storage_) T(); }
  Lasting(const Lasting&) = delete;
  Lasting& operator=(const Lasting&) = delete;
  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace plimo
