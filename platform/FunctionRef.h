#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace platform {

template <typename Signature>
class FunctionRef;

// A non-owning reference to any callable: one pointer to the callable and one to a trampoline,
// so passing it costs no allocation. The callable must outlive every call through the reference;
// a reference made from a temporary is valid only during the full expression that made it.
template <typename Result, typename... Arguments>
class FunctionRef<Result(Arguments...)> {
public:
  template <typename Callable>
    requires(!std::is_same_v<std::remove_cvref_t<Callable>, FunctionRef> &&
             std::is_invocable_r_v<Result, Callable&, Arguments...>)
  FunctionRef(Callable&& callable) noexcept  // NOLINT: converts implicitly, like a lambda would
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* object, Arguments... arguments) -> Result {
          return (*static_cast<std::remove_reference_t<Callable>*>(object))(
              std::forward<Arguments>(arguments)...);
        }) {}

  Result operator()(Arguments... arguments) const {
    return call_(object_, std::forward<Arguments>(arguments)...);
  }

private:
  void* object_;
  Result (*call_)(void*, Arguments...);
};

}  // namespace platform
