#include "plugin/win/ErrorTranslation.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <new>

#include "host/win/Dispatch.h"
#include "win/AutomationValues.h"

namespace corvane::win {

namespace {

struct KindCode {
  FailureKind kind;
  HRESULT code;
};

constexpr KindCode kArithmeticCodes[] = {
    {FailureKind::Overflow, DISP_E_OVERFLOW},
    {FailureKind::DivisionByZero, DISP_E_DIVBYZERO},
    {FailureKind::SubscriptOutOfRange, DISP_E_BADINDEX},
    {FailureKind::TypeMismatch, DISP_E_TYPEMISMATCH},
};

void SetErrorDescription(REFIID interfaceId, const char* description) noexcept {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> created;
  if (FAILED(CreateErrorInfo(&created))) return;
  try {
    const std::wstring text = Widen(description);
    created->SetDescription(const_cast<LPOLESTR>(text.c_str()));
  } catch (...) {
    // Without its description the error info still carries the source.
  }
  created->SetGUID(interfaceId);
  created->SetSource(const_cast<LPOLESTR>(L"Corvane"));
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(created.As(&info))) SetErrorInfo(0, info.Get());
}

HRESULT Report(REFIID interfaceId, HRESULT code, const char* description) noexcept {
  SetErrorDescription(interfaceId, description);
  return code;
}

}  // namespace

void ThrowIfFailed(HRESULT hr, const char* what) {
  if (SUCCEEDED(hr)) return;
  throw ComFailure(hr, FailureDescription(what, hr));
}

HRESULT HResultOf(const RunFailure& failure) noexcept {
  for (const KindCode& entry : kArithmeticCodes) {
    if (entry.kind == failure.Kind()) return entry.code;
  }
  const auto code = static_cast<HRESULT>(failure.Code());
  return FAILED(code) ? code : E_FAIL;
}

HRESULT ReportException(REFIID interfaceId) noexcept {
  try {
    throw;
  } catch (const RunFailure& failure) {
    return Report(interfaceId, HResultOf(failure), failure.what());
  } catch (const ComFailure& failure) {
    return Report(interfaceId, failure.Code(), failure.what());
  } catch (const std::bad_alloc&) {
    return Report(interfaceId, E_OUTOFMEMORY, "Out of memory");
  } catch (const std::exception& exception) {
    return Report(interfaceId, E_FAIL, exception.what());
  } catch (...) {
    return Report(interfaceId, E_UNEXPECTED, "Unexpected failure");
  }
}

}  // namespace corvane::win
