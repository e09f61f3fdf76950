#include "sim/SimHost.h"

#include <cmath>

namespace corvane::sim {
namespace {

constexpr const char* kGuiderImage = "Autoguider Image";

[[noreturn]] void RaiseHost(const std::string& text) {
  // 0x80040005 (E_FAIL-like, our own code): the host's error for an impossible request.
  throw RunFailure(FailureKind::Host, text, static_cast<std::int32_t>(0x80004005u));
}

// Counts itself among the live host objects, so tests can see every one released.
class Counted {
 public:
  explicit Counted(HostRecord& record) : record_(record) { ++record_.objectsAlive; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  ~Counted() { --record_.objectsAlive; }

 private:
  HostRecord& record_;
};

class SimDocument final : public host::Document, Counted {
 public:
  SimDocument(SimHost& host, std::string name)
      : Counted(host.Record()), host_(host), name_(std::move(name)) {}

  std::string DisplayName() override { return name_; }
  double PointerReady() override {
    CheckOpen();
    return 1.0;
  }
  bool PointerDown() override {
    CheckOpen();
    return host_.Model().PointerDown();
  }
  double PointerX() override {
    CheckOpen();
    return host_.Model().PointerPosition().x;
  }
  double PointerY() override {
    CheckOpen();
    return host_.Model().PointerPosition().y;
  }
  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    CheckOpen();
    const auto info = host_.Model().PointInformation(x, y);
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

 private:
  void CheckOpen() {
    if (name_ == kGuiderImage && !host_.Model().GuiderImageOpen()) {
      RaiseHost("The document has been closed");
    }
  }
  SimHost& host_;
  std::string name_;
};

class SimDocuments final : public host::DocumentCollection, Counted {
 public:
  explicit SimDocuments(SimHost& host) : Counted(host.Record()), host_(host) {
    if (host_.Model().GuiderImageOpen()) names_.push_back(kGuiderImage);
  }
  double Count() override { return static_cast<double>(names_.size()); }
  std::unique_ptr<host::Document> Item(std::int16_t index) override {
    if (index < 1 || index > static_cast<int>(names_.size())) RaiseHost("Invalid index");
    return std::make_unique<SimDocument>(host_, names_[static_cast<std::size_t>(index - 1)]);
  }

 private:
  SimHost& host_;
  std::vector<std::string> names_;
};

class SimApplication final : public host::Application, Counted {
 public:
  explicit SimApplication(SimHost& host) : Counted(host.Record()), host_(host) {}
  void SetTelescopeConnected(bool value) override { host_.Model().SetTelescopeConnected(value); }
  bool TelescopeConnected() override { return host_.Model().TelescopeConnected(); }
  std::unique_ptr<host::DocumentCollection> Documents() override {
    return std::make_unique<SimDocuments>(host_);
  }

 private:
  SimHost& host_;
};

class SimCamera final : public host::Camera, Counted {
 public:
  explicit SimCamera(SimHost& host) : Counted(host.Record()), host_(host) {}
  void SetLinkEnabled(bool value) override { Model().SetLinkEnabled(value); }
  bool LinkEnabled() override { return Model().LinkEnabled(); }
  void SetDisableAutoShutdown(bool) override {}
  void SetEventMask(std::int32_t) override {}
  void GuiderExpose(float seconds) override {
    if (!Model().LinkEnabled()) RaiseHost("Camera is not linked");
    if (!(seconds >= 0.0f) || !std::isfinite(seconds)) RaiseHost("Invalid exposure duration");
    ++host_.Record().exposures;
    Model().StartExposure(seconds);
  }
  bool GuiderRunning() override {
    Model().Poll();
    host_.RunPollHook();
    return Model().ExposureRunning();
  }
  double GuiderXSize() override { return Model().Settings().camera.width; }
  double GuiderYSize() override { return Model().Settings().camera.height; }
  double GuiderAngle() override { return Model().Calibration().angleDeg; }
  double GuiderDeclination() override { return Model().Calibration().declinationDeg; }
  bool GuiderReverseX() override { return Model().Calibration().reverseX; }
  double GuiderAggressiveness() override { return Model().Calibration().aggressiveness; }
  double GuiderXSpeed() override { return Model().Calibration().xSpeed; }
  double GuiderYSpeed() override { return Model().Calibration().ySpeed; }
  double GuiderOutputEnables() override { return Model().Calibration().outputEnables; }
  void GuiderMove(std::int16_t direction, const host::HostNumber& seconds) override {
    if (direction < 0 || direction > 3) RaiseHost("Invalid guider direction");
    if (!(seconds.value > 0.0) || !std::isfinite(seconds.value)) RaiseHost("Invalid move duration");
    host_.Record().moveDirections.push_back(direction);
    host_.Record().moveDurations.push_back(seconds);
    Model().StartPulse(direction, seconds.value);
  }
  bool GuiderMoving() override {
    Model().Poll();
    host_.RunPollHook();
    return Model().PulseRunning();
  }

 private:
  Observatory& Model() { return host_.Model(); }
  SimHost& host_;
};

}  // namespace

std::unique_ptr<host::Application> SimHost::CreateApplication() {
  ++record_.applicationsCreated;
  return std::make_unique<SimApplication>(*this);
}

std::unique_ptr<host::Document> SimHost::OpenDocument(const std::string& name) {
  return std::make_unique<SimDocument>(*this, name);
}

std::unique_ptr<host::Camera> SimHost::CreateCamera() {
  ++record_.camerasCreated;
  return std::make_unique<SimCamera>(*this);
}

}  // namespace corvane::sim
