// Errors as values: what the file system and the rewrite hand back instead
// of throwing. A failure has a kind a caller can compare; the system's own
// words travel beside it. The words the user reads are the controller's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orvanta {

enum class ErrorKind {
  kOther,  // only the system's words say what happened

  // Failures the system reports, told apart for callers; shown in its words.
  kNotFound,
  kAccessDenied,
  kReadOnly,
  kNoSpace,
  kNameTooLong,

  // What the program itself found.
  kFolder,
  kNotRegularFile,
  kEndOfFile,
  kInUse,           // another program writes the file, or another rewrite holds it
  kWritersUnknown,  // whether another program writes the file cannot be known
  kOwnedByOtherInStickyFolder,
  kOwnerWouldLoseAccess,
  kGroupWouldLoseAccess,
  kAccessListNotKept,
  kAttributeNotKept,  // `subject` names the attribute
  kChangedSinceLoaded,
  kAddressTooLong,
};

struct SystemError {
  SystemError(ErrorKind kind = ErrorKind::kOther, std::string system_text = {},
              std::int64_t code = 0)
      : kind(kind), system_text(std::move(system_text)), code(code) {}

  ErrorKind kind;
  std::string system_text;  // UTF-8, the system's words (strerror, FormatMessage); may be empty
  std::int64_t code;        // errno or GetLastError(); 0 where the program found the failure
  std::string subject;      // UTF-8: the attribute or folder the failure concerns, if any
};

// Success, or the SystemError that stopped an operation.
class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(SystemError error) : error_(std::move(error)) {}

  bool ok() const { return !error_; }
  const SystemError& error() const { return *error_; }

 private:
  std::optional<SystemError> error_;
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
