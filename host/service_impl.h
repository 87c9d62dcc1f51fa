// The component's concrete service objects (follows the SDK's
// service_impl.h): a counted object handed to the player, and a static one.
#pragma once

#include <atomic>

// Reference-counted; destroyed by the release that brings the count to zero.
template <typename T>
class service_impl_t final : public T {
 public:
  template <typename... A>
  explicit service_impl_t(A&&... args) : T(static_cast<A&&>(args)...) {}
  int service_release() noexcept override {
    const int count = --refcount_;
    if (count == 0) delete this;
    return count;
  }
  int service_add_ref() noexcept override { return ++refcount_; }

 private:
  ~service_impl_t() = default;
  std::atomic<int> refcount_{0};
};

// A static single instance: counting does nothing and it is never destroyed
// through it.
template <typename T>
class service_impl_single_t final : public T {
 public:
  int service_release() noexcept override { return 1; }
  int service_add_ref() noexcept override { return 1; }
};
