#include "host/win/HostAdapters.h"

#include <cmath>
#include <limits>

#include "host/win/Dispatch.h"
#include "host/win/VariantConversion.h"

namespace corvane::win {

using Microsoft::WRL::ComPtr;

namespace {

// Calls whose result is used are made as Visual Basic makes them: method or property get.
constexpr WORD kCallForResult = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

namespace app {
constexpr Member TelescopeConnected{L"TelescopeConnected"};
constexpr Member Documents{L"Documents"};
}  // namespace app

namespace camera {
constexpr Member LinkEnabled{L"LinkEnabled"};
constexpr Member DisableAutoShutdown{L"DisableAutoShutdown"};
constexpr Member EventMask{L"EventMask"};
constexpr Member GuiderExpose{L"GuiderExpose"};
constexpr Member GuiderRunning{L"GuiderRunning"};
constexpr Member GuiderXSize{L"GuiderXSize"};
constexpr Member GuiderYSize{L"GuiderYSize"};
constexpr Member GuiderAngle{L"GuiderAngle"};
constexpr Member GuiderDeclination{L"GuiderDeclination"};
constexpr Member GuiderReverseX{L"GuiderReverseX"};
constexpr Member GuiderAggressiveness{L"GuiderAggressiveness"};
constexpr Member GuiderXSpeed{L"GuiderXSpeed"};
constexpr Member GuiderYSpeed{L"GuiderYSpeed"};
constexpr Member GuiderOutputEnables{L"GuiderOutputEnables"};
constexpr Member GuiderMove{L"GuiderMove"};
constexpr Member GuiderMoving{L"GuiderMoving"};
}  // namespace camera

namespace documents {
constexpr Member Item{L"Item", 1};
constexpr Member Count{L"Count", 2};
}  // namespace documents

namespace document {
constexpr Member DisplayName{L"DisplayName"};
constexpr Member PointerDown{L"PointerDown", 51};
constexpr Member PointerX{L"PointerX", 52};
constexpr Member PointerY{L"PointerY", 53};
constexpr Member PointerReady{L"PointerReady", 57};
constexpr Member PointInformation{L"PointInformation", 70};
}  // namespace document

class WinDocument final : public host::Document {
 public:
  explicit WinDocument(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  std::string DisplayName() override {
    return ToText(object_.Get(document::DisplayName).Get(), document::DisplayName.name);
  }
  double PointerReady() override { return Number(document::PointerReady); }
  bool PointerDown() override {
    return ToBool(object_.Get(document::PointerDown).Get(), document::PointerDown.name);
  }
  double PointerX() override { return Number(document::PointerX); }
  double PointerY() override { return Number(document::PointerY); }

  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    const Variant byValue = Variant::Int16(x);
    SHORT yVariable = y;  // the host may write to it; what it writes is not used
    const Variant byReference = Variant::Reference(VT_I2, &yVariable);
    const Variant result =
        object_.Call(document::PointInformation, kCallForResult, {&byValue, &byReference});
    return ToHostArray(result.Get(), document::PointInformation.name);
  }

 private:
  double Number(const Member& member) { return ToDouble(object_.Get(member).Get(), member.name); }

  DispatchObject object_;
};

class WinDocumentCollection final : public host::DocumentCollection {
 public:
  explicit WinDocumentCollection(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  double Count() override {
    return ToDouble(object_.Get(documents::Count).Get(), documents::Count.name);
  }
  std::unique_ptr<host::Document> Item(std::int16_t index) override {
    const Variant argument = Variant::Int16(index);
    const Variant result = object_.Call(documents::Item, kCallForResult, {&argument});
    return std::make_unique<WinDocument>(ToObject(result.Get(), documents::Item.name));
  }

 private:
  DispatchObject object_;
};

class WinApplication final : public host::Application {
 public:
  explicit WinApplication(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  void SetTelescopeConnected(bool value) override {
    object_.Put(app::TelescopeConnected, Variant::Bool(value));
  }
  bool TelescopeConnected() override {
    return ToBool(object_.Get(app::TelescopeConnected).Get(), app::TelescopeConnected.name);
  }
  std::unique_ptr<host::DocumentCollection> Documents() override {
    return std::make_unique<WinDocumentCollection>(
        ToObject(object_.Get(app::Documents).Get(), app::Documents.name));
  }

 private:
  DispatchObject object_;
};

class WinCamera final : public host::Camera {
 public:
  explicit WinCamera(ComPtr<IDispatch> object) : object_(std::move(object)) {}

  void SetLinkEnabled(bool value) override {
    object_.Put(camera::LinkEnabled, Variant::Bool(value));
  }
  bool LinkEnabled() override { return Flag(camera::LinkEnabled); }
  void SetDisableAutoShutdown(bool value) override {
    object_.Put(camera::DisableAutoShutdown, Variant::Bool(value));
  }
  void SetEventMask(std::int32_t mask) override {
    object_.Put(camera::EventMask, Variant::Int32(mask));
  }
  void GuiderExpose(float seconds) override {
    const Variant duration = Variant::Single(seconds);
    object_.Call(camera::GuiderExpose, DISPATCH_METHOD, {&duration});
  }
  bool GuiderRunning() override {
    return ToBoolOrFalse(object_.Get(camera::GuiderRunning).Get(), camera::GuiderRunning.name);
  }
  double GuiderXSize() override { return Number(camera::GuiderXSize); }
  double GuiderYSize() override { return Number(camera::GuiderYSize); }
  double GuiderAngle() override { return Number(camera::GuiderAngle); }
  double GuiderDeclination() override { return Number(camera::GuiderDeclination); }
  bool GuiderReverseX() override { return Flag(camera::GuiderReverseX); }
  double GuiderAggressiveness() override { return Number(camera::GuiderAggressiveness); }
  double GuiderXSpeed() override { return Number(camera::GuiderXSpeed); }
  double GuiderYSpeed() override { return Number(camera::GuiderYSpeed); }
  double GuiderOutputEnables() override { return Number(camera::GuiderOutputEnables); }

  void GuiderMove(std::int16_t direction, const host::HostNumber& seconds) override {
    const Variant directionArgument = Variant::Int16(direction);
    // The variables a by-reference duration points at; they outlive the call.
    SHORT integer = 0;
    FLOAT single = 0.0f;
    DOUBLE real = seconds.value;
    Variant value;  // the number by value, in its automation type
    switch (seconds.type) {
      case host::HostNumber::Type::Integer: {
        const double rounded = std::nearbyint(seconds.value);
        if (!(rounded >= std::numeric_limits<SHORT>::min() &&
              rounded <= std::numeric_limits<SHORT>::max())) {
          RaiseOverflow();
        }
        integer = static_cast<SHORT>(rounded);
        value = Variant::Int16(integer);
        break;
      }
      case host::HostNumber::Type::Single:
        single = static_cast<FLOAT>(seconds.value);
        value = Variant::Single(single);
        break;
      case host::HostNumber::Type::Double:
        value = Variant::Double(real);
        break;
    }
    // A reference to an automation value holding the number (VT_BYREF | VT_VARIANT), to a
    // variable of the number's type, or the number itself.
    VARIANT held = value.Get();  // a plain number: nothing in it to own or free
    Variant duration;
    if (seconds.byReference && seconds.inAutomationValue) {
      duration = Variant::Reference(VT_VARIANT, &held);
    } else if (seconds.byReference) {
      void* variable =
          seconds.type == host::HostNumber::Type::Integer  ? static_cast<void*>(&integer)
          : seconds.type == host::HostNumber::Type::Single ? static_cast<void*>(&single)
                                                           : static_cast<void*>(&real);
      duration = Variant::Reference(value.Type(), variable);
    } else {
      duration = std::move(value);
    }
    object_.Call(camera::GuiderMove, DISPATCH_METHOD, {&directionArgument, &duration});
  }
  bool GuiderMoving() override { return Flag(camera::GuiderMoving); }

 private:
  double Number(const Member& member) { return ToDouble(object_.Get(member).Get(), member.name); }
  bool Flag(const Member& member) { return ToBool(object_.Get(member).Get(), member.name); }

  DispatchObject object_;
};

ComPtr<IDispatch> CreateByProgId(const wchar_t* progId) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  ComPtr<IDispatch> object;
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&object));
  }
  if (FAILED(hr)) {
    throw RunFailure(FailureKind::Host, FailureDescription("Cannot create " + Narrow(progId), hr),
                     static_cast<std::int32_t>(hr));
  }
  return object;
}

}  // namespace

std::unique_ptr<host::Application> ApplicationOver(ComPtr<IDispatch> object) {
  return std::make_unique<WinApplication>(std::move(object));
}

std::unique_ptr<host::Camera> CameraOver(ComPtr<IDispatch> object) {
  return std::make_unique<WinCamera>(std::move(object));
}

std::unique_ptr<host::DocumentCollection> DocumentsOver(ComPtr<IDispatch> object) {
  return std::make_unique<WinDocumentCollection>(std::move(object));
}

std::unique_ptr<host::Document> DocumentOver(ComPtr<IDispatch> object) {
  return std::make_unique<WinDocument>(std::move(object));
}

std::unique_ptr<host::Application> WinHostConnection::CreateApplication() {
  return ApplicationOver(CreateByProgId(L"MaxIm.Application"));
}

std::unique_ptr<host::Camera> WinHostConnection::CreateCamera() {
  return CameraOver(CreateByProgId(L"MaxIm.CCDCamera"));
}

}  // namespace corvane::win
