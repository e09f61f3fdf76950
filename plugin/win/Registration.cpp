#include "plugin/win/Registration.h"

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <utility>

#include "host/win/AutomationValues.h"
#include "plugin/win/Corvane_h.h"
#include "plugin/win/ErrorTranslation.h"

namespace corvane::win {

namespace {

constexpr const wchar_t* kProgId = L"Corvane.PlugIn";
constexpr const wchar_t* kClassDescription = L"Corvane.PlugIn";
constexpr WORD kTypeLibraryMajor = 1;
constexpr WORD kTypeLibraryMinor = 0;

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// An open registry key.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey& operator=(RegistryKey&&) = delete;

  // Creates or opens HKCR\path for writing.
  static RegistryKey Create(const std::wstring& path) {
    RegistryKey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                           KEY_WRITE, nullptr, &key.key_, nullptr);
    ThrowIfFailed(HRESULT_FROM_WIN32(status),
                  ("Cannot create the registry key HKCR\\" + Narrow(path)).c_str());
    return key;
  }

  // Opens HKCR\path for reading in the given view; false when it does not exist.
  bool Open(const std::wstring& path, REGSAM view) {
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, &key_) ==
           ERROR_SUCCESS;
  }

  void SetText(const wchar_t* name, const std::wstring& value) {
    const LSTATUS status =
        RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ThrowIfFailed(HRESULT_FROM_WIN32(status), "Cannot write a registry value");
  }

  // The default value as text ("" when there is none).
  std::wstring DefaultText() const {
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      return {};
    }
    return value;
  }

 private:
  HKEY key_ = nullptr;
};

void DeleteTree(const std::wstring& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    ThrowIfFailed(HRESULT_FROM_WIN32(status),
                  ("Cannot remove the registry key HKCR\\" + Narrow(path)).c_str());
  }
}

std::wstring ClassKeyPath() {
  return L"CLSID\\" + GuidText(CLSID_PlugIn);
}

// True when the class is still registered as an in-process server in the other registry view.
bool OtherViewServesClass() {
  RegistryKey key;
  return key.Open(ClassKeyPath() + L"\\InprocServer32", kOtherView);
}

}  // namespace

void RegisterServer(const std::wstring& modulePath) {
  const std::wstring clsid = GuidText(CLSID_PlugIn);

  RegistryKey::Create(kProgId).SetText(nullptr, kClassDescription);
  RegistryKey::Create(std::wstring(kProgId) + L"\\CLSID").SetText(nullptr, clsid);

  const std::wstring classKey = ClassKeyPath();
  RegistryKey::Create(classKey).SetText(nullptr, kClassDescription);
  RegistryKey::Create(classKey + L"\\ProgID").SetText(nullptr, kProgId);
  {
    RegistryKey server = RegistryKey::Create(classKey + L"\\InprocServer32");
    server.SetText(nullptr, modulePath);
    server.SetText(L"ThreadingModel", L"Apartment");
  }
  RegistryKey::Create(classKey + L"\\TypeLib").SetText(nullptr, GuidText(LIBID_Corvane));
  RegistryKey::Create(classKey + L"\\Version").SetText(nullptr, L"1.0");

  Microsoft::WRL::ComPtr<ITypeLib> library;
  ThrowIfFailed(LoadTypeLibEx(modulePath.c_str(), REGKIND_REGISTER, &library),
                "Cannot register the type library");
}

void UnregisterServer() {
  // The type library first: a library that is not registered (any more) is no failure.
  const HRESULT hr = UnRegisterTypeLib(LIBID_Corvane, kTypeLibraryMajor, kTypeLibraryMinor,
                                       LANG_NEUTRAL, kSysKind);
  if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED &&
      hr != TYPE_E_CANTLOADLIBRARY && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
    ThrowIfFailed(hr, "Cannot unregister the type library");
  }

  DeleteTree(ClassKeyPath());

  RegistryKey progIdClass;
  const bool ours = progIdClass.Open(std::wstring(kProgId) + L"\\CLSID", 0) &&
                    progIdClass.DefaultText() == GuidText(CLSID_PlugIn);
  if (ours && !OtherViewServesClass()) DeleteTree(kProgId);
}

}  // namespace corvane::win
