// A run-time failure ends a guiding run at once and is handed back to the host as the failure
// of DoModal. It carries the kind (which the COM shell maps to an HRESULT), a description for the
// host's error dialog, and for host and file failures the original error code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane {

enum class FailureKind {
  Overflow,             // 16-bit overflow, float overflow, invalid floating-point operation
  DivisionByZero,       // a finite value divided by zero
  SubscriptOutOfRange,  // a star slot outside 0..9, an array element that is not there
  TypeMismatch,         // a host value that cannot be taken as a number
  Host,                 // the host raised an error; description and code are the host's
  File,                 // the guide log could not be created or written
  Window,               // a dialog window could not be created or shown; the system's code
};

class RunFailure : public std::runtime_error {
 public:
  RunFailure(FailureKind kind, const std::string& description, std::int32_t code = 0)
      : std::runtime_error(description), kind_(kind), code_(code) {}

  FailureKind Kind() const noexcept { return kind_; }
  // For Host and File failures the HRESULT the platform reported; 0 for the arithmetic kinds.
  std::int32_t Code() const noexcept { return code_; }
  std::string Description() const { return what(); }

 private:
  FailureKind kind_;
  std::int32_t code_;
};

[[noreturn]] inline void RaiseOverflow() {
  throw RunFailure(FailureKind::Overflow, "Overflow");
}
[[noreturn]] inline void RaiseDivisionByZero() {
  throw RunFailure(FailureKind::DivisionByZero, "Division by zero");
}
[[noreturn]] inline void RaiseSubscriptOutOfRange() {
  throw RunFailure(FailureKind::SubscriptOutOfRange, "Subscript out of range");
}
[[noreturn]] inline void RaiseTypeMismatch() {
  throw RunFailure(FailureKind::TypeMismatch, "Type mismatch");
}

}  // namespace corvane
