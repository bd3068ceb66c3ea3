#ifndef BASE_BIND_H_
#define BASE_BIND_H_

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "base/callback.h"
#include "base/weak_ptr.h"

// base::Bind(functor, bound_args...) makes a Callback whose signature is the
// functor's parameters that are left unbound.
//
//   base::Bind(&CLoginWnd::onLoginDone, weak_factory_.GetWeakPtr(), code)
//   base::Bind(&Worker::Run, base::Unretained(worker))
//   base::Bind(&Consume, base::Passed(std::move(payload)))
//
// The functor may be a function pointer, a member function pointer (the
// first bound argument is then the receiver: a raw pointer, a WeakPtr, a
// shared_ptr or a Unretained/Owned wrapper), a Callback, or a lambda.
// A method bound to a WeakPtr does nothing once the object is gone; such
// methods must return void.
// Bound arguments are stored by value. base::Passed moves its value into the
// call, so a callback carrying one may run only once. base::Owned deletes the
// pointer when the callback is destroyed.

namespace base {

namespace internal {

template <typename T>
struct UnretainedWrapper {
  T* ptr;
};

template <typename T>
class OwnedWrapper {
 public:
  explicit OwnedWrapper(T* p) : ptr_(p) {}
  T* get() const { return ptr_.get(); }

 private:
  std::shared_ptr<T> ptr_;
};

template <typename T>
class PassedWrapper {
 public:
  explicit PassedWrapper(T&& value) : value_(std::move(value)) {}
  T Take() {
    if (!valid_)
      RunNullCallback();
    valid_ = false;
    return std::move(value_);
  }

 private:
  T value_;
  bool valid_ = true;
};

template <typename T>
struct IsWeakPtr : std::false_type {};
template <typename T>
struct IsWeakPtr<WeakPtr<T>> : std::true_type {};

// How a stored bound argument is handed to the functor.
template <typename S>
decltype(auto) Unwrap(S& stored) {
  return (stored);
}
template <typename T>
T* Unwrap(UnretainedWrapper<T>& stored) {
  return stored.ptr;
}
template <typename T>
T* Unwrap(OwnedWrapper<T>& stored) {
  return stored.get();
}
template <typename T>
T Unwrap(PassedWrapper<T>& stored) {
  return stored.Take();
}
template <typename T>
T* Unwrap(WeakPtr<T>& stored) {
  return stored.get();
}

template <typename... Ts>
struct TypeList {};

template <size_t N, typename List>
struct DropTypes;
template <typename List>
struct DropTypes<0, List> {
  using Type = List;
};
template <size_t N, typename T, typename... Ts>
requires(N > 0) struct DropTypes<N, TypeList<T, Ts...>> {
  using Type = typename DropTypes<N - 1, TypeList<Ts...>>::Type;
};

template <typename F, typename = void>
struct FunctorTraits;

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...)> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
  static constexpr bool kIsMethod = false;
};
template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...)> {
  using ReturnType = R;
  using Params = TypeList<C*, Args...>;
  static constexpr bool kIsMethod = true;
};
template <typename R, typename C, typename... Args>
struct FunctorTraits<R (C::*)(Args...) const> {
  using ReturnType = R;
  using Params = TypeList<const C*, Args...>;
  static constexpr bool kIsMethod = true;
};
template <typename R, typename... Args>
struct FunctorTraits<Callback<R(Args...)>> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
  static constexpr bool kIsMethod = false;
};
template <typename Sig>
struct LambdaTraits;
template <typename R, typename L, typename... Args>
struct LambdaTraits<R (L::*)(Args...) const> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
};
template <typename R, typename L, typename... Args>
struct LambdaTraits<R (L::*)(Args...)> {
  using ReturnType = R;
  using Params = TypeList<Args...>;
};
template <typename F>
struct FunctorTraits<F, std::void_t<decltype(&F::operator())>> {
  using ReturnType = typename LambdaTraits<decltype(&F::operator())>::ReturnType;
  using Params = typename LambdaTraits<decltype(&F::operator())>::Params;
  static constexpr bool kIsMethod = false;
};

template <typename F, typename... A>
decltype(auto) InvokeFunctor(F& f, A&&... args) {
  if constexpr (std::is_member_function_pointer_v<F> || std::is_pointer_v<F>) {
    return std::invoke(f, std::forward<A>(args)...);
  } else if constexpr (requires { f.Run(std::forward<A>(args)...); }) {
    return f.Run(std::forward<A>(args)...);
  } else {
    return f(std::forward<A>(args)...);
  }
}

template <typename F, typename R, typename Unbound, typename... Bound>
class BindState;

template <typename F, typename R, typename... Unbound, typename... Bound>
class BindState<F, R, TypeList<Unbound...>, Bound...> {
 public:
  template <typename FF, typename... BB>
  explicit BindState(FF&& f, BB&&... bound)
      : f_(std::forward<FF>(f)), bound_(std::forward<BB>(bound)...) {}

  R operator()(Unbound... unbound) {
    return Call(std::index_sequence_for<Bound...>(), std::forward<Unbound>(unbound)...);
  }

 private:
  template <size_t... I>
  R Call(std::index_sequence<I...>, Unbound&&... unbound) {
    if constexpr (FunctorTraits<F>::kIsMethod && sizeof...(Bound) > 0) {
      using Receiver = std::tuple_element_t<0, std::tuple<Bound...>>;
      if constexpr (IsWeakPtr<Receiver>::value) {
        static_assert(std::is_void_v<R>, "methods bound to a WeakPtr must return void");
        if (!std::get<0>(bound_))
          return;
      }
    }
    return InvokeFunctor(f_, Unwrap(std::get<I>(bound_))..., std::forward<Unbound>(unbound)...);
  }

  F f_;
  std::tuple<Bound...> bound_;
};

}  // namespace internal

template <typename T>
internal::UnretainedWrapper<T> Unretained(T* ptr) {
  return internal::UnretainedWrapper<T>{ptr};
}

template <typename T>
internal::OwnedWrapper<T> Owned(T* ptr) {
  return internal::OwnedWrapper<T>(ptr);
}

template <typename T>
requires(!std::is_lvalue_reference_v<T>) internal::PassedWrapper<std::decay_t<T>> Passed(
    T&& value) {
  return internal::PassedWrapper<std::decay_t<T>>(std::move(value));
}
// The classic form: base::Passed(&scoper) moves out of *scoper.
template <typename T>
internal::PassedWrapper<T> Passed(T* scoper) {
  return internal::PassedWrapper<T>(std::move(*scoper));
}

template <typename Functor, typename... Args>
auto Bind(Functor&& functor, Args&&... args) {
  using F = std::decay_t<Functor>;
  using Traits = internal::FunctorTraits<F>;
  using R = typename Traits::ReturnType;
  using Unbound = typename internal::DropTypes<sizeof...(Args), typename Traits::Params>::Type;
  using State = internal::BindState<F, R, Unbound, std::decay_t<Args>...>;
  return [&]<typename... U>(internal::TypeList<U...>) {
    return Callback<R(U...)>(State(std::forward<Functor>(functor), std::forward<Args>(args)...));
  }(Unbound());
}

}  // namespace base

#endif  // BASE_BIND_H_
