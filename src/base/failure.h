#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orvik {

// Why an operation did not do its work. `Message` is what the operator is
// shown, word for word; `Detail` is what exactly went wrong (which file, what
// the system said), for a second line or the diagnostic log. Detail may be
// empty when the message says everything.
struct Failure {
    std::string Message;
    std::string Detail;
};

// The outcome of an operation that yields a T: the value or the failure.
// Operations report failure through it; exceptions stay inside an operation
// (the archive unwinding out of a truncated stream) and are caught before it
// returns.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // The value; asking a failed result for it throws std::bad_variant_access.
    T& Value() & { return std::get<0>(state_); }
    const T& Value() const& { return std::get<0>(state_); }
    T&& Value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }

    // The failure; asking a successful result for it throws std::bad_variant_access.
    const Failure& Error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Failure> state_;
};

// The outcome of an operation that yields nothing but success or a failure.
template <>
class [[nodiscard]] Result<void> {
  public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool Ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return Ok(); }

    // The failure; asking a successful result for it throws std::bad_optional_access.
    const Failure& Error() const { return failure_.value(); }

  private:
    std::optional<Failure> failure_;
};

using Status = Result<void>;

}  // namespace orvik
