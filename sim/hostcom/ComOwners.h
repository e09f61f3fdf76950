// Owners for the OLE Automation values the host objects hand out and take in: a BSTR and a
// VARIANT, each freed exactly once by its destructor.
#pragma once

#include <oaidl.h>
#include <oleauto.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace corvane::hostcom {

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.value_, nullptr));
    return *this;
  }
  ~Bstr() { Reset(); }

  BSTR Get() const { return value_; }
  BSTR Release() { return std::exchange(value_, nullptr); }
  void Reset(BSTR value = nullptr) {
    if (value_) SysFreeString(value_);
    value_ = value;
  }
  // For an out-parameter: frees the current string and hands out the slot.
  BSTR* Receive() {
    Reset();
    return &value_;
  }
  std::wstring Text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : L""; }

 private:
  BSTR value_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  Variant(const Variant& other) : Variant() { VariantCopy(&value_, Source(other.value_)); }
  Variant& operator=(const Variant& other) {
    if (this != &other) VariantCopy(&value_, Source(other.value_));
    return *this;
  }
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  ~Variant() { VariantClear(&value_); }

  // A copy of what a VARIANT holds, a by-reference value taken through its reference.
  static Variant CopyOf(const VARIANT& source);
  static Variant Empty() { return Variant(); }
  static Variant Null();
  static Variant Bool(bool value);
  static Variant Int16(short value);
  static Variant Int32(long value);
  static Variant Single(float value);
  static Variant Double(double value);
  static Variant Text(std::wstring_view text);
  // Takes over one reference of the interface.
  static Variant Dispatch(IDispatch* owned);

  const VARIANT& Get() const { return value_; }
  VARIANT* Address() { return &value_; }
  VARTYPE Type() const { return V_VT(&value_); }
  // Moves the value into an out-parameter VARIANT, which by COM's rules holds nothing to free.
  void MoveInto(VARIANT* target) {
    *target = value_;
    VariantInit(&value_);
  }

 private:
  // OLE Automation's copy and conversion functions take their source without const; they don't
  // change it.
  static VARIANT* Source(const VARIANT& value) { return const_cast<VARIANT*>(&value); }
  VARIANT value_;
};

// Text and UTF-8.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view text);

}  // namespace corvane::hostcom
