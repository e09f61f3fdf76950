#include "sim/Observatory.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane::sim {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kStepSeconds = 0.1;  // the mount is integrated in steps no longer than this
constexpr double kWanderGrid = 1.0;   // seconds between the random walk's points

std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
  std::uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Normal(std::mt19937_64& rng, double sigma) {
  return std::normal_distribution<double>(0.0, 1.0)(rng) * sigma;
}

double Uniform(std::mt19937_64& rng, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(rng);
}

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
      cosDec_(std::cos(settings_.mount.declinationDeg * kDegree)),
      wanderRaRng_(Mix(settings_.seed, 11)),
      wanderDecRng_(Mix(settings_.seed, 12)),
      userRng_(Mix(settings_.seed, 13)) {
  timedEventDone_.assign(settings_.events.size(), false);
  noiseRng_.seed(Mix(settings_.seed, 14));

  // The field: fluxes spread evenly in magnitude from the brightest to the faintest, placed at
  // random with room around each star so that a search box holds one star.
  std::mt19937_64 fieldRng(Mix(settings_.seed, 1));
  const auto& sky = settings_.sky;
  const auto& cam = settings_.camera;
  const int count = std::max(0, sky.fieldStars);
  const double margin = 40.0;
  const double spacing = 2.5 * sky.searchRadius;
  if (!sky.stars.empty()) field_ = sky.stars;
  for (int i = 0; i < count && sky.stars.empty(); ++i) {
    const double share = count > 1 ? static_cast<double>(i) / (count - 1) : 0.0;
    FieldStar star;
    star.flux = sky.brightestFlux * std::pow(sky.faintestFlux / sky.brightestFlux, share);
    for (int attempt = 0; attempt < 2000; ++attempt) {
      star.position = {Uniform(fieldRng, margin, cam.width - margin),
                       Uniform(fieldRng, margin, cam.height - margin)};
      const bool clear = std::all_of(field_.begin(), field_.end(), [&](const FieldStar& other) {
        return std::hypot(other.position.x - star.position.x, other.position.y - star.position.y) >=
               spacing;
      });
      if (clear) break;
    }
    field_.push_back(star);
  }

  // The periodic error: harmonics of the worm period with random phases, scaled so that the sum
  // has the requested peak to peak.
  std::mt19937_64 peRng(Mix(settings_.seed, 2));
  for (double relative : settings_.mount.harmonics) {
    harmonicAmplitudes_.push_back(relative);
    harmonicPhases_.push_back(Uniform(peRng, 0.0, 2.0 * std::numbers::pi));
  }
  double low = 1e300, high = -1e300;
  const int samples = 4096;
  for (int i = 0; i < samples; ++i) {
    const double v = PeriodicError(settings_.mount.wormPeriod * i / samples);
    low = std::min(low, v);
    high = std::max(high, v);
  }
  const double scale = high > low ? settings_.mount.periodicErrorPP / (high - low) : 0.0;
  for (double& a : harmonicAmplitudes_) a *= scale;
}

double Observatory::PeriodicError(double t) const {
  double v = 0.0;
  for (std::size_t k = 0; k < harmonicAmplitudes_.size(); ++k) {
    v += harmonicAmplitudes_[k] * std::sin(2.0 * std::numbers::pi * static_cast<double>(k + 1) * t /
                                               settings_.mount.wormPeriod +
                                           harmonicPhases_[k]);
  }
  return v;
}

double Observatory::Wander(std::vector<double>& track, std::mt19937_64& rng, double t) const {
  const double sigma = settings_.mount.wander;
  if (sigma <= 0.0) return 0.0;
  // A random walk on a fixed time grid, so that it is the same function of time whatever the
  // run does (the guided and unguided runs of one seed see the same wander).
  const auto index = static_cast<std::size_t>(t / kWanderGrid);
  if (track.empty()) track.push_back(0.0);
  while (track.size() < index + 2) {
    track.push_back(track.back() + Normal(rng, sigma * std::sqrt(kWanderGrid)));
  }
  const double fraction = t / kWanderGrid - static_cast<double>(index);
  return track[index] + (track[index + 1] - track[index]) * fraction;
}

Observatory::MountError Observatory::ErrorAt(double t) const {
  const auto& m = settings_.mount;
  MountError e;
  e.ra = PeriodicError(t) + m.raDrift * t / 60.0 + guideRa_ + Wander(wanderRa_, wanderRaRng_, t);
  e.dec = m.decDrift * t / 60.0 + decAxis_ + Wander(wanderDec_, wanderDecRng_, t);
  return e;
}

Vec2 Observatory::SkyError(const MountError& e) const {
  return {e.ra * cosDec_, e.dec};
}

Vec2 Observatory::SensorShift(Vec2 sky) const {
  const auto& cam = settings_.camera;
  const double y = cam.mirrored ? -sky.y : sky.y;
  const double c = std::cos(cam.rotationDeg * kDegree);
  const double s = std::sin(cam.rotationDeg * kDegree);
  return {(c * sky.x - s * y) / cam.pixelScale, (s * sky.x + c * y) / cam.pixelScale};
}

Vec2 Observatory::TrueErrorNow() const {
  const Vec2 e = SkyError(ErrorAt(now_));
  return {e.x - referenceError_.x, e.y - referenceError_.y};
}

void Observatory::Advance(double seconds) {
  const double target = now_ + std::max(0.0, seconds);
  while (now_ < target) {
    double next = std::min(target, now_ + kStepSeconds);
    if (pulseEnd_ > now_) next = std::min(next, pulseEnd_);
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
  const Vec2 e0 = SkyError(ErrorAt(t0));

  if (pulseEnd_ > t0) {
    const double active = std::min(dt, pulseEnd_ - t0);
    if (pulseOnRa_) {
      guideRa_ += pulseRate_ * active;
    } else {
      decMotor_ += pulseRate_ * active;
    }
  }
  const double half = settings_.mount.decBacklash / 2.0;
  if (decMotor_ - decAxis_ > half) decAxis_ = decMotor_ - half;
  if (decAxis_ - decMotor_ > half) decAxis_ = decMotor_ + half;

  const Vec2 e1 = SkyError(ErrorAt(t1));
  if (exposing_ && t0 < exposureStart_ + exposureSeconds_) {
    errorSum_.x += (e0.x + e1.x) / 2.0 * dt;
    errorSum_.y += (e0.y + e1.y) / 2.0 * dt;
  }
  // The guided part: from the first guide exposure on.
  if (haveReference_ && exposuresStarted_ >= 2) {
    const Vec2 mid{(e0.x + e1.x) / 2.0 - referenceError_.x,
                   (e0.y + e1.y) / 2.0 - referenceError_.y};
    truthSeconds_ += dt;
    truthSum_.x += mid.x * dt;
    truthSum_.y += mid.y * dt;
    truthSquares_.x += mid.x * mid.x * dt;
    truthSquares_.y += mid.y * mid.y * dt;
    for (const Vec2& e : {e0, e1}) {
      truthMin_.x = std::min(truthMin_.x, e.x - referenceError_.x);
      truthMin_.y = std::min(truthMin_.y, e.y - referenceError_.y);
      truthMax_.x = std::max(truthMax_.x, e.x - referenceError_.x);
      truthMax_.y = std::max(truthMax_.y, e.y - referenceError_.y);
    }
  }
}

void Observatory::StartExposure(double seconds) {
  exposing_ = true;
  exposureStart_ = now_;
  exposureSeconds_ = std::max(0.0, seconds);
  exposureEnd_ = now_ + exposureSeconds_ + settings_.camera.downloadSeconds;
  errorSum_ = {};
  ++exposuresStarted_;
  const int guideExposure = exposuresStarted_ - 1;
  if (guideExposure >= 1) TriggerCycleEvents(guideExposure);
}

void Observatory::TriggerCycleEvents(int guideExposure) {
  for (auto& event : settings_.events) {
    if (event.afterCycles < 0) continue;
    using Kind = ScriptedEvent::Kind;
    switch (event.kind) {
      case Kind::Stop:
        if (guideExposure == event.afterCycles) stopPending_ = true;
        break;
      case Kind::AggressivenessZero:
        if (guideExposure == event.afterCycles) calibration_.aggressiveness = 0.0;
        break;
      case Kind::LinkDrop:
        if (guideExposure == event.afterCycles) linkDropPending_ = true;
        break;
      case Kind::ImageClosed:
        if (guideExposure == event.afterCycles + 1) closePending_ = true;
        break;
      case Kind::Cloud:
        if (guideExposure == event.afterCycles + 1) {
          clouds_.push_back({now_, now_ + event.durationSeconds, event.transmission, event.stars});
        }
        break;
    }
  }
}

void Observatory::ApplyTimedEvents() {
  for (std::size_t i = 0; i < settings_.events.size(); ++i) {
    const auto& event = settings_.events[i];
    if (event.atSeconds < 0.0 || timedEventDone_[i] || now_ < event.atSeconds) continue;
    timedEventDone_[i] = true;
    using Kind = ScriptedEvent::Kind;
    switch (event.kind) {
      case Kind::Stop:
        stopPending_ = true;
        break;
      case Kind::AggressivenessZero:
        calibration_.aggressiveness = 0.0;
        break;
      case Kind::LinkDrop:
        linkDropped_ = true;
        break;
      case Kind::ImageClosed:
        imageOpen_ = false;
        imageClosedByUser_ = true;
        break;
      case Kind::Cloud:
        clouds_.push_back({event.atSeconds, event.atSeconds + event.durationSeconds,
                           event.transmission, event.stars});
        break;
    }
  }
}

double Observatory::Transmission(int star, double t) const {
  double transmission = 1.0;
  for (const auto& cloud : clouds_) {
    if (t < cloud.start || t >= cloud.end) continue;
    if (std::find(cloud.stars.begin(), cloud.stars.end(), star) != cloud.stars.end()) {
      transmission *= cloud.transmission;
    }
  }
  return transmission;
}

void Observatory::FinishExposure() {
  exposing_ = false;
  const double seconds = exposureSeconds_;
  Vec2 meanError = SkyError(ErrorAt(now_));
  if (seconds > 0.0) meanError = {errorSum_.x / seconds, errorSum_.y / seconds};
  const int index = exposuresStarted_ - 1;
  if (!haveReference_) {
    referenceError_ = meanError;
    haveReference_ = true;
  }

  // The frame: every star where the mount put it, moved by seeing (a part common to all stars
  // and a part of its own), with a centroid error that grows as its signal-to-noise falls.
  const auto& sky = settings_.sky;
  const auto& cam = settings_.camera;
  std::mt19937_64 rng(Mix(settings_.seed, 1000 + static_cast<std::uint64_t>(index)));
  const double jitter = sky.seeingJitter / std::sqrt(std::max(seconds, 0.05)) / cam.pixelScale;
  const double common = jitter * std::sqrt(std::clamp(sky.seeingCommonFraction, 0.0, 1.0));
  const double own = jitter * std::sqrt(1.0 - std::clamp(sky.seeingCommonFraction, 0.0, 1.0));
  const Vec2 commonShift{Normal(rng, common), Normal(rng, common)};
  const Vec2 mountShift = SensorShift({-meanError.x, -meanError.y});
  const double fwhmPx = sky.seeingFwhm / cam.pixelScale;
  const double pixels = std::numbers::pi * fwhmPx * fwhmPx;
  const double middle = exposureStart_ + seconds / 2.0;
  frame_.assign(field_.size(), {});
  for (std::size_t i = 0; i < field_.size(); ++i) {
    const double signal = field_[i].flux * Transmission(static_cast<int>(i), middle) * seconds;
    const double noise =
        std::sqrt(signal + pixels * (cam.skyBackground * seconds + cam.readNoise * cam.readNoise));
    const double sn = noise > 0.0 ? signal / noise : 0.0;
    const double centroidError = fwhmPx / (2.355 * std::max(sn, 1.0));
    const Vec2 ownShift{Normal(rng, own), Normal(rng, own)};
    const Vec2 measurement{Normal(rng, centroidError), Normal(rng, centroidError)};
    // The measured SN scatters with the seeing's effect on the peak and the noise estimate.
    const double snScatter = 1.0 + Normal(rng, 0.05);
    StarImage& image = frame_[i];
    image.centroid = {
        field_[i].position.x + mountShift.x + commonShift.x + ownShift.x + measurement.x,
        field_[i].position.y + mountShift.y + commonShift.y + ownShift.y + measurement.y};
    image.signal = signal;
    image.sn = std::max(0.0, sn * snScatter);
    image.detected = image.sn >= sky.detectionSN;
  }

  ++framesFinished_;
  measuredPoints_.swap(queries_);
  queries_.clear();
  frameBackground_ = cam.skyBackground * seconds;
  frameNoise_ = std::sqrt(frameBackground_ + cam.readNoise * cam.readNoise);

  if (index == 0) {
    // The user will click the brightest stars of the selection frame, a little off.
    clickTargets_.clear();
    for (const StarImage& image : frame_) {
      if (!image.detected) continue;
      clickTargets_.push_back(
          {std::round(image.centroid.x + Normal(userRng_, settings_.user.clickErrorPx)),
           std::round(image.centroid.y + Normal(userRng_, settings_.user.clickErrorPx))});
    }
    nextClick_ = 0;
    pressScheduled_ = false;
  } else {
    CycleTruth truth;
    truth.cycle = index;
    truth.start = exposureStart_;
    truth.end = exposureStart_ + seconds;
    truth.raError = meanError.x - referenceError_.x;
    truth.decError = meanError.y - referenceError_.y;
    truth.shiftPx = SensorShift({-truth.raError, -truth.decError});
    cycles_.push_back(truth);
  }

  if (linkDropPending_) {
    linkDropPending_ = false;
    linkDropped_ = true;
  }
  if (closePending_) {
    closePending_ = false;
    imageClosedByUser_ = true;
  }
  imageOpen_ = !imageClosedByUser_;
}

void Observatory::StartPulse(int direction, double seconds) {
  const auto& m = settings_.mount;
  const double sr = m.raOutputsSwapped ? -1.0 : 1.0;
  const double sd = m.decOutputsSwapped ? -1.0 : 1.0;
  const double rate = m.respondsToPulses ? m.guideRate : 0.0;
  pulseOnRa_ = direction < 2;
  switch (direction) {
    case 0:
      pulseRate_ = sr * rate;
      break;
    case 1:
      pulseRate_ = -sr * rate;
      break;
    case 2:
      pulseRate_ = sd * rate;
      break;
    default:
      pulseRate_ = -sd * rate;
      break;
  }
  pulseEnd_ = now_ + std::max(0.0, seconds);
  ++pulsesIssued_;
  if (!cycles_.empty()) cycles_.back().pulses.push_back({direction, seconds, now_});
}

Observatory::PointInfo Observatory::PointInformation(int x, int y) {
  PointInfo info;
  const auto& sky = settings_.sky;
  queries_.push_back({static_cast<double>(x), static_cast<double>(y)});
  const double fwhmPx = sky.seeingFwhm / settings_.camera.pixelScale;
  int best = -1;
  for (std::size_t i = 0; i < frame_.size(); ++i) {
    const StarImage& image = frame_[i];
    if (!image.detected) continue;
    if (std::hypot(image.centroid.x - x, image.centroid.y - y) > sky.searchRadius) continue;
    if (best < 0 || image.sn > frame_[static_cast<std::size_t>(best)].sn)
      best = static_cast<int>(i);
  }
  if (best >= 0) {
    const StarImage& image = frame_[static_cast<std::size_t>(best)];
    info.centroid = image.centroid;
    info.sn = image.sn;
    info.flux = field_[static_cast<std::size_t>(best)].flux;
    info.fwhmPx = fwhmPx;
    info.star = true;
    return info;
  }
  // Only noise: the centroid of the background wanders about the box, with a small SN.
  info.centroid = {x + Normal(noiseRng_, sky.searchRadius / 4.0),
                   y + Normal(noiseRng_, sky.searchRadius / 4.0)};
  info.sn = 0.3 + std::abs(Normal(noiseRng_, 0.6));
  info.fwhmPx = 0.0;
  return info;
}

bool Observatory::PointerDown() {
  Advance(settings_.secondsPerPointerRead);
  if (!imageOpen_) return false;
  if (!settings_.user.scripted) return manualDown_;
  const auto& user = settings_.user;
  if (!pressScheduled_) {
    pressScheduled_ = true;
    pressAt_ = now_ + user.secondsBetweenClicks;
  }
  if (now_ >= pressAt_ + user.pressSeconds) {
    pressScheduled_ = false;
    ++nextClick_;
    return false;
  }
  if (now_ >= pressAt_) {
    if (clickTargets_.empty()) {
      pointer_ = {settings_.camera.width / 2.0, settings_.camera.height / 2.0};
    } else {
      pointer_ = clickTargets_[nextClick_ % clickTargets_.size()];
    }
    return true;
  }
  return false;
}

std::vector<float> Observatory::FrameImage() const {
  const int width = std::max(0, settings_.camera.width);
  const int height = std::max(0, settings_.camera.height);
  std::vector<float> image(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::mt19937_64 rng(Mix(settings_.seed, 5000 + static_cast<std::uint64_t>(framesFinished_)));
  for (float& pixel : image) {
    pixel = static_cast<float>(frameBackground_ + Normal(rng, frameNoise_));
  }
  // Each star a Gaussian of the seeing's FWHM holding its collected electrons.
  const double sigma = settings_.sky.seeingFwhm / settings_.camera.pixelScale / 2.3548;
  const int reach = static_cast<int>(std::ceil(4.0 * sigma));
  for (const StarImage& star : frame_) {
    const int cx = static_cast<int>(std::lround(star.centroid.x));
    const int cy = static_cast<int>(std::lround(star.centroid.y));
    const double norm = star.signal / (2.0 * std::numbers::pi * sigma * sigma);
    for (int y = std::max(0, cy - reach); y <= std::min(height - 1, cy + reach); ++y) {
      for (int x = std::max(0, cx - reach); x <= std::min(width - 1, cx + reach); ++x) {
        const double dx = x - star.centroid.x, dy = y - star.centroid.y;
        image[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(x)] +=
            static_cast<float>(norm * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma)));
      }
    }
  }
  return image;
}

bool Observatory::TakeStopNotification() {
  const bool pending = stopPending_;
  stopPending_ = false;
  return pending;
}

ErrorSummary Observatory::GuidedSummary() const {
  ErrorSummary s;
  s.seconds = truthSeconds_;
  if (truthSeconds_ <= 0.0) return s;
  const double mx = truthSum_.x / truthSeconds_;
  const double my = truthSum_.y / truthSeconds_;
  s.raRms = std::sqrt(std::max(0.0, truthSquares_.x / truthSeconds_ - mx * mx));
  s.decRms = std::sqrt(std::max(0.0, truthSquares_.y / truthSeconds_ - my * my));
  s.totalRms = std::hypot(s.raRms, s.decRms);
  s.raPeakToPeak = truthMax_.x - truthMin_.x;
  s.decPeakToPeak = truthMax_.y - truthMin_.y;
  return s;
}

}  // namespace corvane::sim
