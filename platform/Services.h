// The one seam through which every layer reaches the platform. Production code
// asks Get<Interface>() and never learns which implementation answers; tests
// put an in-memory fake in place with a ScopedOverride for as long as they need.
#pragma once

namespace pw {

template <class Interface>
Interface& DefaultService();  // defined once per interface by the platform build

namespace detail {
template <class Interface>
inline Interface*& OverrideSlot() {
  static Interface* slot = nullptr;
  return slot;
}
}  // namespace detail

template <class Interface>
Interface& Get() {
  Interface* override = detail::OverrideSlot<Interface>();
  return override ? *override : DefaultService<Interface>();
}

template <class Interface>
class ScopedOverride {
 public:
  explicit ScopedOverride(Interface& replacement) : previous_(detail::OverrideSlot<Interface>()) {
    detail::OverrideSlot<Interface>() = &replacement;
  }
  ~ScopedOverride() { detail::OverrideSlot<Interface>() = previous_; }
  ScopedOverride(const ScopedOverride&) = delete;
  ScopedOverride& operator=(const ScopedOverride&) = delete;

 private:
  Interface* previous_;
};

}  // namespace pw
