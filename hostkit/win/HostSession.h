// What the host's automation objects share in one program: the log of every call made on them,
// the raw replies a test puts in place of the backend's, and the count of live objects.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "win/AutomationValues.h"

namespace corvane::hostcom {

// One argument as it arrived: its VARTYPE (VT_BYREF included) and its value taken through the
// reference. number is NaN when the value is not a number.
struct RecordedArgument {
  VARTYPE type = VT_EMPTY;
  VARTYPE heldType = VT_EMPTY;  // for a reference to a VARIANT (VT_BYREF | VT_VARIANT): its type
  double number = 0.0;
  std::wstring text;
};

// One IDispatch::Invoke on a host object, arguments in call order (the first argument first; a
// property put's value is the last).
struct RecordedCall {
  std::string object;  // "Application", "Camera", "Documents", "Document"
  std::string member;  // the member's host name, e.g. "GuiderExpose", "PointInformation"
  DISPID dispid = DISPID_UNKNOWN;
  WORD flags = 0;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT ...
  std::vector<RecordedArgument> arguments;

  bool IsPut() const { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
};

class HostSession {
 public:
  // Called before the backend for every call; a value returned is the call's reply and the
  // backend is not called. It may throw corvane::RunFailure to make the call fail.
  using Override = std::function<std::optional<win::Variant>(const RecordedCall&)>;

  void Record(const RecordedCall& call);
  std::vector<RecordedCall> Calls() const;
  // The calls of one member, in order.
  std::vector<RecordedCall> CallsOf(const std::string& member) const;
  void ClearCalls();

  void SetOverride(Override reply);
  std::optional<win::Variant> OverriddenReply(const RecordedCall& call) const;

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
  Override override_;
};

// Host objects created and not yet released, in the whole program.
long LiveObjectCount();

}  // namespace corvane::hostcom
