// Late-bound calls on a host object through IDispatch. A failed call raises
// RunFailure(FailureKind::Host) carrying the host's HRESULT and description: ThrowHostFailure is
// the one place where that happens.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

#include "win/AutomationValues.h"
#include "win/Failures.h"

namespace corvane::win {

// The error the host reported for a failed call, as a RunFailure(FailureKind::Host): the HRESULT
// is the EXCEPINFO's scode when the host raised one (DISP_E_EXCEPTION), else the call's own; the
// description is the host's when it gave one, else the system's text for that HRESULT naming the
// member.
[[noreturn]] void ThrowHostFailure(HRESULT hr, const EXCEPINFO* info, std::wstring_view member);

// A member of a host object: called by name (its DISPID looked up once and cached) or, when it
// has a fixed dispatch identifier, by that identifier (the name then only labels errors).
struct Member {
  const wchar_t* name;
  DISPID id = DISPID_UNKNOWN;
};

class DispatchObject {
 public:
  explicit DispatchObject(Microsoft::WRL::ComPtr<IDispatch> object);

  // A property read (DISPATCH_PROPERTYGET, no arguments).
  Variant Get(const Member& member);
  // A property write (DISPATCH_PROPERTYPUT with the named argument DISPID_PROPERTYPUT).
  void Put(const Member& member, const Variant& value);
  // A method call; the arguments in their natural order (the first one first).
  Variant Call(const Member& member, WORD flags, std::initializer_list<const Variant*> arguments);

  IDispatch* Get() const noexcept { return object_.Get(); }

 private:
  DISPID IdOf(const Member& member);
  Variant Invoke(const Member& member, WORD flags, DISPPARAMS& parameters);

  Microsoft::WRL::ComPtr<IDispatch> object_;
  std::map<std::wstring, DISPID, std::less<>> ids_;
};

}  // namespace corvane::win
