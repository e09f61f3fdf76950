// The host's automation objects served by corvane_hostcom, called the way a plug-in calls them:
// through IDispatch, by name or by dispatch identifier, with whatever VARIANT types it passes.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "base/RunFailure.h"
#include "hostkit/ScriptedScene.h"
#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/DialogDriver.h"
#include "hostkit/win/HostComObjects.h"
#include "win/AutomationValues.h"

namespace corvane::testhost {
namespace {

using hostcom::HostSession;
using hostkit::GuiderSettings;
using hostkit::HostRecord;
using hostkit::HostScript;
using hostkit::Point;
using hostkit::ScriptedHost;
using hostkit::Star;
using Microsoft::WRL::ComPtr;
using win::Variant;

struct Reply {
  HRESULT result = S_OK;
  Variant value;
  win::ExcepInfo exception;
  UINT argumentError = 0;
  std::wstring Description() {
    const BSTR text = exception.Filled().bstrDescription;
    return text ? text : L"";
  }
};

DISPID IdOf(IDispatch* object, const wchar_t* name, HRESULT* result = nullptr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (result) *result = hr;
  return id;
}

// Arguments in call order; a property put passes its value as the one named argument.
std::unique_ptr<Reply> Invoke(IDispatch* object, DISPID id, WORD flags,
                              std::vector<VARIANT> arguments = {}) {
  auto reply = std::make_unique<Reply>();
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  reply->result =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, reply->value.Receive(),
                     reply->exception.Receive(), &reply->argumentError);
  return reply;
}

VARIANT Of(VARTYPE type, double value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_R8;
  V_R8(&v) = value;
  VariantChangeType(&v, &v, 0, type);
  return v;
}

class HostObjects : public ::testing::Test {
 protected:
  // Every object the test was handed is released by now: none may be left.
  void TearDown() override {
    camera.Reset();
    application.Reset();
    EXPECT_EQ(hostcom::LiveObjectCount(), 0);
  }

  std::shared_ptr<HostSession> session = std::make_shared<HostSession>();
  ScriptedHost host{[] {
    HostScript script;
    script.stars = {{{100, 200}, 25}};
    script.pointInformationLowerBound = 1;
    return script;
  }()};
  ComPtr<IDispatch> camera = hostcom::MakeCamera(host.CreateCamera(), session);
  ComPtr<IDispatch> application = hostcom::MakeApplication(host.CreateApplication(), session);
};

TEST_F(HostObjects, ApplicationAndCameraAnswerTheirMembersByNameInAnyLetterCase) {
  for (const wchar_t* name :
       {L"LinkEnabled", L"DisableAutoShutdown", L"EventMask", L"GuiderExpose", L"GuiderRunning",
        L"GuiderXSize", L"GuiderYSize", L"GuiderAngle", L"GuiderDeclination", L"GuiderReverseX",
        L"GuiderAggressiveness", L"GuiderXSpeed", L"GuiderYSpeed", L"GuiderOutputEnables",
        L"GuiderMove", L"GuiderMoving", L"guidermove"}) {
    HRESULT result = E_FAIL;
    EXPECT_NE(IdOf(camera.Get(), name, &result), DISPID_UNKNOWN) << win::Narrow(name);
    EXPECT_EQ(result, S_OK);
  }
  for (const wchar_t* name : {L"TelescopeConnected", L"Documents"}) {
    EXPECT_NE(IdOf(application.Get(), name), DISPID_UNKNOWN) << win::Narrow(name);
  }
  HRESULT unknown = S_OK;
  EXPECT_EQ(IdOf(camera.Get(), L"GuiderExposure", &unknown), DISPID_UNKNOWN);
  EXPECT_EQ(unknown, DISP_E_UNKNOWNNAME);
  EXPECT_EQ(Invoke(camera.Get(), 4711, DISPATCH_PROPERTYGET)->result, DISP_E_MEMBERNOTFOUND);
}

TEST_F(HostObjects, EveryCallIsRecordedWithTheTypesOfItsArguments) {
  VARIANT r8 = Of(VT_R8, 0.25);
  VARIANT byReference;
  VariantInit(&byReference);
  V_VT(&byReference) = VT_BYREF | VT_R8;
  V_R8REF(&byReference) = &V_R8(&r8);
  VARIANT r4 = Of(VT_R4, 0.5);  // a reference to an automation value holding a 32-bit float
  VARIANT toVariant;
  VariantInit(&toVariant);
  V_VT(&toVariant) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&toVariant) = &r4;

  EXPECT_EQ(
      Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderExpose"), DISPATCH_METHOD, {Of(VT_R4, 2.5)})
          ->result,
      S_OK);
  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"EventMask"), DISPATCH_PROPERTYPUT,
                   {Of(VT_I4, 32768)})
                ->result,
            S_OK);
  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMove"), DISPATCH_METHOD,
                   {Of(VT_I2, 0), byReference})
                ->result,
            S_OK);
  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMove"), DISPATCH_METHOD,
                   {Of(VT_I4, 3), Of(VT_I2, 0)})
                ->result,
            S_OK);
  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMove"), DISPATCH_METHOD,
                   {Of(VT_I2, 0), toVariant})
                ->result,
            S_OK);

  const auto calls = session->Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].object, "Camera");
  EXPECT_EQ(calls[0].member, "GuiderExpose");
  EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
  ASSERT_EQ(calls[0].arguments.size(), 1u);
  EXPECT_EQ(calls[0].arguments[0].type, VT_R4);
  EXPECT_EQ(calls[0].arguments[0].number, 2.5);
  EXPECT_TRUE(calls[1].IsPut());
  EXPECT_EQ(calls[1].arguments[0].type, VT_I4);
  EXPECT_EQ(calls[1].arguments[0].number, 32768);
  EXPECT_EQ(calls[2].arguments[0].type, VT_I2);
  EXPECT_EQ(calls[2].arguments[1].type, VT_BYREF | VT_R8);
  EXPECT_EQ(calls[2].arguments[1].number, 0.25);
  EXPECT_EQ(calls[4].arguments[1].type, VT_BYREF | VT_VARIANT);
  EXPECT_EQ(calls[4].arguments[1].heldType, VT_R4);
  EXPECT_EQ(calls[4].arguments[1].number, 0.5);

  // The backend receives the values converted, the duration with the type it came in.
  const auto& record = host.Record();
  EXPECT_EQ(record.exposures, std::vector<float>{2.5f});
  EXPECT_EQ(record.eventMask, 32768);
  ASSERT_EQ(record.moves.size(), 3u);
  EXPECT_EQ(record.moves[0].direction, 0);
  EXPECT_EQ(record.moves[0].seconds,
            (host::HostNumber{host::HostNumber::Type::Double, 0.25, true}));
  EXPECT_EQ(record.moves[1].direction, 3);
  EXPECT_EQ(record.moves[1].seconds, (host::HostNumber{host::HostNumber::Type::Integer, 0, false}));
  EXPECT_EQ(record.moves[2].seconds,
            (host::HostNumber{host::HostNumber::Type::Single, 0.5, true, true}));
}

TEST_F(HostObjects, ArgumentsAreConvertedFromWhateverTypeArrives) {
  Variant text = Variant::Text(L"1.5");
  VARIANT textArgument = text.Get();
  EXPECT_EQ(
      Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderExpose"), DISPATCH_METHOD, {textArgument})
          ->result,
      S_OK);
  EXPECT_EQ(host.Record().exposures, std::vector<float>{1.5f});

  Variant letters = Variant::Text(L"abc");
  VARIANT lettersArgument = letters.Get();
  const auto refused = Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMove"), DISPATCH_METHOD,
                              {lettersArgument, Of(VT_R8, 1)});
  EXPECT_EQ(refused->result, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(refused->argumentError, 1u);  // IDispatch counts from the last argument

  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMove"), DISPATCH_METHOD, {Of(VT_I2, 1)})
                ->result,
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(host.Record().moves.size(), 0u);
}

TEST_F(HostObjects, PropertiesAreReadAndWritten) {
  const DISPID link = IdOf(camera.Get(), L"LinkEnabled");
  VARIANT on;
  VariantInit(&on);
  V_VT(&on) = VT_BOOL;
  V_BOOL(&on) = VARIANT_TRUE;
  EXPECT_EQ(Invoke(camera.Get(), link, DISPATCH_PROPERTYPUT, {on})->result, S_OK);
  const auto read = Invoke(camera.Get(), link, DISPATCH_PROPERTYGET | DISPATCH_METHOD);
  EXPECT_EQ(read->value.Type(), VT_BOOL);
  EXPECT_EQ(V_BOOL(&read->value.Get()), VARIANT_TRUE);

  const auto speed =
      Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderXSpeed"), DISPATCH_PROPERTYGET);
  EXPECT_EQ(speed->value.Type(), VT_R8);
  EXPECT_EQ(V_R8(&speed->value.Get()), 5.0);
  // A read-only property refuses a write.
  EXPECT_EQ(Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderXSpeed"), DISPATCH_PROPERTYPUT,
                   {Of(VT_R8, 1)})
                ->result,
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(HostObjects, DocumentsAreReachedByDispatchIdentifier) {
  const auto documents =
      Invoke(application.Get(), IdOf(application.Get(), L"Documents"), DISPATCH_PROPERTYGET);
  ASSERT_EQ(documents->value.Type(), VT_DISPATCH);
  IDispatch* collection = V_DISPATCH(&documents->value.Get());
  ComPtr<IUnknown> asHostCollection;
  EXPECT_EQ(collection->QueryInterface(hostcom::kDocumentsIid, &asHostCollection), S_OK);

  const auto count = Invoke(collection, hostcom::kCountId, DISPATCH_PROPERTYGET);
  EXPECT_EQ(V_R8(&count->value.Get()), 1.0);
  const auto item = Invoke(collection, hostcom::kItemId, DISPATCH_METHOD, {Of(VT_I2, 1)});
  ASSERT_EQ(item->value.Type(), VT_DISPATCH);
  IDispatch* document = V_DISPATCH(&item->value.Get());
  ComPtr<IUnknown> asHostDocument;
  EXPECT_EQ(document->QueryInterface(hostcom::kDocumentIid, &asHostDocument), S_OK);

  // DisplayName by name; the pointer members only by identifier.
  const auto name = Invoke(document, IdOf(document, L"DisplayName"), DISPATCH_PROPERTYGET);
  ASSERT_EQ(name->value.Type(), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&name->value.Get()), L"Autoguider Image");
  EXPECT_EQ(IdOf(document, L"PointerX"), DISPID_UNKNOWN);
  EXPECT_EQ(Invoke(document, hostcom::kPointerReadyId, DISPATCH_PROPERTYGET)->result, S_OK);

  // An index past the last document is the host's error.
  const auto missing = Invoke(collection, hostcom::kItemId, DISPATCH_METHOD, {Of(VT_I2, 2)});
  EXPECT_EQ(missing->result, DISP_E_EXCEPTION);
}

TEST_F(HostObjects, PointInformationReturnsVariantsWithTheHostsLowerBound) {
  const auto documents =
      Invoke(application.Get(), IdOf(application.Get(), L"Documents"), DISPATCH_PROPERTYGET);
  const auto item = Invoke(V_DISPATCH(&documents->value.Get()), hostcom::kItemId, DISPATCH_METHOD,
                           {Of(VT_I2, 1)});
  IDispatch* document = V_DISPATCH(&item->value.Get());

  SHORT y = 203;
  VARIANT yByReference;
  VariantInit(&yByReference);
  V_VT(&yByReference) = VT_BYREF | VT_I2;
  V_I2REF(&yByReference) = &y;
  const auto info = Invoke(document, hostcom::kPointInformationId, DISPATCH_METHOD,
                           {Of(VT_I2, 98), yByReference});
  ASSERT_EQ(info->result, S_OK);
  ASSERT_EQ(info->value.Type(), VT_ARRAY | VT_VARIANT);
  SAFEARRAY* array = V_ARRAY(&info->value.Get());
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_GE(upper, 12);
  auto element = [array](LONG index) {
    Variant value;
    SafeArrayGetElement(array, &index, value.Receive());
    return value;
  };
  EXPECT_EQ(V_R8(&element(6).Get()), 100.0);  // the star near (98, 203)
  EXPECT_EQ(V_R8(&element(7).Get()), 200.0);
  EXPECT_EQ(V_R8(&element(12).Get()), 25.0);
  const auto calls = session->CallsOf("PointInformation");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].arguments[1].type, VT_BYREF | VT_I2);
  EXPECT_EQ(calls[0].arguments[1].number, 203);
}

TEST_F(HostObjects, AnElementThatIsNoNumberArrivesAsText) {
  struct ShortArrayDocument : host::Document {
    std::string DisplayName() override { return "Autoguider Image"; }
    double PointerReady() override { return 1; }
    bool PointerDown() override { return false; }
    double PointerX() override { return 0; }
    double PointerY() override { return 0; }
    host::HostArray PointInformation(std::int16_t, std::int16_t) override {
      return {0, {1.0, std::nullopt}};
    }
  };
  auto document = hostcom::MakeDocument(std::make_unique<ShortArrayDocument>(), session);
  const auto info = Invoke(document.Get(), hostcom::kPointInformationId, DISPATCH_METHOD,
                           {Of(VT_I2, 1), Of(VT_I2, 1)});
  SAFEARRAY* array = V_ARRAY(&info->value.Get());
  LONG index = 1;
  Variant second;
  SafeArrayGetElement(array, &index, second.Receive());
  EXPECT_EQ(second.Type(), VT_BSTR);
  Variant number;
  EXPECT_TRUE(
      FAILED(VariantChangeType(number.Receive(), const_cast<VARIANT*>(&second.Get()), 0, VT_R8)));
}

TEST_F(HostObjects, AHostFailureBecomesAnExceptionWithItsDescription) {
  session->SetOverride([](const hostcom::RecordedCall& call) -> std::optional<Variant> {
    if (call.member == "GuiderXSpeed") {
      throw RunFailure(FailureKind::Host, "Guider is not calibrated", 0x80040201);
    }
    if (call.member == "GuiderYSpeed") throw RunFailure(FailureKind::Host, "No code");
    return std::nullopt;
  });
  const auto x = Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderXSpeed"), DISPATCH_PROPERTYGET);
  EXPECT_EQ(x->result, DISP_E_EXCEPTION);
  EXPECT_EQ(x->exception.Filled().scode, static_cast<HRESULT>(0x80040201));
  EXPECT_EQ(x->Description(), L"Guider is not calibrated");
  const auto y = Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderYSpeed"), DISPATCH_PROPERTYGET);
  EXPECT_EQ(y->result, DISP_E_EXCEPTION);
  EXPECT_EQ(y->exception.Filled().scode, E_FAIL);
  // The failed calls are in the log too.
  EXPECT_EQ(session->Calls().size(), 2u);
}

TEST_F(HostObjects, ATestCanReplaceAReplyRaw) {
  session->SetOverride([](const hostcom::RecordedCall& call) -> std::optional<Variant> {
    if (call.member == "GuiderRunning") return Variant::Null();
    return std::nullopt;
  });
  const auto running =
      Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderRunning"), DISPATCH_PROPERTYGET);
  EXPECT_EQ(running->value.Type(), VT_NULL);
  const auto moving =
      Invoke(camera.Get(), IdOf(camera.Get(), L"GuiderMoving"), DISPATCH_PROPERTYGET);
  EXPECT_EQ(moving->value.Type(), VT_BOOL);
}

TEST_F(HostObjects, LiveObjectsAreCountedUntilTheirLastRelease) {
  EXPECT_EQ(hostcom::LiveObjectCount(), 2);
  {
    const auto documents =
        Invoke(application.Get(), IdOf(application.Get(), L"Documents"), DISPATCH_PROPERTYGET);
    const auto item = Invoke(V_DISPATCH(&documents->value.Get()), hostcom::kItemId, DISPATCH_METHOD,
                             {Of(VT_I2, 1)});
    EXPECT_EQ(hostcom::LiveObjectCount(), 4);
  }
  EXPECT_EQ(hostcom::LiveObjectCount(), 2);
  camera.Reset();
  application.Reset();
  EXPECT_EQ(hostcom::LiveObjectCount(), 0);
}

// Class registration for the lifetime of a program.
class ClassRegistrationTest : public ::testing::Test {
 protected:
  // The test's own prefix: whatever an earlier program left under these ProgIDs goes first.
  void SetUp() override {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"MaxIm.Application");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"MaxIm.CCDCamera");
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"MaxIm.Application");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\{0E1F4C32-7A55-4C1B-9E80-3D2B61C0FFEE}");
  }
  static std::optional<std::wstring> ProgIdClsid() {
    wchar_t value[64] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"MaxIm.Application\\CLSID", nullptr, RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::wstring(value);
  }
  static void WriteClasses(const wchar_t* path, const wchar_t* value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, path, nullptr, REG_SZ, value,
                    static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  }

  std::shared_ptr<HostSession> session = std::make_shared<HostSession>();
  ScriptedHost host{HostScript{}};
};

TEST_F(ClassRegistrationTest, CreationByProgIdReachesThisProgramsObjectsUntilItEnds) {
  ASSERT_FALSE(ProgIdClsid());
  {
    hostcom::HostRegistration registration(
        session, [this] { return host.CreateApplication(); },
        [this] { return host.CreateCamera(); });
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"MaxIm.Application", &clsid), S_OK);
    EXPECT_EQ(clsid, hostcom::kApplicationClsid);
    ComPtr<IDispatch> camera;
    ASSERT_EQ(CLSIDFromProgID(L"MaxIm.CCDCamera", &clsid), S_OK);
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(camera.GetAddressOf())),
              S_OK);
    EXPECT_EQ(host.Record().camerasCreated, 1);
    EXPECT_NE(IdOf(camera.Get(), L"GuiderMove"), DISPID_UNKNOWN);
  }
  EXPECT_FALSE(ProgIdClsid());
  CLSID gone;
  EXPECT_EQ(CLSIDFromProgID(L"MaxIm.CCDCamera", &gone), CO_E_CLASSSTRING);
}

TEST_F(ClassRegistrationTest, AnInstalledHostsProgIdIsNeverTakenOver) {
  const wchar_t* installed = L"{0E1F4C32-7A55-4C1B-9E80-3D2B61C0FFEE}";
  WriteClasses(L"MaxIm.Application\\CLSID", installed);
  WriteClasses(L"CLSID\\{0E1F4C32-7A55-4C1B-9E80-3D2B61C0FFEE}\\LocalServer32",
               L"C:\\Program Files\\MaxIm DL\\MaxIm_DL.exe");
  EXPECT_THROW(hostcom::HostRegistration(
                   session, [this] { return host.CreateApplication(); },
                   [this] { return host.CreateCamera(); }),
               hostcom::RegistrationError);
  EXPECT_EQ(ProgIdClsid(), std::wstring(installed));
}

TEST_F(ClassRegistrationTest, AStaleKeyNamingNoServerIsUsedAndRestored) {
  const wchar_t* stale = L"{0E1F4C32-7A55-4C1B-9E80-3D2B61C0FFEE}";
  WriteClasses(L"MaxIm.Application\\CLSID", stale);
  {
    hostcom::HostRegistration registration(
        session, [this] { return host.CreateApplication(); },
        [this] { return host.CreateCamera(); });
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"MaxIm.Application", &clsid), S_OK);
    EXPECT_EQ(clsid, hostcom::kApplicationClsid);
  }
  EXPECT_EQ(ProgIdClsid(), std::wstring(stale));
}

// The dialog driver against a real modal dialog on this thread.
INT_PTR CALLBACK EchoDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog, 100, text, 64);
    if (std::wstring(text) != L"42") {
      MessageBoxW(dialog, (L"Not 42: " + std::wstring(text)).c_str(), L"Corvane", MB_OK);
      return TRUE;
    }
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return message == WM_INITDIALOG;
}

// An in-memory dialog template: caption "Driver test", an edit box (100) and OK.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> t;
  auto words = [&t](std::initializer_list<WORD> w) { t.insert(t.end(), w); };
  auto text = [&t](const wchar_t* s) {
    for (; *s; ++s) t.push_back(static_cast<WORD>(*s));
    t.push_back(0);
  };
  auto align = [&t] {
    if (t.size() % 2) t.push_back(0);
  };
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  words({LOWORD(style), HIWORD(style), 0, 0, 2, 10, 10, 120, 60, 0, 0});
  text(L"Driver test");
  words({8});
  text(L"Tahoma");
  auto item = [&](DWORD itemStyle, short x, short y, short cx, short cy, WORD id, WORD cls,
                  const wchar_t* caption) {
    align();
    words({LOWORD(itemStyle), HIWORD(itemStyle), 0, 0, static_cast<WORD>(x), static_cast<WORD>(y),
           static_cast<WORD>(cx), static_cast<WORD>(cy), id, 0xFFFF, cls});
    text(caption);
    words({0});
  };
  item(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 5, 5, 60, 12, 100, 0x0081, L"");
  item(WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 5, 30, 40, 14, IDOK, 0x0080, L"OK");
  return t;
}

TEST(DialogDriver, TypesPressesAndReadsMessageBoxesFromAnotherThread) {
  std::wstring seenMessage, initialText;
  bool closed = false;
  std::thread user([&] {
    namespace d = hostkit::dialogs;
    HWND dialog = d::WaitForDialog(L"Driver test", std::chrono::seconds(10));
    if (!dialog) return;
    initialText = d::GetText(dialog, 100);
    d::SetText(dialog, 100, L"41");
    d::PressButton(dialog, IDOK);
    if (HWND box = d::WaitForDialog(L"Corvane", std::chrono::seconds(10))) {
      seenMessage = d::MessageBoxText(box);
      d::PressOk(box);
      d::WaitUntilClosed(box);
    }
    d::SetText(dialog, 100, L"42");
    d::ClickButton(dialog, IDOK);
    closed = d::WaitUntilClosed(dialog, std::chrono::seconds(10));
  });
  auto t = DialogTemplate();
  const INT_PTR result = DialogBoxIndirectW(
      GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(t.data()), nullptr, EchoDialog);
  user.join();
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(initialText, L"");
  EXPECT_EQ(seenMessage, L"Not 42: 41");
  EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace corvane::testhost
