#include "hostkit/ScriptedHost.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

namespace corvane::hostkit {
namespace {

using Clock = std::chrono::steady_clock;

double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                             t.dwLowDateTime) /
         1e7;
}

// Processor time (user + kernel) of the whole process and of the calling thread, the host's
// thread on which the plug-in runs.
struct CpuTime {
  double process = 0.0;
  double thread = 0.0;

  static CpuTime Now() {
    FILETIME created, exited, kernel, user;
    CpuTime now;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    now.process = FileTimeSeconds(kernel) + FileTimeSeconds(user);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    now.thread = FileTimeSeconds(kernel) + FileTimeSeconds(user);
    return now;
  }
  CpuTime operator-(const CpuTime& earlier) const {
    return {process - earlier.process, thread - earlier.thread};
  }
};

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

struct ScriptedHost::State {
  HostScript script;
  HostRecord record;
  std::function<void(std::int16_t)> notify;

  int exposuresTaken = 0;
  int runningReadsLeft = 0;
  Clock::time_point exposureStarted, exposureEnds;
  CpuTime exposureCpuStart;
  bool eventSent = false;
  int movingReadsLeft = 0;

  std::size_t nextClick = 0;
  Point pointer;
  bool lastDownReadFalse = false;
  std::optional<Clock::time_point> firstPointerLook;
  CpuTime clickCpuStart;

  Point Shift() const {
    const auto& shifts = script.shiftPerExposure;
    if (shifts.empty()) return {};
    const std::size_t index = static_cast<std::size_t>(std::max(exposuresTaken - 1, 0));
    return shifts[std::min(index, shifts.size() - 1)];
  }

  int GuideCycle() const { return std::max(exposuresTaken - 2, 0); }

  GuiderSettings Settings() const {
    const auto& all = script.settingsPerCycle;
    GuiderSettings settings =
        all.empty() ? GuiderSettings{}
                    : all[std::min(static_cast<std::size_t>(GuideCycle()), all.size() - 1)];
    if (script.aggressivenessZeroFromCycle && GuideCycle() >= *script.aggressivenessZeroFromCycle &&
        exposuresTaken >= 2) {
      settings.aggressiveness = 0.0;
    }
    return settings;
  }

  std::vector<std::string> OpenDocuments() const {
    std::vector<std::string> names = script.documentNames;
    if (script.imageClosedAfterExposure && exposuresTaken >= *script.imageClosedAfterExposure) {
      std::erase(names, std::string("Autoguider Image"));
    }
    return names;
  }

  void LookAtPointer() {
    if (firstPointerLook) return;
    firstPointerLook = Clock::now();
    clickCpuStart = CpuTime::Now();
  }

  // Each run (each new application object) starts with the script's first exposure and click.
  void StartRun() {
    exposuresTaken = 0;
    runningReadsLeft = movingReadsLeft = 0;
    eventSent = false;
    nextClick = 0;
    lastDownReadFalse = false;
    firstPointerLook.reset();
  }

  // A user who has no clicks left would keep the run waiting for ever: the test fails instead.
  void CheckClicksLeft() const {
    if (nextClick >= script.clicks.size() && firstPointerLook &&
        Clock::now() > *firstPointerLook + script.clickDelay + std::chrono::seconds(20)) {
      throw RunFailure(FailureKind::Host, "Test host: the script has no more clicks");
    }
  }

  bool ClickOffered() const {
    return nextClick < script.clicks.size() && firstPointerLook &&
           Clock::now() >= *firstPointerLook + script.clickDelay;
  }
};

namespace {

class Document final : public host::Document {
 public:
  Document(std::shared_ptr<ScriptedHost::State> state, std::string name)
      : state_(std::move(state)), name_(std::move(name)) {}

  std::string DisplayName() override { return name_; }
  double PointerReady() override {
    state_->LookAtPointer();
    return 1.0;
  }
  // A press is taken once: it reads true only after a read that gave false.
  bool PointerDown() override {
    auto& s = *state_;
    s.LookAtPointer();
    s.CheckClicksLeft();
    bool down = false;
    if (s.lastDownReadFalse && s.ClickOffered()) {
      if (s.nextClick == 0) {
        const CpuTime used = CpuTime::Now() - s.clickCpuStart;
        s.record.clickWaitCpu = used.process;
        s.record.clickWaitThreadCpu = used.thread;
        s.record.clickWaitWall = Seconds(Clock::now() - *s.firstPointerLook);
      }
      s.pointer = s.script.clicks[s.nextClick++];
      down = true;
    }
    s.lastDownReadFalse = !down;
    return down;
  }
  double PointerX() override { return state_->pointer.x; }
  double PointerY() override { return state_->pointer.y; }

  host::HostArray PointInformation(std::int16_t x, std::int16_t y) override {
    const auto& s = *state_;
    const Point shift = s.Shift();
    host::HostArray result;
    result.lowerBound = s.script.pointInformationLowerBound;
    result.elements.assign(16, 0.0);
    auto set = [&result](std::int32_t index, double value) {
      const std::int64_t slot = static_cast<std::int64_t>(index) - result.lowerBound;
      if (slot >= 0 && slot < static_cast<std::int64_t>(result.elements.size())) {
        result.elements[static_cast<std::size_t>(slot)] = value;
      }
    };
    set(host::kCentroidX, x);
    set(host::kCentroidY, y);
    set(host::kSignalToNoise, 0.0);
    double nearest = s.script.searchRadius;
    for (const Star& star : s.script.stars) {
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

 private:
  std::shared_ptr<ScriptedHost::State> state_;
  std::string name_;
};

class Documents final : public host::DocumentCollection {
 public:
  explicit Documents(std::shared_ptr<ScriptedHost::State> state)
      : state_(std::move(state)), names_(state_->OpenDocuments()) {}

  double Count() override { return static_cast<double>(names_.size()); }
  std::unique_ptr<host::Document> Item(std::int16_t index) override {
    if (index < 1 || static_cast<std::size_t>(index) > names_.size()) {
      throw RunFailure(FailureKind::Host, "Invalid index", static_cast<std::int32_t>(0x8002000B));
    }
    return std::make_unique<Document>(state_, names_[static_cast<std::size_t>(index - 1)]);
  }

 private:
  std::shared_ptr<ScriptedHost::State> state_;
  std::vector<std::string> names_;
};

class Application final : public host::Application {
 public:
  explicit Application(std::shared_ptr<ScriptedHost::State> state) : state_(std::move(state)) {}

  void SetTelescopeConnected(bool value) override {
    state_->record.telescopeConnected = value && state_->script.telescopeAccepted;
  }
  bool TelescopeConnected() override { return state_->record.telescopeConnected; }
  std::unique_ptr<host::DocumentCollection> Documents() override {
    return std::make_unique<hostkit::Documents>(state_);
  }

 private:
  std::shared_ptr<ScriptedHost::State> state_;
};

class Camera final : public host::Camera {
 public:
  explicit Camera(std::shared_ptr<ScriptedHost::State> state) : state_(std::move(state)) {}

  void SetLinkEnabled(bool value) override {
    state_->record.linkEnabled = value && state_->script.linkAccepted;
  }
  bool LinkEnabled() override {
    const auto& s = *state_;
    if (s.script.linkDropsAfterExposure && s.exposuresTaken >= *s.script.linkDropsAfterExposure) {
      return false;
    }
    return s.record.linkEnabled;
  }
  void SetDisableAutoShutdown(bool value) override { state_->record.autoShutdownDisabled = value; }
  void SetEventMask(std::int32_t mask) override { state_->record.eventMask = mask; }

  void GuiderExpose(float seconds) override {
    auto& s = *state_;
    if (static_cast<int>(s.record.exposures.size()) >= s.script.maxExposures) {
      throw RunFailure(FailureKind::Host, "Test host: too many exposures");
    }
    s.record.exposures.push_back(seconds);
    ++s.exposuresTaken;
    s.runningReadsLeft = s.script.runningPolls;
    s.exposureStarted = Clock::now();
    s.exposureEnds = s.exposureStarted + s.script.fullFrameTime;
    s.exposureCpuStart = CpuTime::Now();
    s.eventSent = false;
  }
  bool GuiderRunning() override {
    auto& s = *state_;
    if (s.script.stopEventDuringExposure &&
        *s.script.stopEventDuringExposure + 1 == s.exposuresTaken && !s.eventSent && s.notify) {
      s.eventSent = true;
      s.notify(15);  // nested: the plug-in shows its box and returns before this read does
      return true;
    }
    const bool timed = s.exposuresTaken == 1 && s.script.fullFrameTime.count() > 0;
    const bool running = timed ? Clock::now() < s.exposureEnds : s.runningReadsLeft-- > 0;
    if (!running) {
      const double wall = Seconds(Clock::now() - s.exposureStarted);
      if (wall > s.record.exposureWaitWall) {
        s.record.exposureWaitWall = wall;
        const CpuTime used = CpuTime::Now() - s.exposureCpuStart;
        s.record.exposureWaitCpu = used.process;
        s.record.exposureWaitThreadCpu = used.thread;
      }
    }
    return running;
  }
  double GuiderXSize() override { return 752; }
  double GuiderYSize() override { return 582; }
  double GuiderAngle() override { return state_->Settings().angle; }
  double GuiderDeclination() override { return state_->Settings().declination; }
  bool GuiderReverseX() override { return state_->Settings().reverseX; }
  double GuiderAggressiveness() override { return state_->Settings().aggressiveness; }
  double GuiderXSpeed() override { return state_->Settings().xSpeed; }
  double GuiderYSpeed() override { return state_->Settings().ySpeed; }
  double GuiderOutputEnables() override { return state_->Settings().outputEnables; }
  void GuiderMove(std::int16_t direction, const host::HostNumber& seconds) override {
    state_->record.moves.push_back({direction, seconds});
    state_->movingReadsLeft = state_->script.movingPolls;
  }
  bool GuiderMoving() override { return state_->movingReadsLeft-- > 0; }

 private:
  std::shared_ptr<ScriptedHost::State> state_;
};

}  // namespace

ScriptedHost::ScriptedHost(HostScript script) : state_(std::make_shared<State>()) {
  state_->script = std::move(script);
}

std::unique_ptr<host::Application> ScriptedHost::CreateApplication() {
  ++state_->record.applicationsCreated;
  state_->StartRun();
  return std::make_unique<Application>(state_);
}

std::unique_ptr<host::Camera> ScriptedHost::CreateCamera() {
  ++state_->record.camerasCreated;
  return std::make_unique<Camera>(state_);
}

void ScriptedHost::SetNotify(std::function<void(std::int16_t)> notify) {
  state_->notify = std::move(notify);
}

const HostRecord& ScriptedHost::Record() const {
  return state_->record;
}

}  // namespace corvane::hostkit
