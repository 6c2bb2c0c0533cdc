// What an operation below the commands answers: success, or the failure with the exact French
// text the user must read and, apart from it, what the system said. The libraries never show
// anything themselves; the commands (the window's, the batch tool's) decide what to show and how.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace ixoral {

struct TError {
  TError() = default;
  explicit TError(std::string message, std::string reason = {})
      : Message(std::move(message)), Reason(std::move(reason)) {}

  // The program's French message, to the letter. Empty for a refusal with nothing to tell (a
  // step the user declined, a device that would not start where the program never said a word).
  std::string Message;
  // Why, where it is known: the system's refusal (ReasonOf: "Permission non accordée", "Aucun
  // espace disponible sur le périphérique") or the program's own account of what it found (which
  // entry of a damaged document and how). Shown on a line of its own under the message.
  std::string Reason;
};

// Why the system refused, in the user's language for the failures a user can mend (rights, a full
// disk, a name that is not there, a folder in the way); the system's own words for the others.
// Empty for no error.
std::string ReasonOf(const std::error_code& code);

// Success or failure, plus the notes a finished operation wants shown (a missing font, solids
// left out), in the order they arose. A failure keeps the notes that came before it.
class [[nodiscard]] TResult {
 public:
  TResult() = default;
  TResult(TError error) : FError(std::move(error)) {}
  static TResult Failure(std::string message, std::string reason = {}) {
    return TError{std::move(message), std::move(reason)};
  }

  bool Ok() const { return !FError; }
  explicit operator bool() const { return Ok(); }
  const TError& Error() const {
    assert(FError);
    return *FError;
  }
  // The failure's message, empty on success (or for a failure with nothing to tell).
  std::string Message() const { return FError ? FError->Message : std::string(); }

  const std::vector<std::string>& Notices() const { return FNotices; }
  void AddNotice(std::string text) { FNotices.push_back(std::move(text)); }

 private:
  std::optional<TError> FError;
  std::vector<std::string> FNotices;
};

// A value, or the failure that kept the operation from giving one.
template <class T>
class [[nodiscard]] TExpected {
 public:
  TExpected(T value) : FValue(std::move(value)) {}
  TExpected(TError error) : FError(std::move(error)) {}

  bool Ok() const { return FValue.has_value(); }
  explicit operator bool() const { return Ok(); }
  const T& Value() const& {
    assert(FValue);
    return *FValue;
  }
  T& Value() & {
    assert(FValue);
    return *FValue;
  }
  T ValueOr(T fallback) const { return FValue ? *FValue : std::move(fallback); }
  const T& operator*() const& { return Value(); }
  const T* operator->() const { return &Value(); }
  const TError& Error() const {
    assert(!FValue);
    return FError;
  }

 private:
  std::optional<T> FValue;
  TError FError;
};

}  // namespace ixoral
