#include "host/win/VariantConversion.h"

#include "base/RunFailure.h"
#include "win/AutomationValues.h"

namespace corvane::win {

namespace {

[[noreturn]] void ThrowTypeMismatch(std::wstring_view member, std::string_view expected) {
  throw RunFailure(FailureKind::TypeMismatch,
                   "Type mismatch: " + Narrow(member) + " did not return " + std::string(expected));
}

// VariantChangeType reads its source without changing it; its signature just lacks const.
HRESULT ChangeType(Variant& converted, const VARIANT& value, VARTYPE type) {
  return VariantChangeType(converted.Receive(), const_cast<VARIANT*>(&value), 0, type);
}

// The value with references followed, the way VariantChangeType sees it.
VARTYPE BaseType(const VARIANT& value) {
  return static_cast<VARTYPE>(V_VT(&value) & ~VT_BYREF);
}

}  // namespace

std::optional<double> NumberOrNothing(const VARIANT& value) {
  Variant converted;
  if (FAILED(ChangeType(converted, value, VT_R8))) return std::nullopt;
  return V_R8(&converted.Get());
}

double ToDouble(const VARIANT& value, std::wstring_view member) {
  const auto number = NumberOrNothing(value);
  if (!number) ThrowTypeMismatch(member, "a number");
  return *number;
}

bool ToBool(const VARIANT& value, std::wstring_view member) {
  Variant converted;
  if (FAILED(ChangeType(converted, value, VT_BOOL))) {
    ThrowTypeMismatch(member, "true or false");
  }
  return V_BOOL(&converted.Get()) != VARIANT_FALSE;
}

bool ToBoolOrFalse(const VARIANT& value, std::wstring_view member) {
  const VARTYPE type = BaseType(value);
  if (type == VT_EMPTY || type == VT_NULL) return false;
  return ToBool(value, member);
}

std::string ToText(const VARIANT& value, std::wstring_view member) {
  Variant converted;
  if (FAILED(ChangeType(converted, value, VT_BSTR))) {
    ThrowTypeMismatch(member, "a text");
  }
  const BSTR text = V_BSTR(&converted.Get());
  return Narrow({text ? text : L"", SysStringLen(text)});
}

Microsoft::WRL::ComPtr<IDispatch> ToObject(const VARIANT& value, std::wstring_view member) {
  Variant converted;
  if (FAILED(ChangeType(converted, value, VT_DISPATCH)) ||
      V_DISPATCH(&converted.Get()) == nullptr) {
    ThrowTypeMismatch(member, "an object");
  }
  return Microsoft::WRL::ComPtr<IDispatch>(V_DISPATCH(&converted.Get()));
}

namespace {

// One element of the array, read into a VARIANT of the array's element type.
std::optional<double> ElementAt(SAFEARRAY* array, VARTYPE type, LONG index) {
  Variant element;
  VARIANT* slot = element.Receive();
  HRESULT hr;
  if (type == VT_VARIANT) {
    hr = SafeArrayGetElement(array, &index, slot);
  } else if (type == VT_DECIMAL) {
    // A DECIMAL fills the whole VARIANT, its type field included; set that afterwards.
    hr = SafeArrayGetElement(array, &index, &V_DECIMAL(slot));
    V_VT(slot) = VT_DECIMAL;
  } else if (type == VT_RECORD || type == VT_EMPTY || type == VT_NULL) {
    return std::nullopt;
  } else {
    // The element lands in the VARIANT's value union; once the type is set the VARIANT owns it
    // (a BSTR or an interface is released with it).
    hr = SafeArrayGetElement(array, &index, &V_UI1(slot));
    if (SUCCEEDED(hr)) V_VT(slot) = type;
  }
  if (FAILED(hr)) return std::nullopt;
  return NumberOrNothing(element.Get());
}

}  // namespace

host::HostArray ToHostArray(const VARIANT& value, std::wstring_view member) {
  const VARTYPE type = V_VT(&value);
  if ((type & VT_ARRAY) == 0) ThrowTypeMismatch(member, "an array");
  SAFEARRAY* array =
      (type & VT_BYREF) ? (V_ARRAYREF(&value) ? *V_ARRAYREF(&value) : nullptr) : V_ARRAY(&value);
  if (array == nullptr || SafeArrayGetDim(array) != 1) ThrowTypeMismatch(member, "an array");

  LONG lower = 0;
  LONG upper = -1;
  VARTYPE elementType = VT_EMPTY;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper)) ||
      FAILED(SafeArrayGetVartype(array, &elementType))) {
    ThrowTypeMismatch(member, "an array");
  }
  host::HostArray result;
  result.lowerBound = static_cast<std::int32_t>(lower);
  if (upper >= lower) {
    result.elements.reserve(static_cast<std::size_t>(upper - lower) + 1);
    for (LONG index = lower;; ++index) {
      result.elements.push_back(ElementAt(array, elementType, index));
      if (index == upper) break;  // never steps past LONG's maximum
    }
  }
  return result;
}

}  // namespace corvane::win
