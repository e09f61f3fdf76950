// The host's side of the plug-in: the PlugIn object created by its ProgID and called only through
// IDispatch with its members looked up by name, as a host that knows nothing but the ProgID calls
// it.
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

namespace corvane::hostkit {

// What a call through IDispatch returned: the HRESULT, and for DISP_E_EXCEPTION the EXCEPINFO's
// scode and description.
struct CallOutcome {
  HRESULT result = S_OK;
  HRESULT scode = S_OK;
  std::wstring description;
};

class PlugInClient {
 public:
  // CoCreateInstance by the ProgID "Corvane.PlugIn"; throws std::runtime_error.
  PlugInClient();

  DISPID IdOf(const wchar_t* name) const;
  std::wstring Name() const;
  // EventCode passed by reference to a 16-bit integer.
  CallOutcome CCDCamera_Notify(std::int16_t code) const;
  // Doc: the document object passed in (may be null).
  CallOutcome DoModal(IDispatch* doc = nullptr) const;

  IDispatch* Get() const { return dispatch_.Get(); }
  void Reset() { dispatch_.Reset(); }

 private:
  CallOutcome Invoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result) const;
  Microsoft::WRL::ComPtr<IDispatch> dispatch_;
};

}  // namespace corvane::hostkit
