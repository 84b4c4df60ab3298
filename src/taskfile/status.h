// Errors as values: what the file system and the text conversions hand back
// instead of throwing.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace orvanta {

// A failure as the system worded it, in UTF-8 (strerror, FormatMessage).
struct SystemError {
  std::string message;
};

// Success, or the SystemError that stopped an operation.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(SystemError error) : error_(std::move(error.message)), failed_(true) {}

  bool ok() const { return !failed_; }
  const std::string& message() const { return error_; }
  SystemError error() const { return {error_}; }

 private:
  std::string error_;
  bool failed_ = false;
};

// A value, or the SystemError that kept it from being made.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(SystemError error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  T& value() { return std::get<0>(state_); }
  const SystemError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, SystemError> state_;
};

}  // namespace orvanta
