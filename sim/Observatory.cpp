#include "sim/Observatory.h"

#include <algorithm>
#include <cmath>

namespace corvane::sim {
namespace {

constexpr double kStepSeconds = 0.1;  // the mount is integrated in steps no longer than this

double NormalizeDegrees(double degrees) {
  double a = std::fmod(degrees, 360.0);
  if (a <= -180.0) a += 360.0;
  if (a > 180.0) a -= 360.0;
  return a;
}

}  // namespace

GuiderCalibration CalibrationFor(const CameraSettings& camera, const MountSettings& mount,
                                 double aggressiveness) {
  // The sensor sees output-axis motion through R(rotation) x diag(sr, f x sd), where sr and sd
  // are -1 for a swapped output pair and f is -1 for mirroring optics. Without a reflection that
  // is a rotation; with one it is a rotation times diag(-1, 1), which the host expresses as
  // GuiderReverseX.
  const double sr = mount.raOutputsSwapped ? -1.0 : 1.0;
  const double sd = mount.decOutputsSwapped ? -1.0 : 1.0;
  const double f = camera.mirrored ? -1.0 : 1.0;
  GuiderCalibration c;
  if (sr * f * sd > 0) {
    c.reverseX = false;
    c.angleDeg = camera.rotationDeg + (sr < 0 ? 180.0 : 0.0);
  } else {
    c.reverseX = true;
    c.angleDeg = camera.rotationDeg + (sr < 0 ? 0.0 : 180.0);
  }
  c.angleDeg = NormalizeDegrees(c.angleDeg);
  c.xSpeed = mount.guideRate / camera.pixelScale;
  c.ySpeed = mount.guideRate / camera.pixelScale;
  c.declinationDeg = mount.declinationDeg;
  c.aggressiveness = aggressiveness;
  c.outputEnables = 15;
  return c;
}

Observatory::Observatory(ObservatorySettings settings)
    : settings_(std::move(settings)),
      calibration_(settings_.calibration ? *settings_.calibration
                                         : CalibrationFor(settings_.camera, settings_.mount,
                                                          settings_.aggressiveness)),
      mount_(settings_.mount, settings_.seed),
      camera_(settings_.camera, settings_.sky, settings_.seed),
      events_(settings_.events),
      user_(settings_.user, {settings_.camera.width / 2.0, settings_.camera.height / 2.0},
            settings_.seed) {
  truth_.SetWindowStart(settings_.windowFromSeconds);
}

Vec2 Observatory::TrueErrorNow() const {
  return truth_.FromReference(mount_.SkyErrorAt(now_));
}

void Observatory::Advance(double seconds) {
  const double target = now_ + std::max(0.0, seconds);
  while (now_ < target) {
    double next = std::min(target, now_ + kStepSeconds);
    if (mount_.PulseEnd() > now_) next = std::min(next, mount_.PulseEnd());
    if (exposing_) {
      const double integrationEnd = exposureStart_ + exposureSeconds_;
      if (integrationEnd > now_) next = std::min(next, integrationEnd);
      next = std::min(next, exposureEnd_);
    }
    Step(next - now_);
    now_ = next;
    if (exposing_ && now_ >= exposureEnd_) FinishExposure();
    ApplyTimedEvents();
  }
}

void Observatory::Step(double dt) {
  const double t0 = now_;
  const double t1 = now_ + dt;
  const Vec2 e0 = mount_.SkyErrorAt(t0);
  mount_.Integrate(t0, dt);
  const Vec2 e1 = mount_.SkyErrorAt(t1);
  if (exposing_ && t0 < exposureStart_ + exposureSeconds_) {
    errorSum_.x += (e0.x + e1.x) / 2.0 * dt;
    errorSum_.y += (e0.y + e1.y) / 2.0 * dt;
  }
  // The guided part: from the first guide exposure on.
  if (truth_.HaveReference() && exposuresStarted_ >= 2) truth_.AccumulateAt(t0, e0, e1, dt);
}

void Observatory::StartExposure(double seconds) {
  exposing_ = true;
  exposureStart_ = now_;
  exposureSeconds_ = std::max(0.0, seconds);
  exposureEnd_ = now_ + exposureSeconds_ + settings_.camera.downloadSeconds;
  errorSum_ = {};
  ++exposuresStarted_;
  const int guideExposure = exposuresStarted_ - 1;
  if (guideExposure >= 1) {
    events_.GuideExposureStarts(guideExposure, now_);
    if (events_.AggressivenessZeroed()) calibration_.aggressiveness = 0.0;
  }
}

void Observatory::ApplyTimedEvents() {
  events_.ApplyTimed(now_);
  if (events_.AggressivenessZeroed()) calibration_.aggressiveness = 0.0;
}

void Observatory::FinishExposure() {
  exposing_ = false;
  const double seconds = exposureSeconds_;
  Vec2 meanError = mount_.SkyErrorAt(now_);
  if (seconds > 0.0) meanError = {errorSum_.x / seconds, errorSum_.y / seconds};
  const int index = exposuresStarted_ - 1;
  if (!truth_.HaveReference()) truth_.SetReference(meanError);

  camera_.TakeFrame(index, exposureStart_, seconds, meanError,
                    [this](int star, double t) { return events_.Transmission(star, t); });

  if (index == 0) {
    // The user will click the brightest stars of the selection frame, a little off.
    user_.ChooseTargets(camera_.LastFrame());
  } else {
    CycleTruth truth;
    truth.cycle = index;
    truth.start = exposureStart_;
    truth.end = exposureStart_ + seconds;
    const Vec2 error = truth_.FromReference(meanError);
    truth.raError = error.x;
    truth.decError = error.y;
    truth.shiftPx = camera_.SensorShift({-truth.raError, -truth.decError});
    for (const StarImage& star : camera_.LastFrame()) truth.starSN.push_back(star.sn);
    truth_.AddCycle(truth);
  }
  events_.FrameEnds();
}

void Observatory::StartPulse(int direction, double seconds) {
  mount_.StartPulse(direction, seconds, now_);
  truth_.AddPulse({direction, seconds, now_});
}

bool Observatory::PointerDown() {
  Advance(settings_.secondsPerPointerRead);
  if (!GuiderImageOpen()) return false;
  return user_.PointerDown(now_);
}

}  // namespace corvane::sim
