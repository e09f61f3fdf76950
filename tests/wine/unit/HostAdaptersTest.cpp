// The adapters over the host's IDispatch objects: the argument types each member is called with,
// the by-reference forms, dispatch identifiers versus names, and a host error becoming a
// RunFailure with the host's code and description. The host objects are the test host's real
// COM objects (corvane_hostcom) over small scripted backends.
#include <gtest/gtest.h>

#include <cmath>

#include "base/RunFailure.h"
#include "host/win/Dispatch.h"
#include "host/win/HostAdapters.h"
#include "hostkit/win/HostComObjects.h"
#include "hostkit/win/HostSession.h"

namespace corvane::win {
namespace {

using Microsoft::WRL::ComPtr;

struct ScriptedCamera final : host::Camera {
  bool linked = false;
  bool running = false;
  void SetLinkEnabled(bool value) override { linked = value; }
  bool LinkEnabled() override { return linked; }
  void SetDisableAutoShutdown(bool) override {}
  void SetEventMask(std::int32_t) override {}
  void GuiderExpose(float) override {}
  bool GuiderRunning() override { return running; }
  double GuiderXSize() override { return 640; }
  double GuiderYSize() override { return 480; }
  double GuiderAngle() override { return 90; }
  double GuiderDeclination() override { return 45; }
  bool GuiderReverseX() override { return true; }
  double GuiderAggressiveness() override { return 10; }
  double GuiderXSpeed() override { return 5; }
  double GuiderYSpeed() override { return 5; }
  double GuiderOutputEnables() override {
    throw RunFailure(FailureKind::Host, "The guider is not connected", 0x80040201);
  }
  void GuiderMove(std::int16_t, const host::HostNumber&) override {}
  bool GuiderMoving() override { return false; }
};

struct ScriptedDocument final : host::Document {
  std::string DisplayName() override { return "Autoguider Image"; }
  double PointerReady() override { return 1; }
  bool PointerDown() override { return true; }
  double PointerX() override { return 120; }
  double PointerY() override { return 80; }
  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    host::HostArray array;
    array.lowerBound = 1;
    array.elements.assign(13, 0.0);
    array.elements[6 - 1] = x + 0.25;
    array.elements[7 - 1] = y + 0.75;
    array.elements[12 - 1] = 35.5;
    return array;
  }
};

class HostAdapters : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }

  std::vector<VARTYPE> ArgumentTypes(const std::string& member, std::size_t call = 0) {
    const auto calls = session->CallsOf(member);
    if (calls.size() <= call) return {};
    std::vector<VARTYPE> types;
    for (const auto& argument : calls[call].arguments) types.push_back(argument.type);
    return types;
  }

  std::shared_ptr<hostcom::HostSession> session = std::make_shared<hostcom::HostSession>();
};

TEST_F(HostAdapters, CameraMembersAreCalledByNameWithTheHostsArgumentTypes) {
  auto backend = std::make_unique<ScriptedCamera>();
  ScriptedCamera& scripted = *backend;
  {
    auto camera = CameraOver(hostcom::MakeCamera(std::move(backend), session));
    camera->SetLinkEnabled(true);
    EXPECT_TRUE(scripted.linked);
    EXPECT_TRUE(camera->LinkEnabled());
    camera->SetEventMask(0x8000);
    camera->GuiderExpose(0.5f);
    EXPECT_EQ(camera->GuiderAngle(), 90.0);
    EXPECT_TRUE(camera->GuiderReverseX());
    EXPECT_EQ(camera->GuiderXSize(), 640.0);
  }
  EXPECT_EQ(ArgumentTypes("LinkEnabled"), std::vector<VARTYPE>{VT_BOOL});
  EXPECT_EQ(ArgumentTypes("EventMask"), std::vector<VARTYPE>{VT_I4});
  EXPECT_EQ(ArgumentTypes("GuiderExpose"), std::vector<VARTYPE>{VT_R4});
  EXPECT_EQ(session->CallsOf("GuiderExpose").at(0).arguments.at(0).number, 0.5);
  EXPECT_EQ(session->CallsOf("GuiderExpose").at(0).flags, DISPATCH_METHOD);
  EXPECT_EQ(hostcom::LiveObjectCount(), 0);
}

TEST_F(HostAdapters, GuiderMovePassesTheDurationInEachOfItsForms) {
  auto camera = CameraOver(hostcom::MakeCamera(std::make_unique<ScriptedCamera>(), session));
  using Type = host::HostNumber::Type;
  camera->GuiderMove(0, {Type::Double, 0.2, true, true});
  camera->GuiderMove(0, {Type::Single, 0.75, true, true});
  camera->GuiderMove(1, {Type::Double, 0.3, false});
  camera->GuiderMove(2, {Type::Single, 0.25, true});
  camera->GuiderMove(3, {Type::Single, 0.125, false});
  camera->GuiderMove(0, {Type::Integer, 0, true});
  camera->GuiderMove(1, {Type::Integer, 0, false});

  const std::vector<std::vector<VARTYPE>> expected = {{VT_I2, VT_BYREF | VT_VARIANT},
                                                      {VT_I2, VT_BYREF | VT_VARIANT},
                                                      {VT_I2, VT_R8},
                                                      {VT_I2, VT_BYREF | VT_R4},
                                                      {VT_I2, VT_R4},
                                                      {VT_I2, VT_BYREF | VT_I2},
                                                      {VT_I2, VT_I2}};
  const auto calls = session->CallsOf("GuiderMove");
  ASSERT_EQ(calls.size(), expected.size());
  const double directions[] = {0, 0, 1, 2, 3, 0, 1};
  const double durations[] = {0.2, 0.75, 0.3, 0.25, 0.125, 0, 0};
  const VARTYPE held[] = {VT_R8, VT_R4, VT_EMPTY, VT_EMPTY, VT_EMPTY, VT_EMPTY, VT_EMPTY};
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ArgumentTypes("GuiderMove", i), expected[i]);
    EXPECT_EQ(calls[i].arguments.at(0).number, directions[i]);
    EXPECT_EQ(calls[i].arguments.at(1).number, durations[i]);
    EXPECT_EQ(calls[i].arguments.at(1).heldType, held[i]);
  }
}

TEST_F(HostAdapters, AHostErrorKeepsTheHostsCodeAndDescription) {
  auto camera = CameraOver(hostcom::MakeCamera(std::make_unique<ScriptedCamera>(), session));
  try {
    camera->GuiderOutputEnables();
    FAIL() << "no RunFailure";
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::Host);
    EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(0x80040201));
    EXPECT_EQ(failure.Description(), "The guider is not connected");
  }
}

TEST_F(HostAdapters, ANullGuiderRunningReadsAsFalse) {
  auto camera = CameraOver(hostcom::MakeCamera(std::make_unique<ScriptedCamera>(), session));
  session->SetOverride([](const hostcom::RecordedCall& call) -> std::optional<Variant> {
    if (call.member != "GuiderRunning") return std::nullopt;
    return Variant::Null();
  });
  EXPECT_FALSE(camera->GuiderRunning());
}

TEST_F(HostAdapters, DocumentMembersAreCalledByTheirDispatchIdentifiers) {
  auto document =
      DocumentOver(hostcom::MakeDocument(std::make_unique<ScriptedDocument>(), session));
  EXPECT_EQ(document->DisplayName(), "Autoguider Image");
  EXPECT_EQ(document->PointerReady(), 1.0);
  EXPECT_TRUE(document->PointerDown());
  EXPECT_EQ(document->PointerX(), 120.0);
  EXPECT_EQ(document->PointerY(), 80.0);
  const host::HostArray array = document->PointInformation(100, 200);
  EXPECT_EQ(array.At(host::kCentroidX), 100.25);
  EXPECT_EQ(array.At(host::kCentroidY), 200.75);
  EXPECT_EQ(array.At(host::kSignalToNoise), 35.5);

  EXPECT_EQ(session->CallsOf("PointerDown").at(0).dispid, 51);
  EXPECT_EQ(session->CallsOf("PointerX").at(0).dispid, 52);
  EXPECT_EQ(session->CallsOf("PointerY").at(0).dispid, 53);
  EXPECT_EQ(session->CallsOf("PointerReady").at(0).dispid, 57);
  EXPECT_EQ(session->CallsOf("PointInformation").at(0).dispid, 70);
  EXPECT_EQ(ArgumentTypes("PointInformation"), (std::vector<VARTYPE>{VT_I2, VT_BYREF | VT_I2}));
}

// The one place where a failed IDispatch call becomes a RunFailure.
TEST(ThrowHostFailure, TakesTheRaisedErrorFromTheExceptionInfo) {
  ExcepInfo owned;  // frees the description
  EXCEPINFO& info = *owned.Receive();
  info.scode = static_cast<SCODE>(0x80040202);
  info.bstrDescription = SysAllocString(L"Camera error");
  try {
    ThrowHostFailure(DISP_E_EXCEPTION, &info, L"GuiderExpose");
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Kind(), FailureKind::Host);
    EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(0x80040202));
    EXPECT_EQ(failure.Description(), "Camera error");
  }

  EXCEPINFO numbered{};
  numbered.wCode = 1004;
  try {
    ThrowHostFailure(DISP_E_EXCEPTION, &numbered, L"GuiderExpose");
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(0x800A03EC));
    EXPECT_NE(failure.Description().find("GuiderExpose"), std::string::npos);
  }
}

TEST(ThrowHostFailure, WithoutExceptionInfoUsesTheSystemTextAndNamesTheMember) {
  try {
    ThrowHostFailure(DISP_E_UNKNOWNNAME, nullptr, L"GuiderXSize");
  } catch (const RunFailure& failure) {
    EXPECT_EQ(failure.Code(), static_cast<std::int32_t>(DISP_E_UNKNOWNNAME));
    EXPECT_NE(failure.Description().find("(GuiderXSize)"), std::string::npos);
    EXPECT_GT(failure.Description().size(), std::string(" (GuiderXSize)").size());
  }
}

}  // namespace
}  // namespace corvane::win
