#include "host/win/Dispatch.h"

#include <cstdio>
#include <vector>

#include "base/RunFailure.h"

namespace corvane::win {

void ThrowHostFailure(HRESULT hr, const EXCEPINFO* info, std::wstring_view member) {
  HRESULT code = hr;
  std::string description;
  if (hr == DISP_E_EXCEPTION && info != nullptr) {
    if (FAILED(info->scode)) {
      code = info->scode;
    } else if (info->wCode != 0) {
      code = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info->wCode);
    }
    if (info->bstrDescription != nullptr && SysStringLen(info->bstrDescription) > 0) {
      description = Narrow({info->bstrDescription, SysStringLen(info->bstrDescription)});
    }
  }
  if (description.empty()) {
    description = SystemText(code);
    if (description.empty()) {
      char number[32];
      std::snprintf(number, sizeof number, "Automation error 0x%08lX",
                    static_cast<unsigned long>(code));
      description = number;
    }
    description += " (" + Narrow(member) + ")";
  }
  throw RunFailure(FailureKind::Host, description, static_cast<std::int32_t>(code));
}

DispatchObject::DispatchObject(Microsoft::WRL::ComPtr<IDispatch> object)
    : object_(std::move(object)) {}

DISPID DispatchObject::IdOf(const Member& member) {
  if (member.id != DISPID_UNKNOWN) return member.id;
  if (auto found = ids_.find(std::wstring_view(member.name)); found != ids_.end()) {
    return found->second;
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) ThrowHostFailure(hr, nullptr, member.name);
  ids_.emplace(member.name, id);
  return id;
}

Variant DispatchObject::Invoke(const Member& member, WORD flags, DISPPARAMS& parameters) {
  const DISPID id = IdOf(member);
  Variant result;
  ExcepInfo exception;
  UINT argumentError = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                     result.Receive(), exception.Receive(), &argumentError);
  if (FAILED(hr)) ThrowHostFailure(hr, &exception.Filled(), member.name);
  return result;
}

Variant DispatchObject::Get(const Member& member) {
  DISPPARAMS parameters{nullptr, nullptr, 0, 0};
  return Invoke(member, DISPATCH_PROPERTYGET, parameters);
}

void DispatchObject::Put(const Member& member, const Variant& value) {
  // Invoke does not change its arguments; DISPPARAMS just lacks const.
  VARIANT argument = value.Get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{&argument, &named, 1, 1};
  Invoke(member, DISPATCH_PROPERTYPUT, parameters);
}

Variant DispatchObject::Call(const Member& member, WORD flags,
                             std::initializer_list<const Variant*> arguments) {
  // DISPPARAMS holds the arguments last first. The copies are shallow: the callers keep owning
  // the values (and the variables that by-reference arguments point at).
  std::vector<VARIANT> reversed;
  reversed.reserve(arguments.size());
  for (auto it = arguments.end(); it != arguments.begin();) reversed.push_back((*--it)->Get());
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return Invoke(member, flags, parameters);
}

}  // namespace corvane::win
