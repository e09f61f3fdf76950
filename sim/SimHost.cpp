#include "sim/SimHost.h"

#include <cmath>
#include <string>
#include <vector>

namespace corvane::sim {
namespace {

constexpr const char* kGuiderImage = "Autoguider Image";

[[noreturn]] void RaiseHost(const std::string& text) {
  // 0x80004005 (E_FAIL): the host's error for an impossible request.
  throw RunFailure(FailureKind::Host, text, static_cast<std::int32_t>(0x80004005u));
}

}  // namespace

class ObservatoryScene final : public hostkit::Scene {
 public:
  explicit ObservatoryScene(Observatory& observatory) : model_(observatory) {}
  void SetPollHook(std::function<void()> hook) { pollHook_ = std::move(hook); }

  void SetTelescopeConnected(bool value) override { model_.SetTelescopeConnected(value); }
  bool TelescopeConnected() override { return model_.TelescopeConnected(); }
  std::vector<std::string> OpenDocuments() override {
    if (model_.GuiderImageOpen()) return {kGuiderImage};
    return {};
  }

  void CheckDocument(const std::string& name) override {
    if (name == kGuiderImage && !model_.GuiderImageOpen()) {
      RaiseHost("The document has been closed");
    }
  }
  double PointerReady() override { return 1.0; }
  bool PointerDown() override { return model_.PointerDown(); }
  double PointerX() override { return model_.PointerPosition().x; }
  double PointerY() override { return model_.PointerPosition().y; }
  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    const auto info = model_.PointInformation(x, y);
    // The host's array: 0 peak, 1 background, 2 flux, 3 FWHM, 4 and 5 the point asked about,
    // 6 and 7 the centroid, 8 to 11 unused here, 12 the signal-to-noise value.
    host::HostArray result;
    result.lowerBound = 0;
    result.elements = {info.flux / 10.0,
                       0.0,
                       info.flux,
                       info.fwhmPx,
                       static_cast<double>(x),
                       static_cast<double>(y),
                       info.centroid.x,
                       info.centroid.y,
                       0.0,
                       0.0,
                       0.0,
                       0.0,
                       info.sn};
    return result;
  }

  void SetLinkEnabled(bool value) override { model_.SetLinkEnabled(value); }
  bool LinkEnabled() override { return model_.LinkEnabled(); }
  void StartExposure(float seconds) override {
    if (!model_.LinkEnabled()) RaiseHost("Camera is not linked");
    if (!(seconds >= 0.0f) || !std::isfinite(seconds)) RaiseHost("Invalid exposure duration");
    model_.StartExposure(seconds);
  }
  bool ExposureRunning() override {
    Poll();
    return model_.ExposureRunning();
  }
  double GuiderXSize() override { return model_.Settings().camera.width; }
  double GuiderYSize() override { return model_.Settings().camera.height; }
  hostkit::GuiderSettings Settings() override { return model_.Calibration(); }
  void StartMove(std::int16_t direction, const host::HostNumber& seconds) override {
    if (direction < 0 || direction > 3) RaiseHost("Invalid guider direction");
    if (!(seconds.value > 0.0) || !std::isfinite(seconds.value)) RaiseHost("Invalid move duration");
    model_.StartPulse(direction, seconds.value);
  }
  bool MoveRunning() override {
    Poll();
    return model_.PulseRunning();
  }

 private:
  // The model advances by one poll's time; then the host delivers its notifications.
  void Poll() {
    model_.Poll();
    if (pollHook_) pollHook_();
  }

  Observatory& model_;
  std::function<void()> pollHook_;
};

SimHost::SimHost(Observatory& observatory)
    : SimHost(std::make_shared<ObservatoryScene>(observatory)) {}

SimHost::SimHost(std::shared_ptr<ObservatoryScene> scene)
    : FakeHost(scene), scene_(std::move(scene)) {
  Calls().keepTimeline = false;
}

void SimHost::SetPollHook(std::function<void()> hook) {
  scene_->SetPollHook(std::move(hook));
}

}  // namespace corvane::sim
