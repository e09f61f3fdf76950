#include "hostkit/ScriptedScene.h"

#include <algorithm>
#include <cmath>

namespace corvane::hostkit {
namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

ScriptedScene::ScriptedScene(HostScript script) : script_(std::move(script)) {
  if (script_.repeatClick) pointer_ = *script_.repeatClick;
}

CpuTime ScriptedScene::ProcessorTimeNow() const {
  return script_.processorTime ? script_.processorTime() : CpuTime{};
}

Point ScriptedScene::Shift() const {
  const auto& shifts = script_.shiftPerExposure;
  if (shifts.empty()) return {};
  const std::size_t index = static_cast<std::size_t>(std::max(exposuresTaken_ - 1, 0));
  return shifts[std::min(index, shifts.size() - 1)];
}

int ScriptedScene::GuideCycle() const {
  return std::max(exposuresTaken_ - 2, 0);
}

// Each run (each new application object) starts with the script's first exposure and click.
void ScriptedScene::StartRun() {
  exposuresTaken_ = 0;
  runningReadsLeft_ = movingReadsLeft_ = 0;
  eventSent_ = false;
  nextClick_ = 0;
  lastDownReadFalse_ = false;
  firstPointerLook_.reset();
}

void ScriptedScene::SetTelescopeConnected(bool value) {
  telescopeConnected_ = value && script_.telescopeAccepted;
}

bool ScriptedScene::TelescopeConnected() {
  return telescopeConnected_;
}

std::vector<std::string> ScriptedScene::OpenDocuments() {
  std::vector<std::string> names = script_.documentNames;
  if (script_.imageClosedAfterExposure && exposuresTaken_ >= *script_.imageClosedAfterExposure) {
    std::erase(names, std::string("Autoguider Image"));
  }
  return names;
}

void ScriptedScene::LookAtPointer() {
  if (firstPointerLook_) return;
  firstPointerLook_ = Clock::now();
  clickCpuStart_ = ProcessorTimeNow();
}

double ScriptedScene::PointerReady() {
  LookAtPointer();
  return 1.0;
}

bool ScriptedScene::PointerDown() {
  LookAtPointer();
  if (nextClick_ >= script_.clicks.size() && script_.repeatClick) {
    repeatDown_ = !repeatDown_;
    if (repeatDown_) pointer_ = *script_.repeatClick;
    return repeatDown_;
  }
  // A user who has no clicks left would keep the run waiting for ever: the test fails instead.
  if (nextClick_ >= script_.clicks.size() && firstPointerLook_ &&
      Clock::now() > *firstPointerLook_ + script_.clickDelay + std::chrono::seconds(20)) {
    throw RunFailure(FailureKind::Host, "Test host: the script has no more clicks");
  }
  const bool offered =
      nextClick_ < script_.clicks.size() && Clock::now() >= *firstPointerLook_ + script_.clickDelay;
  bool down = false;
  if (lastDownReadFalse_ && offered) {
    if (nextClick_ == 0 && record_) {
      const CpuTime used = ProcessorTimeNow() - clickCpuStart_;
      record_->clickWaitCpu = used.process;
      record_->clickWaitThreadCpu = used.thread;
      record_->clickWaitWall = Seconds(Clock::now() - *firstPointerLook_);
    }
    pointer_ = script_.clicks[nextClick_++];
    down = true;
  }
  lastDownReadFalse_ = !down;
  return down;
}

host::HostArray ScriptedScene::PointInformation(std::int16_t x, std::int16_t y) {
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

void ScriptedScene::SetLinkEnabled(bool value) {
  linkEnabled_ = value && script_.linkAccepted;
}

bool ScriptedScene::LinkEnabled() {
  if (script_.linkDropsAfterExposure && exposuresTaken_ >= *script_.linkDropsAfterExposure) {
    return false;
  }
  return linkEnabled_;
}

void ScriptedScene::StartExposure(float) {
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

bool ScriptedScene::ExposureRunning() {
  if (script_.stopEventDuringExposure && *script_.stopEventDuringExposure + 1 == exposuresTaken_ &&
      !eventSent_ && notify_) {
    eventSent_ = true;
    notify_(15);  // nested: the plug-in shows its box and returns before this read does
    return true;
  }
  const bool timed = exposuresTaken_ == 1 && script_.fullFrameTime.count() > 0;
  const bool running = timed ? Clock::now() < exposureEnds_ : runningReadsLeft_-- > 0;
  if (!running && record_) {
    const double wall = Seconds(Clock::now() - exposureStarted_);
    if (wall > record_->exposureWaitWall) {
      record_->exposureWaitWall = wall;
      const CpuTime used = ProcessorTimeNow() - exposureCpuStart_;
      record_->exposureWaitCpu = used.process;
      record_->exposureWaitThreadCpu = used.thread;
    }
  }
  return running;
}

GuiderSettings ScriptedScene::Settings() {
  const auto& all = script_.settingsPerCycle;
  GuiderSettings settings =
      all.empty() ? GuiderSettings{}
                  : all[std::min(static_cast<std::size_t>(GuideCycle()), all.size() - 1)];
  if (script_.aggressivenessZeroFromCycle && GuideCycle() >= *script_.aggressivenessZeroFromCycle &&
      exposuresTaken_ >= 2) {
    settings.aggressiveness = 0.0;
  }
  return settings;
}

void ScriptedScene::StartMove(std::int16_t, const host::HostNumber&) {
  movingReadsLeft_ = script_.movingPolls;
}

ScriptedHost::ScriptedHost(HostScript script)
    : ScriptedHost(std::make_shared<ScriptedScene>(std::move(script))) {}

ScriptedHost::ScriptedHost(std::shared_ptr<ScriptedScene> scene)
    : FakeHost(scene), scene_(std::move(scene)) {
  scene_->AttachRecord(Record());
}

}  // namespace corvane::hostkit
