// Corvane.dll itself, loaded into this process without registration: its version resource and
// type library, the PlugIn class through IDispatch, a failing DoModal reported through EXCEPINFO
// and IErrorInfo, and DllCanUnloadNow following the live objects.
#include <gtest/gtest.h>

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "host/win/Dispatch.h"
#include "hostkit/win/HostComObjects.h"
#include "hostkit/win/HostSession.h"
#include "hostkit/win/Library.h"
#include "win/AutomationValues.h"

namespace corvane::win {
namespace {

using Microsoft::WRL::ComPtr;

// {6690F6FD-BCC6-47F7-81DE-09C28A5AE6E3}
constexpr CLSID kPlugInClass = {
    0x6690f6fd, 0xbcc6, 0x47f7, {0x81, 0xde, 0x09, 0xc2, 0x8a, 0x5a, 0xe6, 0xe3}};
// {32325873-3F55-4993-867C-F43E4FB4E4ED}
constexpr IID kPlugInInterface = {
    0x32325873, 0x3f55, 0x4993, {0x86, 0x7c, 0xf4, 0x3e, 0x4f, 0xb4, 0xe4, 0xed}};
// {F84C8189-0B4A-4484-AE02-76A114ABE89C}
constexpr GUID kLibrary = {
    0xf84c8189, 0x0b4a, 0x4484, {0xae, 0x02, 0x76, 0xa1, 0x14, 0xab, 0xe8, 0x9c}};

std::wstring DllPath() {
  std::wstring path = Widen(CORVANE_DLL_PATH);
  if (!path.empty() && path.front() == L'/') path = L"Z:" + path;  // the build tree, under Wine
  return path;
}

class PlugInModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    module = std::make_unique<corvane::hostkit::Library>(DllPath());
    ASSERT_TRUE(*module);
    getClassObject =
        module->Export<HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**)>("DllGetClassObject");
    canUnloadNow = module->Export<HRESULT STDAPICALLTYPE()>("DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
  }
  void TearDown() override {
    module.reset();
    CoUninitialize();
  }

  ComPtr<IDispatch> CreatePlugIn() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(kPlugInClass, IID_IClassFactory, &factory), S_OK);
    ComPtr<IDispatch> plugIn;
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&plugIn)), S_OK);
    }
    return plugIn;
  }

  static DISPID IdOf(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
    return id;
  }

  std::unique_ptr<corvane::hostkit::Library> module;
  HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
};

TEST_F(PlugInModule, VersionResourceReads106AndMarksTheModuleSelfRegistering) {
  const std::wstring path = DllPath();
  DWORD ignored = 0;
  std::string block(GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  auto value = [&](const wchar_t* name) -> std::wstring {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length)) {
      return L"<missing>";
    }
    return text;
  };
  EXPECT_EQ(value(L"FileVersion"), L"1.06");
  EXPECT_EQ(value(L"ProductVersion"), L"1.06");
  EXPECT_EQ(value(L"Comments"), L"Performs guiding based on multiple guide stars");
  EXPECT_EQ(value(L"FileDescription"), L"Corvane");
  EXPECT_EQ(value(L"InternalName"), L"Corvane");
  EXPECT_EQ(value(L"OriginalFilename"), L"Corvane.dll");
  EXPECT_EQ(value(L"ProductName"), L"MaxIm DL");
  EXPECT_NE(value(L"OLESelfRegister"), L"<missing>");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010006u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
}

TEST_F(PlugInModule, EmbeddedTypeLibraryDescribesPlugInAndItsDualInterface) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, kLibrary));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
#ifdef _WIN64
  EXPECT_EQ(attributes->syskind, SYS_WIN64);
#else
  EXPECT_EQ(attributes->syskind, SYS_WIN32);
#endif
  library->ReleaseTLibAttr(attributes);
  Bstr name, description;
  ASSERT_EQ(library->GetDocumentation(-1, name.Receive(), description.Receive(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(name.View(), L"Corvane");
  EXPECT_EQ(description.View(), L"Performs guiding based on multiple guide stars");

  ComPtr<ITypeInfo> plugInInterface;
  ASSERT_EQ(library->GetTypeInfoOfGuid(kPlugInInterface, &plugInInterface), S_OK);
  TYPEATTR* type = nullptr;
  ASSERT_EQ(plugInInterface->GetTypeAttr(&type), S_OK);
  const WORD flags = type->wTypeFlags;
  plugInInterface->ReleaseTypeAttr(type);
  EXPECT_NE(flags & TYPEFLAG_FDUAL, 0);
  EXPECT_NE(flags & TYPEFLAG_FHIDDEN, 0);
  EXPECT_NE(flags & TYPEFLAG_FNONEXTENSIBLE, 0);
  // Its vtable side is automation compatible.
  HREFTYPE vtableReference = 0;
  ASSERT_EQ(plugInInterface->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableReference), S_OK);
  ComPtr<ITypeInfo> vtableSide;
  ASSERT_EQ(plugInInterface->GetRefTypeInfo(vtableReference, &vtableSide), S_OK);
  ASSERT_EQ(vtableSide->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_INTERFACE);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0);
  vtableSide->ReleaseTypeAttr(type);

  ComPtr<ITypeInfo> plugInClass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(kPlugInClass, &plugInClass), S_OK);
  ASSERT_EQ(plugInClass->GetTypeAttr(&type), S_OK);
  EXPECT_EQ(type->typekind, TKIND_COCLASS);
  EXPECT_NE(type->wTypeFlags & TYPEFLAG_FCANCREATE, 0);
  plugInClass->ReleaseTypeAttr(type);
}

TEST_F(PlugInModule, PlugInAnswersThroughIDispatch) {
  ComPtr<IDispatch> plugIn = CreatePlugIn();
  ASSERT_TRUE(plugIn);
  EXPECT_EQ(IdOf(plugIn.Get(), L"CCDCamera_Notify"), 0x60030001);
  EXPECT_EQ(IdOf(plugIn.Get(), L"DoModal"), 0x60030002);
  EXPECT_EQ(IdOf(plugIn.Get(), L"Name"), 0x68030000);

  DispatchObject object(plugIn);
  for (int read = 0; read < 2; ++read) {
    const Variant name = object.Get({L"Name"});
    ASSERT_EQ(name.Type(), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&name.Get()), L"Corvane");
  }
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(plugIn.As(&errorInfo), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(kPlugInInterface), S_OK);
}

TEST_F(PlugInModule, AFailedRunComesBackAsTheFailureWithItsDescription) {
  // No MaxIm.Application is registered in this test's prefix: the run fails at its first step.
  ComPtr<IDispatch> plugIn = CreatePlugIn();
  ASSERT_TRUE(plugIn);
  VARIANT document;
  VariantInit(&document);
  V_VT(&document) = VT_DISPATCH;
  V_DISPATCH(&document) = nullptr;
  DISPPARAMS parameters{&document, nullptr, 1, 0};
  ExcepInfo exception;
  const HRESULT hr = plugIn->Invoke(0x60030002, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                    &parameters, nullptr, exception.Receive(), nullptr);
  EXPECT_EQ(hr, DISP_E_EXCEPTION);
  const EXCEPINFO& info = exception.Filled();
  EXPECT_TRUE(FAILED(info.scode));
  ASSERT_NE(info.bstrDescription, nullptr);
  // What failed and why, also where the system has no text for the code (under Wine).
  const std::wstring shown = info.bstrDescription;
  const std::wstring what = L"Cannot create MaxIm.Application: ";
  ASSERT_EQ(shown.rfind(what, 0), 0u) << Narrow(shown);
  EXPECT_GT(shown.size(), what.size()) << Narrow(shown);

  // The same through the vtable: the HRESULT itself, the description in IErrorInfo.
  ComPtr<IUnknown> dual;
  ASSERT_EQ(plugIn->QueryInterface(kPlugInInterface, &dual), S_OK);
  using DoModalSlot = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, IDispatch*);
  // _PlugIn's slots: IUnknown (3), IDispatch (4), CCDCamera_Notify, DoModal, get_Name.
  auto doModal = (*reinterpret_cast<DoModalSlot**>(dual.Get()))[8];
  SetErrorInfo(0, nullptr);
  const HRESULT direct = doModal(dual.Get(), nullptr);
  EXPECT_EQ(direct, info.scode);
  ComPtr<IErrorInfo> error;
  ASSERT_EQ(GetErrorInfo(0, &error), S_OK);
  Bstr description;
  error->GetDescription(description.Receive());
  EXPECT_EQ(description.View(), std::wstring_view(info.bstrDescription));
}

// A host document the plug-in must not call.
struct UnusedDocument final : host::Document {
  std::string DisplayName() override { Unused(); }
  double PointerReady() override { return Unused(); }
  bool PointerDown() override { return Unused(); }
  double PointerX() override { return Unused(); }
  double PointerY() override { return Unused(); }
  host::HostArray PointInformation(std::int16_t, std::int16_t) override { Unused(); }
  [[noreturn]] static int Unused() {
    throw RunFailure(FailureKind::Host, "the document was used", static_cast<std::int32_t>(E_FAIL));
  }
};

// A host application object the plug-in must not call; it does not answer the document's IID.
struct UnusedApplication final : host::Application {
  void SetTelescopeConnected(bool) override { UnusedDocument::Unused(); }
  bool TelescopeConnected() override { UnusedDocument::Unused(); }
  std::unique_ptr<host::DocumentCollection> Documents() override { UnusedDocument::Unused(); }
};

// DoModal(Doc) through IDispatch with one object as Doc; the HRESULT and EXCEPINFO it gave.
HRESULT DoModalWith(IDispatch* plugIn, IDispatch* passed, ExcepInfo& exception) {
  VARIANT document;
  VariantInit(&document);
  V_VT(&document) = VT_DISPATCH;
  V_DISPATCH(&document) = passed;
  DISPPARAMS parameters{&document, nullptr, 1, 0};
  return plugIn->Invoke(0x60030002, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters,
                        nullptr, exception.Receive(), nullptr);
}

TEST_F(PlugInModule, DoModalHoldsTheHostsDocumentOnlyForTheCall) {
  ComPtr<IDispatch> plugIn = CreatePlugIn();
  ASSERT_TRUE(plugIn);
  auto session = std::make_shared<hostcom::HostSession>();
  {
    ComPtr<IDispatch> document = hostcom::MakeDocument(std::make_unique<UnusedDocument>(), session);
    ExcepInfo exception;
    // The run fails at its first step (no MaxIm.Application here), as it does without a document.
    EXPECT_EQ(DoModalWith(plugIn.Get(), document.Get(), exception), DISP_E_EXCEPTION);
    const EXCEPINFO& info = exception.Filled();
    ASSERT_NE(info.bstrDescription, nullptr);
    EXPECT_NE(std::wstring(info.bstrDescription).find(L"MaxIm.Application"), std::wstring::npos);
    EXPECT_EQ(session->Calls().size(), 0u);  // the document is not otherwise used
  }
  EXPECT_EQ(hostcom::LiveObjectCount(), 0);  // and not kept
}

TEST_F(PlugInModule, ThroughIDispatchDocIsTypedAsTheHostsDocument) {
  // The type library types Doc as the host's document interface, so late-bound callers must
  // pass an object that answers its IID; another object is refused before the run starts.
  ComPtr<IDispatch> plugIn = CreatePlugIn();
  ASSERT_TRUE(plugIn);
  auto session = std::make_shared<hostcom::HostSession>();
  {
    ComPtr<IDispatch> application =
        hostcom::MakeApplication(std::make_unique<UnusedApplication>(), session);
    ExcepInfo exception;
    const HRESULT hr = DoModalWith(plugIn.Get(), application.Get(), exception);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_NE(hr, DISP_E_EXCEPTION);  // refused by the type library (E_NOINTERFACE under Wine)
    EXPECT_EQ(session->Calls().size(), 0u);
  }
  EXPECT_EQ(hostcom::LiveObjectCount(), 0);
}

TEST_F(PlugInModule, CanUnloadOnlyWhenNoObjectIsAliveAndTheServerIsNotLocked) {
  EXPECT_EQ(canUnloadNow(), S_OK);
  ComPtr<IDispatch> plugIn = CreatePlugIn();
  ASSERT_TRUE(plugIn);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  plugIn.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(kPlugInClass, IID_IClassFactory, &factory), S_OK);
  factory->LockServer(TRUE);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnloadNow(), S_OK);

  ComPtr<IClassFactory> other;
  EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &other), CLASS_E_CLASSNOTAVAILABLE);
}

}  // namespace
}  // namespace corvane::win
