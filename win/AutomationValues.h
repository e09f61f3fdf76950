// Owners of the OLE Automation values that cross a COM boundary: BSTR, VARIANT and SAFEARRAY,
// each freed exactly once by its destructor. Used by Corvane.dll and by the host objects that serve
// it. Each is shaped like unique_ptr: Get, Reset, Release, and Receive for an out-parameter.
// Copying is deleted; moving hands the value over.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace corvane::win {

// UTF-8 <-> UTF-16 for the texts that cross between the core (UTF-8) and Windows.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR owned) noexcept : value_(owned) {}  // takes ownership
  // A new BSTR holding the text; throws std::bad_alloc when it cannot be allocated.
  static Bstr FromWide(std::wstring_view text);
  static Bstr FromUtf8(std::string_view text) { return FromWide(Widen(text)); }

  ~Bstr() { Reset(); }
  Bstr(Bstr&& other) noexcept : value_(other.Release()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR Get() const noexcept { return value_; }
  void Reset(BSTR owned = nullptr) noexcept {
    if (owned != value_) SysFreeString(value_);
    value_ = owned;
  }
  [[nodiscard]] BSTR Release() noexcept { return std::exchange(value_, nullptr); }
  // Frees the current value and returns the slot for a callee to fill.
  BSTR* Receive() noexcept {
    Reset();
    return &value_;
  }
  std::wstring_view View() const noexcept { return {value_ ? value_ : L"", SysStringLen(value_)}; }
  std::wstring Text() const { return std::wstring(View()); }

 private:
  BSTR value_ = nullptr;
};

class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  ~Variant() { Reset(); }
  Variant(Variant&& other) noexcept : value_(other.Release()) {}
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      Reset();
      value_ = other.Release();
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  // Simple values, passed by value.
  static Variant Int16(SHORT value) noexcept;
  static Variant Int32(LONG value) noexcept;
  static Variant Single(FLOAT value) noexcept;
  static Variant Double(DOUBLE value) noexcept;
  static Variant Bool(bool value) noexcept;
  static Variant Null() noexcept;
  // A new BSTR holding the text; throws std::bad_alloc when it cannot be allocated.
  static Variant Text(std::wstring_view text);
  // Takes over one reference of the interface.
  static Variant Dispatch(IDispatch* owned) noexcept;
  // A reference to a caller's variable (VT_BYREF): the variable must outlive the Variant.
  static Variant Reference(VARTYPE type, void* variable) noexcept;
  // A copy of what a VARIANT holds, a by-reference value taken through its reference; empty when
  // it cannot be copied.
  static Variant CopyOf(const VARIANT& source) noexcept;

  const VARIANT& Get() const noexcept { return value_; }
  VARTYPE Type() const noexcept { return V_VT(&value_); }
  void Reset() noexcept { VariantClear(&value_); }
  // Hands the value over; this object is left empty.
  [[nodiscard]] VARIANT Release() noexcept {
    VARIANT out = value_;
    VariantInit(&value_);
    return out;
  }
  VARIANT* Receive() noexcept {
    Reset();
    return &value_;
  }

 private:
  VARIANT value_;
};

class SafeArray {
 public:
  SafeArray() = default;
  explicit SafeArray(SAFEARRAY* owned) noexcept : value_(owned) {}  // takes ownership
  ~SafeArray() { Reset(); }
  SafeArray(SafeArray&& other) noexcept : value_(other.Release()) {}
  SafeArray& operator=(SafeArray&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;

  SAFEARRAY* Get() const noexcept { return value_; }
  void Reset(SAFEARRAY* owned = nullptr) noexcept {
    if (owned != value_ && value_ != nullptr) SafeArrayDestroy(value_);
    value_ = owned;
  }
  [[nodiscard]] SAFEARRAY* Release() noexcept { return std::exchange(value_, nullptr); }
  SAFEARRAY** Receive() noexcept {
    Reset();
    return &value_;
  }

 private:
  SAFEARRAY* value_ = nullptr;
};

// Owns the BSTRs an IDispatch::Invoke may leave in an EXCEPINFO.
class ExcepInfo {
 public:
  ExcepInfo() noexcept : info_{} {}
  ~ExcepInfo() { Reset(); }
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;

  EXCEPINFO* Receive() noexcept {
    Reset();
    return &info_;
  }
  // Runs the deferred fill-in, if the callee left one, so the fields can be read.
  const EXCEPINFO& Filled() noexcept;
  void Reset() noexcept;

 private:
  EXCEPINFO info_;
};

}  // namespace corvane::win
