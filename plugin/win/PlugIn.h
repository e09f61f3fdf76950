// The COM class PlugIn: its default interface _PlugIn (dual; IDispatch answered from the type
// library in this module) and ISupportErrorInfo. The members delegate to PlugInCore; DoModal runs
// the guiding run with the Windows host adapters and environment.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include "plugin/PlugInCore.h"
#include "plugin/win/Corvane_h.h"
#include "win/ComObject.h"

namespace corvane::win {

class PlugIn final : public ComObject<_PlugIn, ISupportErrorInfo> {
 public:
  // Creates an object and asks it for `interfaceId`.
  static HRESULT Create(REFIID interfaceId, void** object) noexcept;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

  // _PlugIn
  STDMETHODIMP CCDCamera_Notify(short* EventCode) override;
  STDMETHODIMP DoModal(Document* Doc) override;
  STDMETHODIMP get_Name(BSTR* Name) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID interfaceId) override;

 private:
  explicit PlugIn(Microsoft::WRL::ComPtr<ITypeInfo> typeInfo);
  ~PlugIn() override;
  void* OtherInterface(REFIID interfaceId) noexcept override;  // IDispatch: _PlugIn's base

  Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;  // the vtable side of _PlugIn
  PlugInCore core_;
};

}  // namespace corvane::win
