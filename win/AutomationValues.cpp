#include "win/AutomationValues.h"

#include <new>

namespace corvane::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), length);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

Bstr Bstr::FromWide(std::wstring_view text) {
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (value == nullptr) throw std::bad_alloc();
  return Bstr(value);
}

Variant Variant::Int16(SHORT value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_I2;
  V_I2(&v.value_) = value;
  return v;
}

Variant Variant::Int32(LONG value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_I4;
  V_I4(&v.value_) = value;
  return v;
}

Variant Variant::Single(FLOAT value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_R4;
  V_R4(&v.value_) = value;
  return v;
}

Variant Variant::Double(DOUBLE value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_R8;
  V_R8(&v.value_) = value;
  return v;
}

Variant Variant::Bool(bool value) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_BOOL;
  V_BOOL(&v.value_) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Null() noexcept {
  Variant v;
  V_VT(&v.value_) = VT_NULL;
  return v;
}

Variant Variant::Text(std::wstring_view text) {
  Variant v;
  V_BSTR(&v.value_) = Bstr::FromWide(text).Release();
  V_VT(&v.value_) = VT_BSTR;
  return v;
}

Variant Variant::Dispatch(IDispatch* owned) noexcept {
  Variant v;
  V_VT(&v.value_) = VT_DISPATCH;
  V_DISPATCH(&v.value_) = owned;
  return v;
}

Variant Variant::CopyOf(const VARIANT& source) noexcept {
  Variant copy;
  // VariantCopyInd takes its source without const; it does not change it.
  if (FAILED(VariantCopyInd(&copy.value_, const_cast<VARIANT*>(&source))))
    VariantInit(&copy.value_);
  return copy;
}

Variant Variant::Reference(VARTYPE type, void* variable) noexcept {
  Variant v;
  V_VT(&v.value_) = static_cast<VARTYPE>(VT_BYREF | type);
  V_BYREF(&v.value_) = variable;
  return v;
}

const EXCEPINFO& ExcepInfo::Filled() noexcept {
  if (info_.pfnDeferredFillIn != nullptr) {
    auto fill = info_.pfnDeferredFillIn;
    info_.pfnDeferredFillIn = nullptr;
    fill(&info_);
  }
  return info_;
}

void ExcepInfo::Reset() noexcept {
  SysFreeString(info_.bstrSource);
  SysFreeString(info_.bstrDescription);
  SysFreeString(info_.bstrHelpFile);
  info_ = EXCEPINFO{};
}

}  // namespace corvane::win
