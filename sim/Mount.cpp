#include "sim/Mount.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/Random.h"

namespace corvane::sim {
namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
constexpr double kWanderGrid = 1.0;  // seconds between the random walk's points

}  // namespace

Mount::Mount(MountSettings settings, std::uint64_t seed)
    : settings_(std::move(settings)),
      cosDec_(std::cos(settings_.declinationDeg * kDegree)),
      wanderRaRng_(Mix(seed, 11)),
      wanderDecRng_(Mix(seed, 12)) {
  // The periodic error: harmonics of the worm period with random phases, scaled so that the sum
  // has the requested peak to peak.
  std::mt19937_64 peRng(Mix(seed, 2));
  for (double relative : settings_.harmonics) {
    harmonicAmplitudes_.push_back(relative);
    harmonicPhases_.push_back(Uniform(peRng, 0.0, 2.0 * std::numbers::pi));
  }
  double low = 1e300, high = -1e300;
  const int samples = 4096;
  for (int i = 0; i < samples; ++i) {
    const double v = PeriodicError(settings_.wormPeriod * i / samples);
    low = std::min(low, v);
    high = std::max(high, v);
  }
  const double scale = high > low ? settings_.periodicErrorPP / (high - low) : 0.0;
  for (double& a : harmonicAmplitudes_) a *= scale;

  // Extra components and wander: every sine becomes a component of its own. Their draws come
  // from streams of their own, so a mount without them is drawn exactly as before.
  if (settings_.extraPeriodic.empty() && settings_.periodicWander <= 0.0) return;
  for (std::size_t k = 0; k < harmonicAmplitudes_.size(); ++k) {
    components_.push_back({settings_.wormPeriod / static_cast<double>(k + 1),
                           harmonicAmplitudes_[k],
                           harmonicPhases_[k],
                           {},
                           {}});
  }
  std::mt19937_64 extraRng(Mix(seed, 20));
  for (const PeriodicComponent& extra : settings_.extraPeriodic) {
    if (!(extra.period > 0.0)) continue;
    components_.push_back({extra.period,
                           extra.peakToPeak / 2.0,
                           Uniform(extraRng, 0.0, 2.0 * std::numbers::pi),
                           {},
                           {}});
  }
  // Each walk takes 16 steps per period of its component, so that it changes by
  // periodicWander (1 sigma) per period.
  constexpr double kStepsPerPeriod = 16.0;
  std::uint64_t stream = 0;
  for (Component& c : components_) {
    for (Walk* walk : {&c.logAmplitude, &c.phaseWander}) {
      walk->grid = c.period / kStepsPerPeriod;
      walk->sigma = settings_.periodicWander / std::sqrt(kStepsPerPeriod);
      walk->rng.seed(Mix(Mix(seed, 21), stream++));
    }
  }
}

double Mount::Walk::At(double t) {
  if (sigma <= 0.0 || t <= 0.0) return 0.0;
  const auto index = static_cast<std::size_t>(t / grid);
  if (points.empty()) points.push_back(0.0);
  while (points.size() < index + 2) points.push_back(points.back() + Normal(rng, sigma));
  const double fraction = t / grid - static_cast<double>(index);
  return points[index] + (points[index + 1] - points[index]) * fraction;
}

double Mount::WanderingPeriodicError(double t) const {
  double v = 0.0;
  for (Component& c : components_) {
    const double amplitude = c.amplitude * std::exp(c.logAmplitude.At(t));
    v +=
        amplitude * std::sin(2.0 * std::numbers::pi * t / c.period + c.phase + c.phaseWander.At(t));
  }
  return v;
}

double Mount::PeriodicError(double t) const {
  double v = 0.0;
  for (std::size_t k = 0; k < harmonicAmplitudes_.size(); ++k) {
    v += harmonicAmplitudes_[k] *
         std::sin(2.0 * std::numbers::pi * static_cast<double>(k + 1) * t / settings_.wormPeriod +
                  harmonicPhases_[k]);
  }
  return v;
}

double Mount::Wander(std::vector<double>& track, std::mt19937_64& rng, double t) const {
  const double sigma = settings_.wander;
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

Mount::Error Mount::ErrorAt(double t) const {
  const auto& m = settings_;
  Error e;
  const double periodic = components_.empty() ? PeriodicError(t) : WanderingPeriodicError(t);
  e.ra = periodic + m.raDrift * t / 60.0 + guideRa_ + Wander(wanderRa_, wanderRaRng_, t);
  e.dec = m.decDrift * t / 60.0 + decAxis_ + Wander(wanderDec_, wanderDecRng_, t);
  return e;
}

Vec2 Mount::SkyErrorAt(double t) const {
  const Error e = ErrorAt(t);
  return {e.ra * cosDec_, e.dec};
}

void Mount::Integrate(double t0, double dt) {
  if (pulseEnd_ > t0) {
    const double active = std::min(dt, pulseEnd_ - t0);
    if (pulseOnRa_) {
      guideRa_ += pulseRate_ * active;
    } else {
      decMotor_ += pulseRate_ * active;
    }
  }
  const double half = settings_.decBacklash / 2.0;
  if (decMotor_ - decAxis_ > half) decAxis_ = decMotor_ - half;
  if (decAxis_ - decMotor_ > half) decAxis_ = decMotor_ + half;
}

void Mount::StartPulse(int direction, double seconds, double now) {
  const auto& m = settings_;
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
  pulseEnd_ = now + std::max(0.0, seconds);
  ++pulsesIssued_;
}

}  // namespace corvane::sim
