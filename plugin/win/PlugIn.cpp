#include "plugin/win/PlugIn.h"

#include <new>

#include "host/win/HostAdapters.h"
#include "plugin/win/ErrorTranslation.h"
#include "plugin/win/Module.h"
#include "plugin/win/WinRunEnvironment.h"
#include "win/AutomationValues.h"

namespace corvane::win {

using Microsoft::WRL::ComPtr;

namespace {

// The type information that ITypeInfo::Invoke calls through: for a dual interface, the vtable
// (TKIND_INTERFACE) side of _PlugIn, read from the type library embedded in this module.
ComPtr<ITypeInfo> LoadPlugInTypeInfo() {
  ComPtr<ITypeLib> library;
  ThrowIfFailed(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library),
                "Cannot load the type library of Corvane.dll");
  ComPtr<ITypeInfo> info;
  ThrowIfFailed(library->GetTypeInfoOfGuid(IID__PlugIn, &info), "The type library has no _PlugIn");
  TYPEATTR* attributes = nullptr;
  ThrowIfFailed(info->GetTypeAttr(&attributes), "Cannot read _PlugIn's type attributes");
  const bool dispatchSide = attributes->typekind == TKIND_DISPATCH;
  info->ReleaseTypeAttr(attributes);
  if (dispatchSide) {
    HREFTYPE vtableSide = 0;
    ThrowIfFailed(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide),
                  "_PlugIn is not dual");
    ComPtr<ITypeInfo> vtableInfo;
    ThrowIfFailed(info->GetRefTypeInfo(vtableSide, &vtableInfo), "_PlugIn is not dual");
    info = vtableInfo;
  }
  return info;
}

}  // namespace

HRESULT PlugIn::Create(REFIID interfaceId, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return CallAtComBoundary(IID__PlugIn, [&] {
    auto* plugIn = new PlugIn(LoadPlugInTypeInfo());
    const HRESULT hr = plugIn->QueryInterface(interfaceId, object);
    plugIn->Release();
    return hr;
  });
}

PlugIn::PlugIn(ComPtr<ITypeInfo> typeInfo) : typeInfo_(std::move(typeInfo)) {
  AddObject();
}

PlugIn::~PlugIn() {
  RemoveObject();
}

void* PlugIn::OtherInterface(REFIID interfaceId) noexcept {
  return interfaceId == IID_IDispatch ? static_cast<_PlugIn*>(this) : nullptr;
}

STDMETHODIMP PlugIn::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP PlugIn::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  typeInfo_->AddRef();
  *info = typeInfo_.Get();
  return S_OK;
}

STDMETHODIMP PlugIn::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
}

STDMETHODIMP PlugIn::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                            VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  // ITypeInfo::Invoke calls the vtable member; a failure it returns comes back as
  // DISP_E_EXCEPTION with the member's HRESULT and error description in the EXCEPINFO.
  return typeInfo_->Invoke(static_cast<_PlugIn*>(this), id, flags, parameters, result, exception,
                           argumentError);
}

STDMETHODIMP PlugIn::CCDCamera_Notify(short* EventCode) {
  if (EventCode == nullptr) return E_POINTER;
  return CallAtComBoundary(IID__PlugIn, [&] {
    WinRunEnvironment environment(TheModuleDialogs());
    core_.CCDCamera_Notify(*EventCode, environment);
  });
}

STDMETHODIMP PlugIn::DoModal(Document* Doc) {
  return CallAtComBoundary(IID__PlugIn, [&] {
    const ComPtr<Document> document(Doc);  // held for the call and not otherwise used
    const ComPtr<_PlugIn> self(this);      // the host may release us while the run pumps
    WinHostConnection host;
    WinRunEnvironment environment(TheModuleDialogs());
    core_.DoModal(host, environment);
  });
}

STDMETHODIMP PlugIn::get_Name(BSTR* Name) {
  if (Name == nullptr) return E_POINTER;
  return CallAtComBoundary(IID__PlugIn,
                           [&] { *Name = Bstr::FromUtf8(PlugInCore::Name()).Release(); });
}

STDMETHODIMP PlugIn::InterfaceSupportsErrorInfo(REFIID interfaceId) {
  return interfaceId == IID__PlugIn ? S_OK : S_FALSE;
}

}  // namespace corvane::win
