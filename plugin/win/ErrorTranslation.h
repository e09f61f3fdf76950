// The one place where an exception becomes an HRESULT with an IErrorInfo. Every _PlugIn method
// and every module export runs its body in CallAtComBoundary, so no exception crosses the COM
// boundary.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>
#include <type_traits>

#include "base/RunFailure.h"

namespace corvane::win {

// A failure of the shell itself (registration, the type library): an HRESULT and a description.
class ComFailure : public std::runtime_error {
 public:
  ComFailure(HRESULT hr, const std::string& description)
      : std::runtime_error(description), hr_(hr) {}
  HRESULT Code() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

// Raises a ComFailure when hr is a failure; `what` says what was being done.
void ThrowIfFailed(HRESULT hr, const char* what);

// The HRESULT a run-time failure is returned as: the arithmetic kinds map to the matching
// DISP_E_ codes, a host or file failure keeps its own code (E_FAIL when it has none).
HRESULT HResultOf(const RunFailure& failure) noexcept;

// Call only inside a catch block: sets the thread's error info (description, source "Corvane",
// the interface) for the exception being handled and returns its HRESULT.
HRESULT ReportException(REFIID interfaceId) noexcept;

// The COM edge of a call: runs `body` (returning an HRESULT, or nothing for S_OK) and returns
// whatever it throws as an HRESULT with the thread's error info set for `interfaceId`.
template <typename Body>
HRESULT CallAtComBoundary(REFIID interfaceId, Body&& body) noexcept {
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (...) {
    return ReportException(interfaceId);
  }
}

}  // namespace corvane::win
