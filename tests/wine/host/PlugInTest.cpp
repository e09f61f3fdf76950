// The real Corvane.dll in a host of our own: registered with regsvr32, created by its ProgID,
// called through IDispatch only, with MaxIm.Application and MaxIm.CCDCamera served by this
// program and a user at the screen answering the dialogs and message boxes.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "base/RunFailure.h"
#include "dialogs/win/DialogIds.h"
#include "hostkit/win/ClassRegistration.h"
#include "hostkit/win/DialogDriver.h"
#include "hostkit/win/HostComObjects.h"
#include "hostkit/win/Library.h"
#include "hostkit/win/ProcessorTime.h"
#include "tests/wine/host/TestDll.h"
#include "win/AutomationValues.h"
#include "win/UniqueResource.h"

namespace corvane::testhost {
namespace {

using hostcom::RecordedCall;
using win::Variant;
using Messages = std::vector<std::wstring>;

constexpr const wchar_t* kLogPath = L"c:\\Corvane.csv";
constexpr const char* kTwoStarHeader =
    "\"Xave\",\"Yave\",\"Xoff\",\"Yoff\",\"Xtim\",\"Ytim\",\"Xpos1\",\"Ypos1\",\"Xoff1\",\"Yoff1\","
    "\"SN1\",\"Xpos2\",\"Ypos2\",\"Xoff2\",\"Yoff2\",\"SN2\",\"\"\r\n";

struct RunOutcome {
  CallOutcome call;
  Messages messages;
  std::vector<std::string> problems;
  std::optional<std::string> log;  // the guide log's bytes after the run
  long liveHostObjects = 0;        // host objects not yet released when DoModal returned
};

// Two stars the user clicks a little off; the host finds them where they are.
HostScript TwoStarSky() {
  HostScript script;
  script.stars = {{{100, 200}, 20}, {{300, 150}, 30}};
  script.clicks = {{101, 199}, {299.5, 150.5}};
  return script;
}

class HostedPlugIn : public ::testing::Test {
 protected:
  void Serve(HostScript script) {
    host = std::make_unique<ScriptedHost>(std::move(script));
    registration = std::make_unique<hostcom::HostRegistration>(
        session, [this] { return host->CreateApplication(); },
        [this] { return host->CreateCamera(); });
    plugin = std::make_unique<PlugInClient>();
    // The host's camera events reach the plug-in nested on this thread, as MaxIm DL sends them.
    host->SetNotify([this](std::int16_t code) { plugin->CCDCamera_Notify(code); });
  }

  RunOutcome Run(ScreenUser::Script script) {
    SetFileAttributesW(kLogPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(kLogPath);
    session->ClearCalls();
    RunOutcome outcome;
    ScreenUser user(std::move(script));
    outcome.call = plugin->DoModal();
    outcome.liveHostObjects = hostcom::LiveObjectCount();
    user.Finish();
    outcome.messages = user.Messages();
    outcome.problems = user.Problems();
    outcome.log = ReadFileBytes(kLogPath);
    // The user found every window the script waited for, and nothing was left open.
    for (const auto& problem : outcome.problems) ADD_FAILURE() << "at the screen: " << problem;
    return outcome;
  }

  void TearDown() override {
    plugin.reset();
    registration.reset();
    EXPECT_EQ(hostcom::LiveObjectCount(), 0);
  }

  // The nth call of the member fails in the host with this description and code.
  void FailAt(const std::string& member, int n, const std::string& description, std::int32_t code) {
    auto calls = std::make_shared<int>(0);
    session->SetOverride([=](const RecordedCall& call) -> std::optional<Variant> {
      if (call.member == member && ++*calls == n) {
        throw RunFailure(FailureKind::Host, description, code);
      }
      return std::nullopt;
    });
  }

  std::vector<std::string> MemberNames(const std::vector<RecordedCall>& calls, std::size_t n) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < calls.size() && i < n; ++i) {
      names.push_back(calls[i].member + (calls[i].IsPut() ? "=" : ""));
    }
    return names;
  }

  std::shared_ptr<hostcom::HostSession> session = std::make_shared<hostcom::HostSession>();
  std::unique_ptr<ScriptedHost> host;
  std::unique_ptr<hostcom::HostRegistration> registration;
  std::unique_ptr<PlugInClient> plugin;
};

// ---------------------------------------------------------------------------------------------
// Registration

std::wstring Clsid() {
  return ClassesValue(L"Corvane.PlugIn\\CLSID").value_or(L"<none>");
}

// The same file, also when one is written in the long-path form \\?\C:\...
bool SamePath(const std::optional<std::wstring>& a, const std::wstring& b) {
  if (!a) return false;
  std::wstring path = *a;
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  return CompareStringOrdinal(path.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

constexpr const wchar_t* kTypeLibPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

TEST(Registration, RecordsTheProgIdTheInProcessClassAndTheTypeLibrary) {
  const std::wstring clsid = Clsid();
  ASSERT_NE(clsid, L"<none>");
  const std::wstring classKey = L"CLSID\\" + clsid;
  EXPECT_TRUE(SamePath(ClassesValue(classKey + L"\\InprocServer32"), PlugInDllPath()));
  EXPECT_EQ(ClassesValue(classKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(ClassesValue(classKey + L"\\ProgID"), L"Corvane.PlugIn");
  const auto libid = ClassesValue(classKey + L"\\TypeLib");
  ASSERT_TRUE(libid);
  EXPECT_TRUE(SamePath(ClassesValue(L"TypeLib\\" + *libid + L"\\1.0\\0\\" + kTypeLibPlatform),
                       PlugInDllPath()));
}

TEST(Registration, UnregisteringRemovesTheEntriesAndRegisteringRestoresThem) {
  const std::wstring clsid = Clsid();
  const auto libid = ClassesValue(L"CLSID\\" + clsid + L"\\TypeLib");
  ASSERT_TRUE(libid);

  const std::wstring plugInInterface = L"Interface\\{32325873-3F55-4993-867C-F43E4FB4E4ED}";
  ASSERT_TRUE(ClassesKeyExists(plugInInterface));

  // Unregistering twice succeeds: the second finds nothing of ours left.
  for (int time = 1; time <= 2; ++time) {
    SCOPED_TRACE(time);
    EXPECT_EQ(RunRegsvr32(true), 0u);
    EXPECT_FALSE(ClassesKeyExists(L"CLSID\\" + clsid));
    EXPECT_FALSE(ClassesKeyExists(L"TypeLib\\" + *libid + L"\\1.0\\0\\" + kTypeLibPlatform));
    // The ProgID and the Interface key are shared by both registry views: they stay while the DLL
    // of the other bitness still serves the class (side by side), and go with the last one.
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    corvane::win::UniqueRegistryKey other;
    const bool otherServes =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid + L"\\InprocServer32").c_str(), 0,
                      KEY_READ | otherView, other.Receive()) == ERROR_SUCCESS;
    EXPECT_EQ(ClassesKeyExists(L"Corvane.PlugIn"), otherServes);
    EXPECT_EQ(ClassesKeyExists(plugInInterface), otherServes);
    CLSID gone;
    EXPECT_EQ(CLSIDFromProgID(L"Corvane.PlugIn", &gone) == CO_E_CLASSSTRING, !otherServes);
  }

  EXPECT_EQ(RunRegsvr32(false), 0u);
  EXPECT_EQ(Clsid(), clsid);
  EXPECT_TRUE(SamePath(ClassesValue(L"CLSID\\" + clsid + L"\\InprocServer32"), PlugInDllPath()));
}

TEST(Registration, TheTypeLibraryLoadsAndDescribesTheDualInterface) {
  GUID libid{}, clsid{};
  ASSERT_EQ(CLSIDFromString(ClassesValue(L"CLSID\\" + Clsid() + L"\\TypeLib")->c_str(), &libid),
            S_OK);
  ASSERT_EQ(CLSIDFromString(Clsid().c_str(), &clsid), S_OK);
  Microsoft::WRL::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(libid, 1, 0, LOCALE_NEUTRAL, &library), S_OK);

  win::Bstr name, doc;
  library->GetDocumentation(-1, name.Receive(), doc.Receive(), nullptr, nullptr);
  EXPECT_EQ(name.Text(), L"Corvane");
  EXPECT_EQ(doc.Text(), L"Performs guiding based on multiple guide stars");

  Microsoft::WRL::ComPtr<ITypeInfo> coclass, dispatchSide;
  ASSERT_EQ(library->GetTypeInfoOfGuid(clsid, &coclass), S_OK);
  win::Bstr className;
  coclass->GetDocumentation(MEMBERID_NIL, className.Receive(), nullptr, nullptr, nullptr);
  EXPECT_EQ(className.Text(), L"PlugIn");
  HREFTYPE reference = 0;
  ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
  ASSERT_EQ(coclass->GetRefTypeInfo(reference, &dispatchSide), S_OK);

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(dispatchSide->GetTypeAttr(&attributes), S_OK);
  const WORD flags = attributes->wTypeFlags;
  const WORD functions = attributes->cFuncs;
  dispatchSide->ReleaseTypeAttr(attributes);
  win::Bstr interfaceName;
  dispatchSide->GetDocumentation(MEMBERID_NIL, interfaceName.Receive(), nullptr, nullptr, nullptr);
  EXPECT_EQ(interfaceName.Text(), L"_PlugIn");
  EXPECT_TRUE(flags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(flags & TYPEFLAG_FHIDDEN);
  EXPECT_TRUE(flags & TYPEFLAG_FNONEXTENSIBLE);
  EXPECT_TRUE(flags & TYPEFLAG_FDISPATCHABLE);

  struct Found {
    MEMBERID id;
    INVOKEKIND kind;
    VARTYPE firstParameter;
  };
  std::map<std::wstring, Found> members;
  for (WORD i = 0; i < functions; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(dispatchSide->GetFuncDesc(i, &function))) continue;
    win::Bstr member;
    dispatchSide->GetDocumentation(function->memid, member.Receive(), nullptr, nullptr, nullptr);
    VARTYPE first = VT_EMPTY;
    if (function->cParams > 0) {
      const TYPEDESC& type = function->lprgelemdescParam[0].tdesc;
      first = type.vt == VT_PTR ? static_cast<VARTYPE>(VT_BYREF | type.lptdesc->vt) : type.vt;
    }
    members[member.Text()] = {function->memid, function->invkind, first};
    dispatchSide->ReleaseFuncDesc(function);
  }
  ASSERT_EQ(members.count(L"CCDCamera_Notify"), 1u);
  ASSERT_EQ(members.count(L"DoModal"), 1u);
  ASSERT_EQ(members.count(L"Name"), 1u);
  EXPECT_EQ(members[L"CCDCamera_Notify"].id, 0x60030001);
  EXPECT_EQ(members[L"CCDCamera_Notify"].firstParameter, VT_BYREF | VT_I2);
  EXPECT_EQ(members[L"DoModal"].id, 0x60030002);
  EXPECT_EQ(members[L"Name"].id, 0x68030000);
  EXPECT_EQ(members[L"Name"].kind, INVOKE_PROPERTYGET);

  // The live object answers the same identifiers by name.
  PlugInClient plugin;
  EXPECT_EQ(plugin.IdOf(L"CCDCamera_Notify"), 0x60030001);
  EXPECT_EQ(plugin.IdOf(L"DoModal"), 0x60030002);
  EXPECT_EQ(plugin.IdOf(L"Name"), 0x68030000);
}

// ---------------------------------------------------------------------------------------------
// The members a host calls outside a run

class Members : public HostedPlugIn {};

TEST_F(Members, NameIsCorvaneEveryTime) {
  Serve({});
  EXPECT_EQ(plugin->Name(), L"Corvane");
  EXPECT_EQ(plugin->Name(), L"Corvane");
}

TEST_F(Members, EveryCameraEventIsShownInABoxCaptionedCorvane) {
  Serve({});
  Messages seen;
  ScreenUser user([&seen](UserActions& at) {
    for (int i = 0; i < 3; ++i) seen.push_back(at.DismissMessage());
  });
  EXPECT_EQ(plugin->CCDCamera_Notify(3).result, S_OK);
  EXPECT_EQ(plugin->CCDCamera_Notify(-1).result, S_OK);
  EXPECT_EQ(plugin->CCDCamera_Notify(15).result, S_OK);
  user.Finish();
  EXPECT_EQ(seen, (Messages{L"EventCode 3 received", L"EventCode -1 received",
                            L"EventCode 15 received"}));
  EXPECT_TRUE(user.Problems().empty());
}

// ---------------------------------------------------------------------------------------------
// A complete run

class GuidingRun : public HostedPlugIn {};

class CompleteRun : public HostedPlugIn, public ::testing::WithParamInterface<std::int32_t> {};

// Both dialogs, two star picks and three guide cycles: the stars drift (+1, -0.5), come back,
// then drift (-2, +1) with the host's aggressiveness halved; the host sends event 15 during the
// third guide exposure, so that cycle completes and the run ends.
TEST_P(CompleteRun, GuidesFromBothDialogsThroughTheStarPicksToAStop) {
  HostScript script = TwoStarSky();
  script.pointInformationLowerBound = GetParam();
  script.shiftPerExposure = {{0, 0}, {1, -0.5}, {0, 0}, {-2, 1}};
  GuiderSettings halved;
  halved.aggressiveness = 5;
  script.settingsPerCycle = {{}, {}, halved};
  script.runningPolls = 2;
  script.stopEventDuringExposure = 3;
  Serve(script);

  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial(L"3");
    at.AnswerSetup({L"2"});
  });

  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"EventCode 15 received"});
  EXPECT_TRUE(run.problems.empty());
  EXPECT_EQ(run.liveHostObjects, 0);
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) +
                "201,174.5,1,-0.5,0.1,-0.05,101,199.5,1,-0.5,20,301,149.5,1,-0.5,30,\"\"\r\n"
                "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n"
                "198,176,-2,1,-0.1,0.05,98,201,-2,1,20,298,151,-2,1,30,\"\"\r\n");

  const HostRecord& record = host->Record();
  EXPECT_EQ(record.exposures, (std::vector<float>{3, 2, 2, 2}));
  EXPECT_EQ(record.eventMask, 0x8000);
  EXPECT_TRUE(record.autoShutdownDisabled);
  ASSERT_EQ(record.moves.size(), 4u);
  EXPECT_EQ(record.moves[0].direction, 0);
  EXPECT_NEAR(record.moves[0].seconds.value, 0.1, 1e-12);
  EXPECT_EQ(record.moves[1].direction, 3);
  EXPECT_NEAR(record.moves[1].seconds.value, 0.05, 1e-7);
  EXPECT_EQ(record.moves[2].direction, 1);
  EXPECT_NEAR(record.moves[2].seconds.value, 0.1, 1e-12);
  EXPECT_EQ(record.moves[3].direction, 2);
  EXPECT_NEAR(record.moves[3].seconds.value, 0.05, 1e-7);

  // Start-up talks to the host in this order.
  const auto calls = session->Calls();
  EXPECT_EQ(MemberNames(calls, 8),
            (std::vector<std::string>{"LinkEnabled=", "LinkEnabled", "DisableAutoShutdown=",
                                      "TelescopeConnected=", "TelescopeConnected",
                                      "EventMask=", "GuiderExpose", "GuiderRunning"}));

  // The argument types the host receives.
  for (const auto& call : session->CallsOf("GuiderExpose")) {
    ASSERT_EQ(call.arguments.size(), 1u);
    EXPECT_EQ(call.arguments[0].type, VT_R4);
  }
  const auto mask = session->CallsOf("EventMask");
  ASSERT_EQ(mask.size(), 1u);
  EXPECT_EQ(mask[0].arguments[0].type, VT_I4);
  EXPECT_EQ(mask[0].arguments[0].number, 32768);

  const auto moves = session->CallsOf("GuiderMove");
  ASSERT_EQ(moves.size(), 4u);
  for (const auto& move : moves) EXPECT_EQ(move.arguments[0].type, VT_I2);
  EXPECT_EQ(moves[0].arguments[1].type, VT_BYREF | VT_VARIANT);  // a reference to Xtim itself,
  EXPECT_EQ(moves[0].arguments[1].heldType, VT_R8);              // holding it as it is
  EXPECT_EQ(moves[1].arguments[1].type, VT_R4);                  // |Ytim| by value
  EXPECT_EQ(moves[2].arguments[1].type, VT_R8);                  // |Xtim| by value
  EXPECT_EQ(moves[3].arguments[1].type, VT_BYREF | VT_R4);       // a reference to Ytim

  const auto points = session->CallsOf("PointInformation");
  ASSERT_EQ(points.size(), 2u + 3u * 2u);  // two picks, then two stars per cycle
  for (const auto& point : points) {
    ASSERT_EQ(point.arguments.size(), 2u);
    EXPECT_EQ(point.arguments[0].type, VT_I2);
    EXPECT_EQ(point.arguments[1].type, VT_BYREF | VT_I2);
    EXPECT_EQ(point.dispid, hostcom::kPointInformationId);
  }
  EXPECT_EQ(points[1].arguments[0].number, 300);  // the click at 299.5, 150.5: half to even
  EXPECT_EQ(points[1].arguments[1].number, 150);
  EXPECT_EQ(points[4].arguments[0].number, 101);  // cycle 2 measures where cycle 1 found them
  EXPECT_EQ(points[4].arguments[1].number, 200);  // 199.5, half to even
  for (const auto& item : session->CallsOf("Item")) {
    EXPECT_EQ(item.arguments[0].type, VT_I2);
    EXPECT_EQ(item.dispid, hostcom::kItemId);
  }
}

INSTANTIATE_TEST_SUITE_P(PointInformationLowerBound, CompleteRun, ::testing::Values(0, 1));

TEST_F(GuidingRun, ANullGuiderRunningCountsAsFinished) {
  HostScript script = TwoStarSky();
  script.aggressivenessZeroFromCycle = 0;
  Serve(script);
  session->SetOverride([](const RecordedCall& call) -> std::optional<Variant> {
    if (call.member == "GuiderRunning") return Variant::Null();
    return std::nullopt;
  });
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(session->CallsOf("GuiderRunning").size(), 2u);  // one read per exposure
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) + "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n");
}

// A stop that arrives before guiding has begun is shown, then forgotten when guiding starts.
TEST_F(GuidingRun, AStopEventDuringTheFullFrameHasNoEffect) {
  HostScript script = TwoStarSky();
  script.stopEventDuringExposure = 0;
  script.aggressivenessZeroFromCycle = 1;
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.DismissMessage();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"EventCode 15 received"});
  EXPECT_TRUE(run.problems.empty());
  EXPECT_EQ(host->Record().exposures.size(), 3u);  // guided until the aggressiveness read 0
}

// ---------------------------------------------------------------------------------------------
// How runs end

class RunEnd : public HostedPlugIn {};

TEST_F(RunEnd, ACameraThatRefusesTheLinkEndsTheRunWithItsMessage) {
  HostScript script = TwoStarSky();
  script.linkAccepted = false;
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) { at.AnswerInitial(); });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"Failed to start camera."});
  EXPECT_TRUE(session->CallsOf("DisableAutoShutdown").empty());
  EXPECT_TRUE(session->CallsOf("TelescopeConnected").empty());
  EXPECT_TRUE(session->CallsOf("GuiderExpose").empty());
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, ATelescopeThatRefusesEndsTheRunWithItsMessage) {
  HostScript script = TwoStarSky();
  script.telescopeAccepted = false;
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) { at.AnswerInitial(); });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"Failed to connect to telescope."});
  EXPECT_TRUE(session->CallsOf("EventMask").empty());
  EXPECT_TRUE(session->CallsOf("GuiderExpose").empty());
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, ALinkLostDuringGuidingEndsTheRunAtTheNextCycle) {
  HostScript script = TwoStarSky();
  script.linkDropsAfterExposure = 2;  // after the first guide exposure
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, Messages{L"Camera disconnected."});
  EXPECT_EQ(host->Record().exposures.size(), 2u);
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) + "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n");
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, CancellingTheFirstDialogEndsSilentlyWithoutACamera) {
  Serve(TwoStarSky());
  const RunOutcome cancelled = Run([](UserActions& at) { at.Cancel(L"Initial Exposure"); });
  EXPECT_EQ(cancelled.call.result, S_OK);
  EXPECT_TRUE(cancelled.messages.empty());
  EXPECT_EQ(host->Record().camerasCreated, 0);
  const RunOutcome closed = Run([](UserActions& at) { at.CloseByCloseBox(L"Initial Exposure"); });
  EXPECT_EQ(closed.call.result, S_OK);
  EXPECT_TRUE(closed.messages.empty());
  EXPECT_EQ(host->Record().camerasCreated, 0);
  EXPECT_EQ(closed.liveHostObjects, 0);
}

TEST_F(RunEnd, CancellingTheSetupEndsSilentlyAfterTheFullFrameWithoutALog) {
  Serve(TwoStarSky());
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.Cancel(L"Guide star setup");
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(host->Record().exposures, std::vector<float>{6});
  EXPECT_FALSE(run.log);
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, WithoutAnAutoguiderImageTheRunEndsSilentlyWithoutALog) {
  HostScript script = TwoStarSky();
  script.documentNames = {"Light 1", "autoguider image"};  // letter case counts
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_FALSE(run.log);
  EXPECT_TRUE(session->CallsOf("PointInformation").empty());
  EXPECT_EQ(session->CallsOf("DisplayName").size(), 2u);
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, AGuiderImageClosedDuringGuidingEndsTheRunSilently) {
  HostScript script = TwoStarSky();
  script.documentNames = {"Light 1", "Autoguider Image"};
  script.imageClosedAfterExposure = 3;  // gone after the second guide exposure
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) + "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n");
  EXPECT_EQ(run.liveHostObjects, 0);
}

// The host fails in the second guide cycle: DoModal returns the host's code and description,
// and the log holds the first cycle's row.
TEST_F(RunEnd, AHostFailureIsReturnedByDoModalWithItsDescription) {
  Serve(TwoStarSky());
  FailAt("GuiderXSpeed", 2, "Guider is not calibrated", static_cast<std::int32_t>(0x80040201));
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, DISP_E_EXCEPTION);
  EXPECT_EQ(run.call.scode, static_cast<HRESULT>(0x80040201));
  EXPECT_NE(run.call.description.find(L"Guider is not calibrated"), std::wstring::npos)
      << win::Narrow(run.call.description);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(host->Record().exposures.size(), 3u);
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) + "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n");
  EXPECT_EQ(run.liveHostObjects, 0);
}

TEST_F(RunEnd, APointInformationResultTooShortFailsTheRun) {
  Serve(TwoStarSky());
  session->SetOverride([](const RecordedCall& call) -> std::optional<Variant> {
    if (call.member != "PointInformation") return std::nullopt;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 7);  // elements 0 to 6 only
    Variant result;
    VARIANT* slot = result.Receive();
    V_VT(slot) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(slot) = array;
    return result;
  });
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, DISP_E_EXCEPTION);
  EXPECT_TRUE(FAILED(run.call.scode));
  EXPECT_FALSE(run.call.description.empty());
  EXPECT_EQ(session->CallsOf("PointInformation").size(), 1u);  // the first pick already fails
  EXPECT_FALSE(run.log);
  EXPECT_EQ(run.liveHostObjects, 0);
}

// Where c:\Corvane.csv cannot be created, the log goes to the user's Documents folder, and the
// user is told so once, before guiding starts.
TEST_F(RunEnd, ALogThatCannotBeWrittenToCGoesToDocuments) {
  HostScript script = TwoStarSky();
  script.aggressivenessZeroFromCycle = 0;
  Serve(script);
  corvane::win::UniqueCoTaskMem<wchar_t> folder;
  ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, folder.Receive()), S_OK);
  const std::wstring documentsLog = std::wstring(folder.Get()) + L"\\Corvane.csv";
  DeleteFileW(documentsLog.c_str());

  struct Blocked {  // a folder where the file should be
    Blocked() { CreateDirectoryW(kLogPath, nullptr); }
    ~Blocked() { RemoveDirectoryW(kLogPath); }
  } blocked;
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
    at.DismissMessage();
  });
  EXPECT_EQ(run.call.result, S_OK);
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_NE(run.messages[0].find(documentsLog), std::wstring::npos) << win::Narrow(run.messages[0]);
  EXPECT_EQ(ReadFileBytes(documentsLog),
            std::string(kTwoStarHeader) + "200,175,0,0,0,0,100,200,0,0,20,300,150,0,0,30,\"\"\r\n");
  DeleteFileW(documentsLog.c_str());
}

// ---------------------------------------------------------------------------------------------
// Typing into the dialogs

class DialogInput : public HostedPlugIn {};

TEST_F(DialogInput, ATextThatIsNoNumberKeepsTheInitialDialogOpen) {
  Serve(TwoStarSky());
  bool stillOpen = false;
  std::wstring textLeft;
  const RunOutcome run = Run([&stillOpen, &textLeft](UserActions& at) {
    HWND dialog = at.Dialog(L"Initial Exposure");
    at.AnswerInitial(L"abc");
    at.DismissMessage();
    stillOpen = hostkit::dialogs::FindDialog(L"Initial Exposure") == dialog;
    textLeft = hostkit::dialogs::GetText(dialog, dialog_ids::kNumber1);
    at.AnswerInitial(L"2");
    at.Cancel(L"Guide star setup");
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(textLeft, L"abc");
  EXPECT_EQ(run.messages, Messages{L"Please enter a number"});
  EXPECT_EQ(host->Record().exposures, std::vector<float>{2});
  EXPECT_TRUE(run.problems.empty());
}

TEST_F(DialogInput, AnOutOfRangeStarCountKeepsTheSetupDialogOpen) {
  HostScript script = TwoStarSky();
  script.clicks = {{101, 199}};
  script.aggressivenessZeroFromCycle = 0;
  Serve(script);
  bool stillOpen = false;
  const RunOutcome run = Run([&stillOpen](UserActions& at) {
    at.AnswerInitial();
    HWND dialog = at.Dialog(L"Guide star setup");
    at.AnswerSetup({L"11"});
    at.DismissMessage();
    stillOpen = hostkit::dialogs::FindDialog(L"Guide star setup") == dialog;
    at.AnswerSetup({L"1"});
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(run.messages, Messages{L"Please enter a number"});
  EXPECT_EQ(session->CallsOf("PointInformation").size(), 2u);  // one pick, one cycle
}

// In a German locale the user types a decimal comma (a point is refused, where OLE Automation
// would have read "0.5" as 5), and the guide log keeps its decimal point.
TEST_F(DialogInput, GermanNumbersAreTypedWithACommaAndLoggedWithAPoint) {
  wchar_t separator[8] = {};
  GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
  if (std::wstring(separator) != L",") {
    if (std::getenv("CORVANE_EXPECT_DECIMAL_COMMA")) FAIL() << "the locale has no decimal comma";
    GTEST_SKIP() << "runs in a locale with a decimal comma (host.GermanLocale)";
  }
  HostScript script = TwoStarSky();
  script.shiftPerExposure = {{0, 0}, {1, -0.5}};
  script.stopEventDuringExposure = 1;
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial(L"0.5");
    at.DismissMessage();
    at.AnswerInitial(L"0,5");
    at.AnswerSetup({L"2", std::nullopt, std::nullopt, L"1,5", L"0,01", L"2,00", std::nullopt});
  });
  EXPECT_EQ(run.call.result, S_OK);
  EXPECT_EQ(run.messages, (Messages{L"Please enter a number", L"EventCode 15 received"}));
  EXPECT_EQ(host->Record().exposures, (std::vector<float>{0.5f, 1.5f}));
  EXPECT_EQ(run.log,
            std::string(kTwoStarHeader) +
                "201,174.5,1,-0.5,0.1,-0.05,101,199.5,1,-0.5,20,301,149.5,1,-0.5,30,\"\"\r\n");
}

// ---------------------------------------------------------------------------------------------
// Lifetime

class Lifetime : public HostedPlugIn {};

TEST_F(Lifetime, HostObjectsAreReleasedAfterEveryRunAndTheModuleMayUnloadAfterwards) {
  HostScript script = TwoStarSky();
  script.stopEventDuringExposure = 1;
  Serve(script);
  for (int run = 0; run < 2; ++run) {
    const RunOutcome outcome = Run([](UserActions& at) {
      at.AnswerInitial();
      at.AnswerSetup({L"2"});
      at.DismissMessage();  // the stop event below
    });
    EXPECT_EQ(outcome.liveHostObjects, 0) << "run " << run;
  }

  const hostkit::Library module(PlugInDllPath());
  ASSERT_TRUE(module);
  ASSERT_NE(module.Export<HRESULT STDAPICALLTYPE()>("DllCanUnloadNow"), nullptr);
  EXPECT_EQ(module.Call("DllCanUnloadNow"), S_FALSE);  // the plug-in object is still held
  plugin.reset();
  EXPECT_EQ(module.Call("DllCanUnloadNow"), S_OK);
}

// The host passes its document to DoModal; the plug-in holds it for the call only.
TEST_F(Lifetime, TheDocumentPassedToDoModalIsHeldForTheCallOnly) {
  HostScript script = TwoStarSky();
  script.aggressivenessZeroFromCycle = 0;
  Serve(script);
  struct LightFrame : host::Document {
    std::string DisplayName() override { return "Light 1"; }
    double PointerReady() override { return 0; }
    bool PointerDown() override { return false; }
    double PointerX() override { return 0; }
    double PointerY() override { return 0; }
    host::HostArray PointInformation(std::int16_t, std::int16_t) override { return {}; }
  };
  auto doc = hostcom::MakeDocument(std::make_unique<LightFrame>(), session);
  ScreenUser user([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  const CallOutcome call = plugin->DoModal(doc.Get());
  user.Finish();
  EXPECT_EQ(call.result, S_OK);
  EXPECT_EQ(host->Record().exposures.size(), 2u);  // it guided as without a document
  EXPECT_EQ(hostcom::LiveObjectCount(), 1);        // only the document, held by us
  doc->AddRef();
  EXPECT_EQ(doc->Release(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Figures: processor time used while the plug-in waits (printed, not asserted)

class Figures : public HostedPlugIn {};

TEST_F(Figures, CpuDuringTenSecondWaits) {
  HostScript script = TwoStarSky();
  script.fullFrameTime = std::chrono::seconds(10);
  script.clickDelay = std::chrono::seconds(10);
  script.aggressivenessZeroFromCycle = 0;
  script.processorTime = hostkit::ProcessorTime;
  Serve(script);
  const RunOutcome run = Run([](UserActions& at) {
    at.AnswerInitial();
    at.AnswerSetup({L"2"});
  });
  EXPECT_EQ(run.call.result, S_OK);
  const HostRecord& record = host->Record();
  auto print = [](const char* wait, double wall, double thread, double process) {
    thread = std::max(thread, 0.0);  // rounding of the two sums, when the time did not move
    std::printf("%s wait of %.1f s: plug-in's thread %.3f s CPU (%.2f %%), whole process %.3f s\n",
                wait, wall, thread, 100.0 * thread / wall, process);
  };
  print("Exposure", record.exposureWaitWall, record.exposureWaitThreadCpu, record.exposureWaitCpu);
  print("Click", record.clickWaitWall, record.clickWaitThreadCpu, record.clickWaitCpu);
  RecordProperty("ExposureWaitThreadCpuSeconds", std::to_string(record.exposureWaitThreadCpu));
  RecordProperty("ClickWaitThreadCpuSeconds", std::to_string(record.clickWaitThreadCpu));
}

}  // namespace
}  // namespace corvane::testhost
