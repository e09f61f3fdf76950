#include "tests/wine/host/PlugInClient.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "host/win/AutomationValues.h"
#include "host/win/UniqueResource.h"

namespace corvane::testhost {

using win::Bstr;
using win::Variant;

std::wstring PlugInDllPath() {
  // A Unix path from the build; Wine's drive Z: is the root of the Unix file system.
  std::wstring path = win::Widen(CORVANE_DLL_PATH);
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

DWORD RunRegsvr32(bool unregister) {
  std::wstring command = L"regsvr32.exe /s ";
  if (unregister) command += L"/u ";
  command += L"\"" + PlugInDllPath() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  const corvane::win::UniqueHandle thread(process.hThread);
  const corvane::win::UniqueHandle running(process.hProcess);
  WaitForSingleObject(running.Get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(running.Get(), &exitCode);
  return exitCode;
}

std::optional<std::wstring> ClassesValue(const std::wstring& path, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

bool ClassesKeyExists(const std::wstring& path) {
  corvane::win::UniqueRegistryKey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Receive()) ==
         ERROR_SUCCESS;
}

void EnsurePlugInRegistered() {
  if (const auto clsid = ClassesValue(L"Corvane.PlugIn\\CLSID")) {
    const auto server = ClassesValue(L"CLSID\\" + *clsid + L"\\InprocServer32");
    if (server && CompareStringOrdinal(server->c_str(), -1, PlugInDllPath().c_str(), -1, TRUE) ==
                      CSTR_EQUAL) {
      return;
    }
  }
  RunRegsvr32(false);
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

PlugInClient::PlugInClient() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"Corvane.PlugIn", &clsid))) {
    throw std::runtime_error("Corvane.PlugIn is not registered");
  }
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(dispatch_.GetAddressOf())))) {
    throw std::runtime_error("Corvane.PlugIn cannot be created");
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

}  // namespace corvane::testhost
