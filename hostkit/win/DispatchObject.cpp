#include "hostkit/win/DispatchObject.h"

#include <cmath>
#include <exception>
#include <limits>

#include "base/RunFailure.h"

namespace corvane::hostcom {
namespace {

std::atomic<long> liveObjects{0};

// A call the object refuses before it reaches the backend, with the HRESULT IDispatch reports.
struct CallRefused {
  HRESULT result;
  UINT argument = 0;
};

RecordedArgument Describe(const VARIANT& argument) {
  RecordedArgument described;
  described.type = V_VT(&argument);
  if (described.type == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&argument) != nullptr) {
    described.heldType = V_VT(V_VARIANTREF(&argument));
  }
  win::Variant value = win::Variant::CopyOf(argument);
  win::Variant number;
  // VariantChangeType takes its source without const; it does not change it.
  VARIANT* source = const_cast<VARIANT*>(&value.Get());
  described.number = SUCCEEDED(VariantChangeType(number.Receive(), source, 0, VT_R8))
                         ? V_R8(&number.Get())
                         : std::numeric_limits<double>::quiet_NaN();
  win::Variant text;
  if (SUCCEEDED(VariantChangeType(text.Receive(), source, 0, VT_BSTR))) {
    const BSTR b = V_BSTR(&text.Get());
    described.text.assign(b ? b : L"", b ? SysStringLen(b) : 0);
  }
  return described;
}

// Called from Invoke's handlers, so it throws nothing: texts that cannot be allocated stay empty.
void FillException(EXCEPINFO* exception, const std::string& source, const std::string& description,
                   HRESULT code) noexcept {
  if (!exception) return;
  *exception = EXCEPINFO{};
  exception->scode = code;
  try {
    exception->bstrSource = win::Bstr::FromUtf8(source).Release();
    exception->bstrDescription = win::Bstr::FromUtf8(description).Release();
  } catch (...) {
  }
}

}  // namespace

long LiveObjectCount() {
  return liveObjects.load();
}

win::Variant Arguments::Converted(std::size_t index, VARTYPE type) const {
  if (index >= values_.size()) throw CallRefused{DISP_E_BADPARAMCOUNT};
  win::Variant value = win::Variant::CopyOf(*values_[index]);
  win::Variant converted;
  const HRESULT result =
      VariantChangeType(converted.Receive(), const_cast<VARIANT*>(&value.Get()), 0, type);
  // IDispatch numbers its arguments from the last one.
  if (FAILED(result)) throw CallRefused{result, static_cast<UINT>(values_.size() - 1 - index)};
  return converted;
}

std::int16_t Arguments::Int16(std::size_t index) const {
  return V_I2(&Converted(index, VT_I2).Get());
}
std::int32_t Arguments::Int32(std::size_t index) const {
  return static_cast<std::int32_t>(V_I4(&Converted(index, VT_I4).Get()));
}
float Arguments::Single(std::size_t index) const {
  return V_R4(&Converted(index, VT_R4).Get());
}
double Arguments::Double(std::size_t index) const {
  return V_R8(&Converted(index, VT_R8).Get());
}
bool Arguments::Bool(std::size_t index) const {
  return V_BOOL(&Converted(index, VT_BOOL).Get()) != VARIANT_FALSE;
}

host::HostNumber Arguments::Number(std::size_t index) const {
  host::HostNumber number;
  VARTYPE type = Type(index);
  number.byReference = (type & VT_BYREF) != 0;
  if (type == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(values_.at(index)) != nullptr) {
    number.inAutomationValue = true;
    type = V_VT(V_VARIANTREF(values_.at(index)));
  }
  switch (type & VT_TYPEMASK) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      number.type = host::HostNumber::Type::Integer;
      break;
    case VT_R4:
      number.type = host::HostNumber::Type::Single;
      break;
    default:
      number.type = host::HostNumber::Type::Double;
      break;
  }
  number.value = Double(index);
  return number;
}

DispatchObject::DispatchObject(std::string objectName, std::vector<Member> members,
                               std::shared_ptr<HostSession> session, const IID* extraIid)
    : objectName_(std::move(objectName)),
      members_(std::move(members)),
      session_(std::move(session)),
      extraIid_(extraIid) {
  ++liveObjects;
}

DispatchObject::~DispatchObject() {
  --liveObjects;
}

void* DispatchObject::OtherInterface(REFIID riid) noexcept {
  return extraIid_ && riid == *extraIid_ ? static_cast<IDispatch*>(this) : nullptr;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                        DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  // Only the member name itself; a host object's members take no named arguments.
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const auto& member : members_) {
    if (member.byName &&
        CompareStringOrdinal(member.name.c_str(), -1, names[0], -1, TRUE) == CSTR_EQUAL) {
      ids[0] = member.dispid;
    }
  }
  if (ids[0] == DISPID_UNKNOWN || count > 1) result = DISP_E_UNKNOWNNAME;
  return result;
}

const Member* DispatchObject::Find(DISPID dispid) const {
  for (const auto& member : members_) {
    if (member.dispid == dispid) return &member;
  }
  return nullptr;
}

HRESULT STDMETHODCALLTYPE DispatchObject::Invoke(DISPID dispid, REFIID, LCID, WORD flags,
                                                 DISPPARAMS* params, VARIANT* result,
                                                 EXCEPINFO* exception, UINT* argumentError) {
  const Member* member = Find(dispid);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;

  try {
    RecordedCall call;
    call.object = objectName_;
    call.member = win::Narrow(member->name);
    call.dispid = dispid;
    call.flags = flags;
    std::vector<const VARIANT*> values;
    for (UINT i = params->cArgs; i > 0; --i) {
      values.push_back(&params->rgvarg[i - 1]);
      call.arguments.push_back(Describe(params->rgvarg[i - 1]));
    }
    session_->Record(call);

    const bool put = call.IsPut();
    if (put) {
      if (!member->put) throw CallRefused{DISP_E_MEMBERNOTFOUND};
      if (params->cArgs != 1 || params->cNamedArgs != 1 ||
          params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
        throw CallRefused{DISP_E_BADPARAMCOUNT};
      }
    } else {
      const WORD accepted = member->kind == Member::Kind::Method
                                ? (DISPATCH_METHOD | DISPATCH_PROPERTYGET)
                                : DISPATCH_PROPERTYGET;
      if ((flags & accepted) == 0 || !member->get) throw CallRefused{DISP_E_MEMBERNOTFOUND};
      if (params->cNamedArgs != 0) throw CallRefused{DISP_E_NONAMEDARGS};
      if (params->cArgs != member->arity) throw CallRefused{DISP_E_BADPARAMCOUNT};
    }

    const Arguments arguments(std::move(values));
    std::optional<win::Variant> reply = session_->OverriddenReply(call);
    if (!reply) {
      if (put) {
        member->put(arguments);
        reply.emplace();
      } else {
        reply = member->get(arguments);
      }
    }
    // An out-parameter VARIANT holds nothing to free, by COM's rules.
    if (result) *result = reply->Release();
    return S_OK;
  } catch (const CallRefused& refused) {
    if (argumentError) *argumentError = refused.argument;
    return refused.result;
  } catch (const RunFailure& failure) {
    const HRESULT code = failure.Code() != 0 ? static_cast<HRESULT>(failure.Code()) : E_FAIL;
    FillException(exception, "MaxIm DL", failure.Description(), code);
    return exception ? DISP_E_EXCEPTION : code;
  } catch (const std::exception& failure) {
    FillException(exception, "MaxIm DL", failure.what(), E_FAIL);
    return exception ? DISP_E_EXCEPTION : E_FAIL;
  } catch (...) {
    FillException(exception, "MaxIm DL", "Unexpected failure", E_UNEXPECTED);
    return exception ? DISP_E_EXCEPTION : E_UNEXPECTED;
  }
}

}  // namespace corvane::hostcom
