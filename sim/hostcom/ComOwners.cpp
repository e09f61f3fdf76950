#include "sim/hostcom/ComOwners.h"

namespace corvane::hostcom {

Variant Variant::CopyOf(const VARIANT& source) {
  Variant copy;
  if (FAILED(VariantCopyInd(&copy.value_, Source(source)))) VariantInit(&copy.value_);
  return copy;
}

Variant Variant::Null() {
  Variant v;
  V_VT(&v.value_) = VT_NULL;
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  V_VT(&v.value_) = VT_BOOL;
  V_BOOL(&v.value_) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Int16(short value) {
  Variant v;
  V_VT(&v.value_) = VT_I2;
  V_I2(&v.value_) = value;
  return v;
}

Variant Variant::Int32(long value) {
  Variant v;
  V_VT(&v.value_) = VT_I4;
  V_I4(&v.value_) = value;
  return v;
}

Variant Variant::Single(float value) {
  Variant v;
  V_VT(&v.value_) = VT_R4;
  V_R4(&v.value_) = value;
  return v;
}

Variant Variant::Double(double value) {
  Variant v;
  V_VT(&v.value_) = VT_R8;
  V_R8(&v.value_) = value;
  return v;
}

Variant Variant::Text(std::wstring_view text) {
  Variant v;
  V_VT(&v.value_) = VT_BSTR;
  V_BSTR(&v.value_) = Bstr(text).Release();
  return v;
}

Variant Variant::Dispatch(IDispatch* owned) {
  Variant v;
  V_VT(&v.value_) = VT_DISPATCH;
  V_DISPATCH(&v.value_) = owned;
  return v;
}

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
  return text;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

}  // namespace corvane::hostcom
