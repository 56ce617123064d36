// Undoes a half-made change when an exception leaves the scope, and only then:
//
//   const OnFailure forget([&] { items.pop_back(); });
//
// The undo runs during unwinding, so it must not throw.
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace quillmere {

template <class Undo>
class OnFailure {
 public:
  static_assert(std::is_nothrow_invocable_v<Undo&>, "an undo runs while unwinding");

  explicit OnFailure(Undo undo) noexcept(std::is_nothrow_move_constructible_v<Undo>)
      : undo_(std::move(undo)), exceptionsAtStart_(std::uncaught_exceptions()) {}
  ~OnFailure() {
    if (std::uncaught_exceptions() > exceptionsAtStart_) undo_();
  }
  OnFailure(const OnFailure&) = delete;
  OnFailure& operator=(const OnFailure&) = delete;

 private:
  Undo undo_;
  // Unwinding already under way when the guard was made (a destructor's own work) is not
  // a failure of this scope.
  const int exceptionsAtStart_;
};

}  // namespace quillmere
