#include "plugin/win/Registration.h"

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "plugin/win/Corvane_h.h"
#include "plugin/win/ErrorTranslation.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::win {

namespace {

constexpr const wchar_t* kProgId = L"Corvane.PlugIn";
constexpr const wchar_t* kClassDescription = L"Corvane.PlugIn";
constexpr WORD kTypeLibraryMajor = 1;
constexpr WORD kTypeLibraryMinor = 0;

#ifdef _WIN64
constexpr const wchar_t* kPlatform = L"win64";  // the type library's platform key
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr const wchar_t* kPlatform = L"win32";
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
  // Creates or opens HKCR\path for writing.
  static RegistryKey Create(const std::wstring& path) {
    RegistryKey key;
    const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                           KEY_WRITE, nullptr, key.key_.Receive(), nullptr);
    ThrowIfFailed(HRESULT_FROM_WIN32(status),
                  ("Cannot create the registry key HKCR\\" + Narrow(path)).c_str());
    return key;
  }

  // Opens HKCR\path for reading in the given view; false when it does not exist.
  bool Open(const std::wstring& path, REGSAM view) {
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key_.Receive()) ==
           ERROR_SUCCESS;
  }

  void SetText(const wchar_t* name, const std::wstring& value) {
    const LSTATUS status =
        RegSetValueExW(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ThrowIfFailed(HRESULT_FROM_WIN32(status), "Cannot write a registry value");
  }

  // The default value as text ("" when there is none).
  std::wstring DefaultText() const {
    wchar_t value[256] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key_.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return {};
    }
    return value;
  }

  bool HasSubkeys() const {
    DWORD subkeys = 0;
    return RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
  }

 private:
  UniqueRegistryKey key_;
};

// Removes HKCR\path with everything below it, in this process's registry view or in the one
// given (KEY_WOW64_32KEY, KEY_WOW64_64KEY); a key that is already gone is no failure.
void DeleteTree(const std::wstring& path, REGSAM view = 0) {
  const auto fail = [&path](LSTATUS status) {
    ThrowIfFailed(HRESULT_FROM_WIN32(status),
                  ("Cannot remove the registry key HKCR\\" + Narrow(path)).c_str());
  };
  UniqueRegistryKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0,
                                 DELETE | KEY_READ | KEY_SET_VALUE | view, key.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return;
  if (status != ERROR_SUCCESS) fail(status);
  // RegDeleteTree empties the key it is given; the key itself goes with RegDeleteKeyEx, which
  // is the call that names the view.
  status = RegDeleteTreeW(key.Get(), nullptr);
  if (status != ERROR_SUCCESS) fail(status);
  status = RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), view, 0);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) fail(status);
}

std::wstring ClassKeyPath() {
  return L"CLSID\\" + GuidText(CLSID_PlugIn);
}

// The type library's version key, under which each platform (win32, win64) has its own path.
std::wstring TypeLibraryVersionPath() {
  return L"TypeLib\\" + GuidText(LIBID_Corvane) + L"\\" + std::to_wstring(kTypeLibraryMajor) +
         L"." + std::to_wstring(kTypeLibraryMinor);
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
  // Whatever of ours is left goes, and nothing left is no failure, so unregistering twice (or
  // after a half-finished attempt) succeeds. The class goes first and the type library last: a
  // failure part-way never leaves a ProgID or class that names a library already removed.
  DeleteTree(ClassKeyPath());

  // The keys below are shared by the 32- and 64-bit registry views: they stay while the other
  // view still serves the class.
  const bool otherServes = OtherViewServesClass();
  RegistryKey progIdClass;
  const bool ours = progIdClass.Open(std::wstring(kProgId) + L"\\CLSID", 0) &&
                    progIdClass.DefaultText() == GuidText(CLSID_PlugIn);
  if (ours && !otherServes) DeleteTree(kProgId);

  // The type library's entry for this platform, written by LoadTypeLibEx(REGKIND_REGISTER).
  // UnRegisterTypeLib is not used: it also deletes the shared Interface key of _PlugIn, which the
  // other bitness still needs, and fails when the library is registered no more.
  const std::wstring version = TypeLibraryVersionPath();
  DeleteTree(version + L"\\0\\" + kPlatform);
  RegistryKey platforms;
  const bool otherPlatform = platforms.Open(version + L"\\0", 0) && platforms.HasSubkeys();
  if (!otherPlatform && !otherServes) {
    DeleteTree(L"TypeLib\\" + GuidText(LIBID_Corvane));
    // The type library's registration writes the Interface key of _PlugIn in both views; with
    // no other bitness registered, it goes from both.
    const std::wstring plugInInterface = L"Interface\\" + GuidText(IID__PlugIn);
    DeleteTree(plugInInterface);
    DeleteTree(plugInInterface, kOtherView);
  }
}

}  // namespace corvane::win
