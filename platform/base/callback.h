#ifndef BASE_CALLBACK_H_
#define BASE_CALLBACK_H_

#include <stdlib.h>

#include <memory>
#include <type_traits>
#include <utility>

// Callbacks and closures.
//
// Callback<R(Args...)> is copyable; copies share one bound state, so a
// callback may carry move-only payloads (see base::Passed in bind.h).
// OnceCallback<R(Args...)> is move-only and gives up its state when run.
// Both are built from base::Bind(...) or directly from any callable (a
// lambda, a function pointer); a Callback converts to a OnceCallback.

namespace base {

namespace internal {

template <typename R, typename... Args>
class CallbackStateBase {
 public:
  virtual ~CallbackStateBase() = default;
  virtual R Run(Args... args) = 0;
};

template <typename F, typename R, typename... Args>
class CallbackState final : public CallbackStateBase<R, Args...> {
 public:
  explicit CallbackState(F f) : f_(std::move(f)) {}
  R Run(Args... args) override {
    if constexpr (std::is_void_v<R>)
      f_(std::forward<Args>(args)...);
    else
      return f_(std::forward<Args>(args)...);
  }

 private:
  F f_;
};

[[noreturn]] void RunNullCallback();

}  // namespace internal

template <typename Sig>
class Callback;
template <typename Sig>
class OnceCallback;

template <typename R, typename... Args>
class Callback<R(Args...)> {
 public:
  using RunType = R(Args...);

  Callback() = default;
  Callback(std::nullptr_t) {}
  template <typename F>
  requires(!std::is_same_v<std::decay_t<F>, Callback> &&
           !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
           std::is_invocable_r_v<R, std::decay_t<F>&, Args...>) Callback(F&& f)
      : state_(std::make_shared<internal::CallbackState<std::decay_t<F>, R, Args...>>(
            std::forward<F>(f))) {}

  R Run(Args... args) const {
    if (!state_)
      internal::RunNullCallback();
    return state_->Run(std::forward<Args>(args)...);
  }
  R operator()(Args... args) const { return Run(std::forward<Args>(args)...); }

  bool is_null() const { return !state_; }
  explicit operator bool() const { return static_cast<bool>(state_); }
  void Reset() { state_.reset(); }
  // True when both are copies of the same bound callback (or both null).
  bool Equals(const Callback& other) const { return state_ == other.state_; }

 private:
  std::shared_ptr<internal::CallbackStateBase<R, Args...>> state_;
};

template <typename R, typename... Args>
class OnceCallback<R(Args...)> {
 public:
  using RunType = R(Args...);

  OnceCallback() = default;
  OnceCallback(std::nullptr_t) {}
  OnceCallback(const Callback<R(Args...)>& cb) {
    if (!cb.is_null())
      state_ = std::make_unique<internal::CallbackState<Callback<R(Args...)>, R, Args...>>(cb);
  }
  template <typename F>
  requires(!std::is_same_v<std::decay_t<F>, OnceCallback> &&
           !std::is_same_v<std::decay_t<F>, Callback<R(Args...)>> &&
           !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
           std::is_invocable_r_v<R, std::decay_t<F>&, Args...>) OnceCallback(F&& f)
      : state_(std::make_unique<internal::CallbackState<std::decay_t<F>, R, Args...>>(
            std::forward<F>(f))) {}
  OnceCallback(OnceCallback&&) noexcept = default;
  OnceCallback& operator=(OnceCallback&&) noexcept = default;
  OnceCallback(const OnceCallback&) = delete;
  OnceCallback& operator=(const OnceCallback&) = delete;

  // Runs and releases the bound state (bound arguments are destroyed right
  // after the call).
  R Run(Args... args) {
    if (!state_)
      internal::RunNullCallback();
    std::unique_ptr<internal::CallbackStateBase<R, Args...>> state = std::move(state_);
    return state->Run(std::forward<Args>(args)...);
  }

  bool is_null() const { return !state_; }
  explicit operator bool() const { return static_cast<bool>(state_); }
  void Reset() { state_.reset(); }

 private:
  std::unique_ptr<internal::CallbackStateBase<R, Args...>> state_;
};

using Closure = Callback<void()>;
using OnceClosure = OnceCallback<void()>;

// A closure that does nothing.
Closure DoNothing();

}  // namespace base

#endif  // BASE_CALLBACK_H_
