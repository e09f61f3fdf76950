// The module's entry points: DllMain, the class factory and the four exports. Every export runs
// in CallAtComBoundary, so no exception leaves the module.
#include <windows.h>

#include <cguid.h>
#include <initguid.h>  // defines the GUIDs declared in Corvane_h.h, here and only here

#include <atomic>

#include "plugin/win/Corvane_h.h"
#include "plugin/win/ErrorTranslation.h"
#include "plugin/win/Module.h"
#include "plugin/win/PlugIn.h"
#include "plugin/win/Registration.h"
#include "win/ComObject.h"

namespace corvane::win {

namespace {

HINSTANCE moduleHandle = nullptr;
std::atomic<long> liveObjects{0};
std::atomic<long> locks{0};

// The class object of PlugIn: static, never deleted; a lock keeps the module loaded.
class PlugInFactory : public ComObject<IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID interfaceId, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return PlugIn::Create(interfaceId, object);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    LockModule(lock != FALSE);
    return S_OK;
  }
};

StaticComObject<PlugInFactory> factory;

}  // namespace

HINSTANCE ModuleHandle() noexcept {
  return moduleHandle;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(moduleHandle, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) ThrowIfFailed(HRESULT_FROM_WIN32(GetLastError()), "GetModuleFileName");
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void AddObject() noexcept {
  ++liveObjects;
}
void RemoveObject() noexcept {
  --liveObjects;
}
void LockModule(bool lock) noexcept {
  if (lock) {
    ++locks;
  } else {
    --locks;
  }
}
bool ModuleInUse() noexcept {
  return liveObjects > 0 || locks > 0;
}

ModuleDialogs& TheModuleDialogs() {
  static ModuleDialogs dialogs;
  return dialogs;
}

}  // namespace corvane::win

using namespace corvane::win;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  // Thread notifications stay on: the statically linked runtime keeps thread-local data.
  if (reason == DLL_PROCESS_ATTACH) moduleHandle = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (classId != CLSID_PlugIn) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(interfaceId, object);
}

STDAPI DllCanUnloadNow() {
  return ModuleInUse() ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
  return CallAtComBoundary(IID_NULL, [] { RegisterServer(ModulePath()); });
}

STDAPI DllUnregisterServer() {
  return CallAtComBoundary(IID_NULL, [] { UnregisterServer(); });
}
