// The test host's side of the plug-in: Corvane.dll registered with regsvr32, the PlugIn object
// created by its ProgID and called only through IDispatch with its members looked up by name,
// as a host that knows nothing but the ProgID calls it.
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::testhost {

// The Windows path of the Corvane.dll under test.
std::wstring PlugInDllPath();
// Runs regsvr32 (silent) on it; returns regsvr32's exit code.
DWORD RunRegsvr32(bool unregister);
// Registers the DLL unless HKCR\Corvane.PlugIn already names a class served by it.
void EnsurePlugInRegistered();

// A registry value (the default value when name is empty) under HKEY_CLASSES_ROOT.
std::optional<std::wstring> ClassesValue(const std::wstring& path, const wchar_t* name = nullptr);
bool ClassesKeyExists(const std::wstring& path);

// A whole file's bytes, or nullopt when it cannot be read.
std::optional<std::string> ReadFileBytes(const std::wstring& path);

// What a call through IDispatch returned: the HRESULT, and for DISP_E_EXCEPTION the EXCEPINFO's
// scode and description.
struct CallOutcome {
  HRESULT result = S_OK;
  HRESULT scode = S_OK;
  std::wstring description;
};

class PlugInClient {
 public:
  PlugInClient();  // CoCreateInstance by ProgID "Corvane.PlugIn"; throws std::runtime_error

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

}  // namespace corvane::testhost
