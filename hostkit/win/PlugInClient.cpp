#include "hostkit/win/PlugInClient.h"

#include <cstdio>
#include <stdexcept>

#include "win/AutomationValues.h"

namespace corvane::hostkit {

using win::Variant;

PlugInClient::PlugInClient() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Corvane.PlugIn", &clsid))) {
    throw std::runtime_error("Corvane.PlugIn is not registered");
  }
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                      reinterpret_cast<void**>(dispatch_.GetAddressOf()));
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    throw std::runtime_error(std::string("Corvane.PlugIn cannot be created: ") + code);
  }
}

DISPID PlugInClient::IdOf(const wchar_t* name) const {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

CallOutcome PlugInClient::Invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result) const {
  corvane::win::ExcepInfo exception;
  UINT argumentError = 0;
  CallOutcome outcome;
  outcome.result = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                     exception.Receive(), &argumentError);
  if (outcome.result == DISP_E_EXCEPTION) {
    const EXCEPINFO& filled = exception.Filled();
    outcome.scode = filled.scode;
    if (filled.bstrDescription != nullptr) {
      outcome.description.assign(filled.bstrDescription, SysStringLen(filled.bstrDescription));
    }
  }
  return outcome;
}

std::wstring PlugInClient::Name() const {
  DISPPARAMS none{};
  Variant result;
  const CallOutcome outcome = Invoke(IdOf(L"Name"), DISPATCH_PROPERTYGET, none, result.Receive());
  if (FAILED(outcome.result) || result.Type() != VT_BSTR) return L"<failed>";
  const BSTR text = V_BSTR(&result.Get());
  return std::wstring(text, SysStringLen(text));
}

CallOutcome PlugInClient::CCDCamera_Notify(std::int16_t code) const {
  SHORT eventCode = code;
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_BYREF | VT_I2;
  V_I2REF(&argument) = &eventCode;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  return Invoke(IdOf(L"CCDCamera_Notify"), DISPATCH_METHOD, params, nullptr);
}

CallOutcome PlugInClient::DoModal(IDispatch* doc) const {
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_DISPATCH;
  V_DISPATCH(&argument) = doc;  // borrowed for the call
  DISPPARAMS params{&argument, nullptr, 1, 0};
  return Invoke(IdOf(L"DoModal"), DISPATCH_METHOD, params, nullptr);
}

}  // namespace corvane::hostkit
