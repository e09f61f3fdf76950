#include "hostkit/win/ClassRegistration.h"

#include <atomic>
#include <optional>

#include "hostkit/win/HostComObjects.h"
#include "win/AutomationValues.h"
#include "win/ComObject.h"
#include "win/UniqueResource.h"

namespace corvane::hostcom {
namespace {

class ClassFactory final : public win::ComObject<IClassFactory> {
 public:
  explicit ClassFactory(ClassRegistration::Create create) : create_(std::move(create)) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      Microsoft::WRL::ComPtr<IDispatch> created = create_();
      if (!created) return E_FAIL;
      return created->QueryInterface(riid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ClassRegistration::Create create_;
};

std::wstring ToText(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return text;
}

// Where this program writes its ProgID keys: HKCR under Wine (which does not merge HKCU's classes
// into it); on Windows the user's own classes, which need no administrator.
HKEY WritableClassesRoot() {
  static const HKEY root = [] {
    if (RunningUnderWine()) return HKEY_CLASSES_ROOT;
    HKEY classes = nullptr;  // kept open for the program's lifetime
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &classes, nullptr);
    return classes ? classes : HKEY_CURRENT_USER;
  }();
  return root;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
  win::UniqueRegistryKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.Receive()) == ERROR_SUCCESS;
}

std::optional<std::wstring> ReadDefault(HKEY root, const std::wstring& path) {
  wchar_t value[256] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

bool WriteDefault(HKEY root, const std::wstring& path, const std::wstring& value) {
  return RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A CLSID that names a server in either registry view: an installed program owns it.
bool IsRegisteredServer(const std::wstring& clsid) {
  for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    for (const wchar_t* server : {L"\\LocalServer32", L"\\InprocServer32"}) {
      if (KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + server, view)) return true;
    }
  }
  return false;
}

}  // namespace

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ClassRegistration::ClassRegistration(const CLSID& clsid, std::wstring progId, Create create)
    : progId_(std::move(progId)) {
  const std::wstring ours = ToText(clsid);
  const std::wstring clsidPath = progId_ + L"\\CLSID";
  const auto existing = ReadDefault(HKEY_CLASSES_ROOT, clsidPath);
  const bool leftOfOurs =  // by a program of ours that was ended before it could clean up
      existing && CompareStringOrdinal(existing->c_str(), -1, ours.c_str(), -1, TRUE) == CSTR_EQUAL;
  if (existing && !leftOfOurs) {
    if (IsRegisteredServer(*existing)) {
      throw RegistrationError(win::Narrow(progId_) + " belongs to an installed program (CLSID " +
                              win::Narrow(*existing) + "); not taking it over");
    }
    keyExisted_ = true;
    previousClsid_ = *existing;
  } else {
    keyExisted_ = KeyExists(WritableClassesRoot(), progId_);
  }
  if (!WriteDefault(WritableClassesRoot(), clsidPath, ours)) {
    throw RegistrationError("cannot write the registry key of " + win::Narrow(progId_));
  }

  auto* factory = new ClassFactory(std::move(create));
  const HRESULT result =
      CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  factory->Release();  // COM holds its own reference while the class is registered
  if (FAILED(result)) {
    RemoveProgId();
    throw RegistrationError("CoRegisterClassObject failed for " + win::Narrow(progId_));
  }
}

ClassRegistration::~ClassRegistration() {
  CoRevokeClassObject(cookie_);
  RemoveProgId();
}

void ClassRegistration::RemoveProgId() noexcept {
  const HKEY root = WritableClassesRoot();
  if (!keyExisted_) {
    RegDeleteTreeW(root, progId_.c_str());
  } else if (!previousClsid_.empty()) {
    WriteDefault(root, progId_ + L"\\CLSID", previousClsid_);
  } else {
    RegDeleteTreeW(root, (progId_ + L"\\CLSID").c_str());
  }
}

HostRegistration::HostRegistration(std::shared_ptr<HostSession> session,
                                   ApplicationFactory application, CameraFactory camera)
    : application_(kApplicationClsid, L"MaxIm.Application",
                   [session, application]() { return MakeApplication(application(), session); }),
      camera_(kCameraClsid, L"MaxIm.CCDCamera",
              [session, camera]() { return MakeCamera(camera(), session); }) {}

}  // namespace corvane::hostcom
