#include "hostkit/ScriptedScene.h"

#include <algorithm>
#include <cmath>

namespace corvane::hostkit {

class ScriptedScene final : public Scene {
 public:
  explicit ScriptedScene(HostScript script) : script_(std::move(script)) {
    if (script_.repeatClick) pointer_ = *script_.repeatClick;
  }
  // The record the waits' figures go to (the host's).
  void AttachRecord(HostRecord& record) { record_ = &record; }
  HostScript& Script() { return script_; }
  void SetNotify(std::function<void(std::int16_t)> notify) { notify_ = std::move(notify); }

  // Each run (each new application object) starts with the script's first exposure and click.
  void StartRun() override {
    exposuresTaken_ = 0;
    runningReadsLeft_ = movingReadsLeft_ = 0;
    eventSent_ = false;
    nextClick_ = 0;
    lastDownReadFalse_ = false;
    firstPointerLook_.reset();
  }

  void SetTelescopeConnected(bool value) override {
    telescopeConnected_ = value && script_.telescopeAccepted;
  }
  bool TelescopeConnected() override { return telescopeConnected_; }
  std::vector<std::string> OpenDocuments() override {
    std::vector<std::string> names = script_.documentNames;
    if (script_.imageClosedAfterExposure && exposuresTaken_ >= *script_.imageClosedAfterExposure) {
      std::erase(names, std::string("Autoguider Image"));
    }
    return names;
  }

  double PointerReady() override {
    LookAtPointer();
    return 1.0;
  }
  bool PointerDown() override {
    LookAtPointer();
    const std::size_t clicks = script_.clicks.size();
    if (nextClick_ >= clicks && script_.repeatClick) {
      repeatDown_ = !repeatDown_;
      if (repeatDown_) pointer_ = *script_.repeatClick;
      return repeatDown_;
    }
    // A user who has no clicks left would keep the run waiting for ever: the test fails instead.
    const auto offeredFrom = *firstPointerLook_ + script_.clickDelay;
    if (nextClick_ >= clicks && Clock::now() > offeredFrom + std::chrono::seconds(20)) {
      throw RunFailure(FailureKind::Host, "Test host: the script has no more clicks");
    }
    // A press is taken once: it reads true only after a read that gave false.
    const bool down = lastDownReadFalse_ && nextClick_ < clicks && Clock::now() >= offeredFrom;
    if (down) {
      if (nextClick_ == 0 && record_) {
        const CpuTime used = ProcessorTimeNow() - clickCpuStart_;
        record_->clickWaitCpu = used.process;
        record_->clickWaitThreadCpu = used.thread;
        record_->clickWaitWall = Seconds(Clock::now() - *firstPointerLook_);
      }
      pointer_ = script_.clicks[nextClick_++];
    }
    lastDownReadFalse_ = !down;
    return down;
  }
  double PointerX() override { return pointer_.x; }
  double PointerY() override { return pointer_.y; }

  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    const Point shift = Shift();
    host::HostArray result;
    result.lowerBound = script_.pointInformationLowerBound;
    result.elements.assign(16, 0.0);
    auto set = [&result](std::int32_t index, double value) {
      const std::int64_t slot = static_cast<std::int64_t>(index) - result.lowerBound;
      if (slot >= 0 && slot < static_cast<std::int64_t>(result.elements.size())) {
        result.elements[static_cast<std::size_t>(slot)] = value;
      }
    };
    set(host::kCentroidX, x);
    set(host::kCentroidY, y);
    set(host::kSignalToNoise, script_.signalToNoiseWhereNoStar);
    double nearest = script_.searchRadius;
    for (const Star& star : script_.stars) {
      const double sx = star.at.x + shift.x, sy = star.at.y + shift.y;
      const double distance = std::hypot(sx - x, sy - y);
      if (distance <= nearest) {
        nearest = distance;
        set(host::kCentroidX, sx);
        set(host::kCentroidY, sy);
        set(host::kSignalToNoise, star.signalToNoise);
      }
    }
    return result;
  }

  void SetLinkEnabled(bool value) override { linkEnabled_ = value && script_.linkAccepted; }
  bool LinkEnabled() override {
    const auto& drop = script_.linkDropsAfterExposure;
    return linkEnabled_ && !(drop && exposuresTaken_ >= *drop);
  }

  void StartExposure(float) override {
    if (script_.maxExposures && exposuresInAllRuns_ >= *script_.maxExposures) {
      throw RunFailure(FailureKind::Host, "Test host: too many exposures");
    }
    ++exposuresInAllRuns_;
    ++exposuresTaken_;
    runningReadsLeft_ = script_.runningPolls;
    exposureStarted_ = Clock::now();
    exposureEnds_ = exposureStarted_ + script_.fullFrameTime;
    exposureCpuStart_ = ProcessorTimeNow();
    eventSent_ = false;
  }
  bool ExposureRunning() override {
    const auto& stopDuring = script_.stopEventDuringExposure;
    if (stopDuring && *stopDuring + 1 == exposuresTaken_ && !eventSent_ && notify_) {
      eventSent_ = true;
      notify_(15);  // nested: the plug-in shows its box and returns before this read does
      return true;
    }
    const bool timed = exposuresTaken_ == 1 && script_.fullFrameTime.count() > 0;
    const bool running = timed ? Clock::now() < exposureEnds_ : runningReadsLeft_-- > 0;
    const double wall = Seconds(Clock::now() - exposureStarted_);
    if (!running && record_ && wall > record_->exposureWaitWall) {
      record_->exposureWaitWall = wall;
      const CpuTime used = ProcessorTimeNow() - exposureCpuStart_;
      record_->exposureWaitCpu = used.process;
      record_->exposureWaitThreadCpu = used.thread;
    }
    return running;
  }

  double GuiderXSize() override { return script_.guiderXSize; }
  double GuiderYSize() override { return script_.guiderYSize; }
  GuiderSettings Settings() override {
    const auto& all = script_.settingsPerCycle;
    const int cycle = std::max(exposuresTaken_ - 2, 0);
    GuiderSettings settings = all.empty()
                                  ? GuiderSettings{}
                                  : all[std::min(static_cast<std::size_t>(cycle), all.size() - 1)];
    const auto& zeroFrom = script_.aggressivenessZeroFromCycle;
    if (zeroFrom && cycle >= *zeroFrom && exposuresTaken_ >= 2) settings.aggressiveness = 0.0;
    return settings;
  }
  void StartMove(std::int16_t, const host::HostNumber&) override {
    movingReadsLeft_ = script_.movingPolls;
  }
  bool MoveRunning() override { return movingReadsLeft_-- > 0; }

 private:
  using Clock = std::chrono::steady_clock;

  static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
  CpuTime ProcessorTimeNow() const {
    return script_.processorTime ? script_.processorTime() : CpuTime{};
  }
  // The shift of all stars in the exposure taken last.
  Point Shift() const {
    const auto& shifts = script_.shiftPerExposure;
    if (shifts.empty()) return {};
    const std::size_t index = static_cast<std::size_t>(std::max(exposuresTaken_ - 1, 0));
    return shifts[std::min(index, shifts.size() - 1)];
  }
  void LookAtPointer() {
    if (firstPointerLook_) return;
    firstPointerLook_ = Clock::now();
    clickCpuStart_ = ProcessorTimeNow();
  }

  HostScript script_;
  HostRecord* record_ = nullptr;
  std::function<void(std::int16_t)> notify_;

  bool linkEnabled_ = false;
  bool telescopeConnected_ = false;
  int exposuresInAllRuns_ = 0;

  int exposuresTaken_ = 0;
  int runningReadsLeft_ = 0;
  Clock::time_point exposureStarted_, exposureEnds_;
  CpuTime exposureCpuStart_;
  bool eventSent_ = false;
  int movingReadsLeft_ = 0;

  std::size_t nextClick_ = 0;
  Point pointer_;
  bool lastDownReadFalse_ = false;
  bool repeatDown_ = true;  // the repeating user's last read: the next one is up
  std::optional<Clock::time_point> firstPointerLook_;
  CpuTime clickCpuStart_;
};

ScriptedHost::ScriptedHost(HostScript script)
    : ScriptedHost(std::make_shared<ScriptedScene>(std::move(script))) {}

ScriptedHost::ScriptedHost(std::shared_ptr<ScriptedScene> scene)
    : FakeHost(scene), scene_(std::move(scene)) {
  scene_->AttachRecord(Record());
}

HostScript& ScriptedHost::Script() {
  return scene_->Script();
}

void ScriptedHost::SetNotify(std::function<void(std::int16_t)> notify) {
  scene_->SetNotify(std::move(notify));
}

}  // namespace corvane::hostkit
